INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES ('MetaSettingsItemsGroup', 'MetaOrderingSettingsKey', '["a",2]', 0, 1);

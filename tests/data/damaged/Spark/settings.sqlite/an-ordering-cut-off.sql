INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES ('MetaSettingsItemsGroup', 'MetaOrderingSettingsKey', '["a"', 0, 1);

INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES ('MetaSettingsItemsGroup', 'MetaBindingSettingsKey', '{"a@x.org":', 0, 1);

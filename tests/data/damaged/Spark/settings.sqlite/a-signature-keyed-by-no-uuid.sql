INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES ('SignaturesSettingsItemsGroup', 'x', '{}', 0, 1);

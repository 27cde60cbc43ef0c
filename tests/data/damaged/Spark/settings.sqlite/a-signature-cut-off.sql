INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) VALUES ('SignaturesSettingsItemsGroup', 'AAAAAAAA-0000-0000-0000-000000000001', '{', 0, 1);

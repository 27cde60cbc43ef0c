-- A "DataV1" store as the earlier application's Core Data wrote it, with nine records that
-- between them meet every rule of the migration: old client names, account texts, texts with
-- surrounding white space, NULL columns, a lower-case uuid, one stored as 16 bytes, and one that
-- does not parse.
PRAGMA journal_mode=WAL;
CREATE TABLE ZSIGNATUREMODEL (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZACCOUNT VARCHAR, ZCLIENT VARCHAR, ZKEY VARCHAR, ZNAME VARCHAR, ZTEXT VARCHAR,
  ZTEXTCUSTOM VARCHAR, ZUUID VARCHAR);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
INSERT INTO Z_METADATA VALUES (1, 'B7E0A4C2-1111-4222-8333-944455556666', x'00ff');
INSERT INTO ZSIGNATUREMODEL (ZCLIENT, ZACCOUNT, ZKEY, ZNAME, ZTEXT, ZTEXTCUSTOM, ZUUID) VALUES
  ('Mac Mail 16.0', 'John Doe - john@example.com', 'k1', 'One', '<p>one</p>', '', '0d5e7b52-8a51-4c3f-9a0b-2c7b6e0f1a11'),
  ('Microsoft Outlook 2019', 'All', '', 'Two', '', '<p>custom</p>', NULL),
  ('Thunderbird', 'Work account', 'k3', 'Three', '<p>3</p>', NULL, NULL),
  ('Thunderbird 115', 'Me - me@x.org', 'k4', 'Four', '<p>4</p>', '', NULL),
  ('Postbox', 'All', 'k5', 'Five', '<p>5</p>', '', NULL),
  ('Spark 3', '  Team - Sub - team@x.org 
', ' k6	', '  Six 
', ' <p>6</p> ', '', X'6F1C2D3E4A5B4C6D8E7F901A2B3C4D5E'),
  ('Gmail', 'a - b@c.d', 'k7', 'Seven', '<p>7</p>', '', NULL),
  ('Mac Mail', 'Name - not-an-email', 'k8', 'Eight', '<p>8</p>', '', NULL),
  (NULL, NULL, NULL, NULL, NULL, NULL, 'garbage');
UPDATE ZSIGNATUREMODEL SET Z_ENT = 1, Z_OPT = 1;
INSERT INTO Z_PRIMARYKEY VALUES (1, 'SignatureModel', 0, 9);

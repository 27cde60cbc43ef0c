-- Signatures pending deletion that a client still holds (1: Thunderbird, which is not detected;
-- 2: Apple Mail) and that none holds (3), and a live one (4) with selections of every kind: an
-- all-accounts one for a client that takes none (Apple Mail) and one that does (Outlook), one
-- without an account, one of a client named in the wrong case, and one per account.
INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZACTIVE, ZCOLORINDEX, ZNAMEQE, ZPENDINGDELETION, ZUUIDSTRING) VALUES
  (1, 3, 1, 1, 1, 'OnlyInThunderbird', 1, '0E1F2A3B-4C5D-4E6F-8A7B-9C0D1E2F3A41'),
  (2, 3, 1, 1, 1, 'StillInMail', 1, '1F2A3B4C-5D6E-4F7A-8B9C-0D1E2F3A4B52'),
  (3, 3, 1, 1, 1, 'Nowhere', 1, '2A3B4C5D-6E7F-4A8B-9C0D-1E2F3A4B5C63'),
  (4, 3, 1, 1, 1, 'Live', 0, '3B4C5D6E-7F8A-4B9C-8D1E-2F3A4B5C6D74');
INSERT INTO ZPERFORMEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE) VALUES
  (1, 1, 1, 1, 'Thunderbird', 'a@b.c', '', 't'),
  (2, 1, 1, 2, 'AppleMail', 'a@b.c', 'U', 't');
INSERT INTO ZSELECTEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION) VALUES
  (1, 2, 1, 1, 'Thunderbird', 'a@b.c', 0),
  (2, 2, 1, 4, 'AppleMail', '', 0),
  (3, 2, 1, 4, 'Outlook', '', 1),
  (4, 2, 1, 4, 'Thunderbird', NULL, 0),
  (5, 2, 1, 4, 'applemail', 'x@y.z', 0),
  (6, 2, 1, 4, 'Postbox', 'p@q.r', 0),
  (7, 2, 1, 3, 'Spark', '', 0);

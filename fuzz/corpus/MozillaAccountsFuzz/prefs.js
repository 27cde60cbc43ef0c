user_pref("mail.identity.id1.fullName", "Tom Example");
user_pref("mail.identity.id1.useremail", "tom@example.com");
user_pref("mail.identity.id2.useremail", "tom@example.com");
user_pref("mail.identity.id10.useremail", "ann@example.com");
user_pref("mail.identity.id3.fullName", "No Mail");
user_pref("mail.identity.idx.useremail", "x@example.com");
user_pref("mail.identity.id4.useremail", 7);
user_pref("mail.identity.id5a6.useremail", "two@example.com");

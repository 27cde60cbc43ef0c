// Mozilla User Preferences
user_pref("mail.identity.id1.fullName", "Tom \"T\" Example");
user_pref("mail.identity.id1.htmlSigText", "<p>Tom</p>\n<p>\u00FCber \x41</p>");
user_pref("mail.identity.id1.htmlSigFormat", true);
user_pref("mail.identity.id2.useremail", 'single');
pref("not.a.user.pref", 1);
user_pref("unterminated", "a\

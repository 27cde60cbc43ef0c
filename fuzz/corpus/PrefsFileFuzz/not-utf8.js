user_pref("a", "ÿ");

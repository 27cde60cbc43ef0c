user_pref("a", "x");
user_pref("a",   "y");user_pref("b", "\u00e9\u2028");
﻿user_pref("c", 12);
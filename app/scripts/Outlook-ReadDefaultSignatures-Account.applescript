-- Outlook-ReadDefaultSignatures-Account
-- One account's line of a default-signature Main script that reads the account's defaults
-- instead of setting them: adds two lines to the answer, the names its pop-ups show for new
-- messages and for replies and forwards. The identifier is escaped.
set theAccountDefaults to my defaultSignatures("**ACCOUNT_ID_STRING**")
if theAccountDefaults is "" then set allAccountsSet to false
set theDefaults to theDefaults & linefeed & theAccountDefaults

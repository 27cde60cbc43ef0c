-- Outlook-ReadDefaultSignatures-Account
-- One account's lines of an Outlook-ReadDefaultSignatures Main script: adds two lines to the
-- answer, the names the account's pop-ups show for new messages and for replies and forwards.
-- The identifier is escaped.
set theAccountDefaults to my defaultSignatures("**ACCOUNT_ID_STRING**")
if theAccountDefaults is "" then set allAccountsRead to false
set theDefaults to theDefaults & linefeed & theAccountDefaults

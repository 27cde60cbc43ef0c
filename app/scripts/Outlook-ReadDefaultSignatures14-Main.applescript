-- Outlook-ReadDefaultSignatures14-Main
-- Reads each account's default signatures. Outlook 14 (2011):
-- Preferences > Signatures lists the accounts in a table whose rows carry the two pop-ups.
-- Outlook offers no scripting property for an account's default signatures, so this reads its
-- interface through System Events (hence the Accessibility permission); it changes nothing. The
-- account lines are Outlook-ReadDefaultSignatures-Account's, one per account. Answers
-- "true", then two lines per account in order: the names its pop-ups show for new messages and
-- for replies and forwards; "false" when any account could not be read.

-- The names the account's two pop-ups show, on two lines; "" when they could not be read.
on defaultSignatures(accountIdString)
	try
		tell application "System Events" to tell process "Microsoft Outlook"
			set theTable to table 1 of scroll area 2 of window "Signatures"
			set theRow to first row of theTable whose value of text field 1 is accountIdString
			return ((value of pop up button 1 of theRow) as text) & linefeed & ((value of pop up button 2 of theRow) as text)
		end tell
	on error
		return ""
	end try
end defaultSignatures

try
	tell application "Microsoft Outlook" to activate
	tell application "System Events" to tell process "Microsoft Outlook"
		keystroke "," using command down
		delay 1
		click button "Signatures" of window 1
		delay 1
	end tell
on error
	return "false"
end try
set allAccountsRead to true
set theDefaults to ""
**ACCOUNTS**
try
	tell application "System Events" to tell process "Microsoft Outlook" to keystroke "w" using command down
end try
if allAccountsRead then return "true" & theDefaults
return "false"

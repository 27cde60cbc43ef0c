-- Outlook-ReadDefaultSignatures16-Main-B
-- Reads each account's default signatures. Outlook 16.80 and newer:
-- Settings > Signatures has an account pop-up and one pop-up each for new messages and for replies and forwards.
-- Outlook offers no scripting property for an account's default signatures, so this reads its
-- interface through System Events (hence the Accessibility permission); it changes nothing. The
-- account lines are Outlook-ReadDefaultSignatures-Account's, one per account. Answers
-- "true", then two lines per account in order: the names its pop-ups show for new messages and
-- for replies and forwards; "false" when any account could not be read.

-- The names the account's two pop-ups show, on two lines; "" when they could not be read.
on defaultSignatures(accountIdString)
	try
		tell application "System Events" to tell process "Microsoft Outlook"
			set thePane to group 1 of window "Signatures"
			click pop up button "Account:" of thePane
			delay 0.3
			click menu item accountIdString of menu 1 of pop up button "Account:" of thePane
			return ((value of pop up button "New messages:" of thePane) as text) & linefeed & ((value of pop up button "Replies/forwards:" of thePane) as text)
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

-- Outlook-SetDefaultSignatures14-Main
-- Default signatures of Outlook 14 (2011): Preferences > Signatures lists the accounts in a table
-- whose rows carry the two pop-ups.
-- Outlook offers no scripting property for an account's default signatures, so this drives its
-- interface through System Events (hence the Accessibility permission). Answers "true" only
-- when the defaults of every account below were set.
on chooseMenuItem(thePopUp, theItemName)
	tell application "System Events"
		click thePopUp
		delay 0.3
		click menu item theItemName of menu 1 of thePopUp
	end tell
end chooseMenuItem

-- True when the account's two defaults were chosen; the names are those of Outlook's menus.
on setDefaultSignatures(accountIdString, newMessagesName, repliesName)
	try
		tell application "System Events" to tell process "Microsoft Outlook"
			set theTable to table 1 of scroll area 2 of window "Signatures"
			set theRow to first row of theTable whose value of text field 1 is accountIdString
			my chooseMenuItem(pop up button 1 of theRow, newMessagesName)
			my chooseMenuItem(pop up button 2 of theRow, repliesName)
		end tell
		return true
	on error
		return false
	end try
end setDefaultSignatures

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
set allAccountsSet to true
**ACCOUNTS**
try
	tell application "System Events" to tell process "Microsoft Outlook" to keystroke "w" using command down
end try
if allAccountsSet then return "true"
return "false"

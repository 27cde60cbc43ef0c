-- Outlook-ListAccounts-A-Main
-- Lists Outlook's Exchange, IMAP and POP accounts, one record per account, records joined by
-- ";;;":  user name,,,full name,,,email   (a missing value is an empty field)
on accountRecord(theUserName, theFullName, theEmail)
	if theUserName is missing value then set theUserName to ""
	if theFullName is missing value then set theFullName to ""
	if theEmail is missing value then set theEmail to ""
	return (theUserName as text) & ",,," & (theFullName as text) & ",,," & (theEmail as text)
end accountRecord

set theRecords to {}
tell application "Microsoft Outlook"
	repeat with theAccount in (every exchange account)
		set end of theRecords to my accountRecord(user name of theAccount, full name of theAccount, email address of theAccount)
	end repeat
	repeat with theAccount in (every imap account)
		set end of theRecords to my accountRecord(user name of theAccount, full name of theAccount, email address of theAccount)
	end repeat
	repeat with theAccount in (every pop account)
		set end of theRecords to my accountRecord(user name of theAccount, full name of theAccount, email address of theAccount)
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

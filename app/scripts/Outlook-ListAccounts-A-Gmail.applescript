-- Outlook-ListAccounts-A-Gmail
-- Lists the Google accounts that Outlook 15 and 16 keep apart from its Exchange, IMAP and POP
-- accounts, in the form of the main listing: user name,,,full name,,,email, joined by ";;;".
on accountRecord(theUserName, theFullName, theEmail)
	if theUserName is missing value then set theUserName to ""
	if theFullName is missing value then set theFullName to ""
	if theEmail is missing value then set theEmail to ""
	return (theUserName as text) & ",,," & (theFullName as text) & ",,," & (theEmail as text)
end accountRecord

set theRecords to {}
tell application "Microsoft Outlook"
	repeat with theAccount in (every account)
		set theClass to class of theAccount
		if theClass is not exchange account and theClass is not imap account and theClass is not pop account then
			set theEmail to email address of theAccount
			if theEmail is not missing value then
				if (theEmail ends with "@gmail.com") or (theEmail ends with "@googlemail.com") then
					set end of theRecords to my accountRecord(theEmail, full name of theAccount, theEmail)
				end if
			end if
		end if
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

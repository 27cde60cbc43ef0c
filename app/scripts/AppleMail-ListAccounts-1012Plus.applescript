-- AppleMail-ListAccounts-1012Plus
-- Lists Apple Mail's accounts, one record per account, records joined by ";;;":
--   UUID,,,email,,,full name,,,enabled,,,account type
-- The email is the account's first address; a missing full name is an empty field.
-- A field must never read as a separator: commas and semicolons that follow one another get a
-- blank between them, and one at either end of the field gets a blank beside it (the program
-- trims every field), so ",,," and ";;;" in the output are only ever this script's own.
on cleanField(theValue)
	if theValue is missing value then return ""
	set theText to theValue as text
	repeat with theMarkItem in {",", ";"}
		set theMark to contents of theMarkItem
		repeat while theText contains (theMark & theMark)
			set theText to my replaceText(theText, theMark & theMark, theMark & " " & theMark)
		end repeat
		if theText starts with theMark then set theText to " " & theText
		if theText ends with theMark then set theText to theText & " "
	end repeat
	return theText
end cleanField

on replaceText(theText, theOld, theNew)
	set savedDelimiters to AppleScript's text item delimiters
	set AppleScript's text item delimiters to theOld
	set theItems to text items of theText
	set AppleScript's text item delimiters to theNew
	set theText to theItems as text
	set AppleScript's text item delimiters to savedDelimiters
	return theText
end replaceText

set theRecords to {}
tell application "Mail"
	repeat with theAccount in every account
		set theUUID to id of theAccount as text
		set theAddresses to email addresses of theAccount
		if (count of theAddresses) > 0 then
			set theEmail to item 1 of theAddresses as text
		else
			set theEmail to ""
		end if
		set theFullName to full name of theAccount
		if theFullName is missing value then set theFullName to ""
		set theEnabled to enabled of theAccount as text
		set theType to account type of theAccount
		if theType is iCloud then
			set theTypeText to "iCloud"
		else if theType is imap then
			set theTypeText to "imap"
		else if theType is pop then
			set theTypeText to "pop"
		else if theType is smtp then
			set theTypeText to "smtp"
		else
			set theTypeText to "unknown"
		end if
		set end of theRecords to my cleanField(theUUID) & ",,," & my cleanField(theEmail) & ",,," & my cleanField(theFullName) & ",,," & theEnabled & ",,," & theTypeText
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

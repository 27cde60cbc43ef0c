-- Outlook-ListAccounts-A-Main
-- Lists Outlook's Exchange, IMAP and POP accounts, one record per account, records joined by
-- ";;;":  user name,,,full name,,,email   (a missing value is an empty field)
on accountRecord(theUserName, theFullName, theEmail)
	return my cleanField(theUserName) & ",,," & my cleanField(theFullName) & ",,," & my cleanField(theEmail)
end accountRecord

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

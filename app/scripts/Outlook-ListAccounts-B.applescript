-- Outlook-ListAccounts-B
-- Lists the accounts of Outlook 16.80 and newer, one record per account, records joined by
-- ";;;": "Full Name (email)", or the bare email when the account has no full name.
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
	repeat with theAccount in (every account)
		set theEmail to my cleanField(email address of theAccount)
		set theFullName to my cleanField(full name of theAccount)
		if theFullName is "" then
			set end of theRecords to theEmail
		else
			set end of theRecords to theFullName & " (" & theEmail & ")"
		end if
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

-- Outlook-ListAccounts-A-Gmail
-- Lists the Google accounts that Outlook 15 and 16 keep apart from its Exchange, IMAP and POP
-- accounts, in the form of the main listing: user name,,,full name,,,email, joined by ";;;".
-- An account is Google's by what Outlook knows of it, its account type or its server, never by
-- its address: a Google Workspace account has the organisation's own domain.
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

-- Google's by its kind (the account's class as Outlook names it) or by the server Outlook talks
-- to; a kind of account without a server property counts by its kind alone.
on isGoogleAccount(theAccount, theClass)
	set theServer to ""
	try
		tell application "Microsoft Outlook" to set theServer to (server of theAccount) as text
	end try
	set theHost to theServer as text
	return ((theClass as text) contains "google") or (theHost ends with "google.com") or (theHost ends with "gmail.com") or (theHost ends with "googlemail.com")
end isGoogleAccount

set theRecords to {}
tell application "Microsoft Outlook"
	repeat with theAccount in (every account)
		set theClass to class of theAccount
		if theClass is not exchange account and theClass is not imap account and theClass is not pop account then
			if my isGoogleAccount(theAccount, theClass) then
				set theEmail to email address of theAccount
				set end of theRecords to my accountRecord(theEmail, full name of theAccount, theEmail)
			end if
		end if
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

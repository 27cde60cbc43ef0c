-- Outlook-ListAccounts-B
-- Lists the accounts of Outlook 16.80 and newer, one record per account, records joined by
-- ";;;": "Full Name (email)", or the bare email when the account has no full name.
set theRecords to {}
tell application "Microsoft Outlook"
	repeat with theAccount in (every account)
		set theEmail to email address of theAccount
		if theEmail is missing value then set theEmail to ""
		set theFullName to full name of theAccount
		if theFullName is missing value or (theFullName as text) is "" then
			set end of theRecords to (theEmail as text)
		else
			set end of theRecords to (theFullName as text) & " (" & (theEmail as text) & ")"
		end if
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theRecords as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

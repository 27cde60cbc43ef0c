-- Outlook-GetSignatures
-- The names of all of Outlook's signatures, joined by ";;;". A name that itself holds ";;;"
-- loses those characters first, so that no name can split into two.
on withoutSeparator(theText, theSeparator)
	set savedDelimiters to AppleScript's text item delimiters
	set AppleScript's text item delimiters to theSeparator
	set theParts to text items of theText
	set AppleScript's text item delimiters to ""
	set theResult to theParts as text
	set AppleScript's text item delimiters to savedDelimiters
	return theResult
end withoutSeparator

set theNames to {}
tell application "Microsoft Outlook"
	repeat with theSignature in every signature
		set end of theNames to my withoutSeparator(name of theSignature as text, ";;;")
	end repeat
end tell
set savedDelimiters to AppleScript's text item delimiters
set AppleScript's text item delimiters to ";;;"
set theOutput to theNames as text
set AppleScript's text item delimiters to savedDelimiters
return theOutput

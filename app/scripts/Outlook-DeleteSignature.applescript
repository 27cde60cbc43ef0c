-- Outlook-DeleteSignature
-- Deletes the first signature of the name and answers "true"; answers "false" when Outlook has
-- no signature of that name. The name arrives escaped, inside the string literal below.
set signatureName to "**SIGNATURE_NAME**"
tell application "Microsoft Outlook"
	set theMatches to every signature whose name is signatureName
	if (count of theMatches) is 0 then return "false"
	delete item 1 of theMatches
end tell
return "true"

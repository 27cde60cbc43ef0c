-- Outlook-GetSignatureContent
-- The HTML of the first signature of exactly that name, after a first line "true"; "false" when
-- Outlook has none. The name arrives escaped, inside the string literal below, and is compared
-- considering case, as the delete script does.
set signatureName to "**SIGNATURE_NAME**"
tell application "Microsoft Outlook"
	repeat with theSignature in (every signature)
		considering case
			set isMatch to ((name of theSignature) as text) is signatureName
		end considering
		if isMatch then
			return "true" & linefeed & ((content of theSignature) as text)
		end if
	end repeat
end tell
return "false"

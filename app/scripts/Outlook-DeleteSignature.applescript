-- Outlook-DeleteSignature
-- Deletes the first signature of exactly that name and answers "true"; answers "false" when
-- Outlook has none. The name arrives escaped, inside the string literal below.
-- The names are compared here, considering case, rather than in a "whose" clause: Outlook
-- would match a name in any letter case there, and could delete the person's own "Work" in
-- place of Quillet's "work".
set signatureName to "**SIGNATURE_NAME**"
tell application "Microsoft Outlook"
	repeat with theSignature in (every signature)
		considering case
			set isMatch to ((name of theSignature) as text) is signatureName
		end considering
		if isMatch then
			delete (contents of theSignature)
			return "true"
		end if
	end repeat
end tell
return "false"

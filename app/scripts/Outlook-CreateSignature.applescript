-- Outlook-CreateSignature
-- Creates one signature and answers "true" once Outlook has it. Name and HTML arrive escaped,
-- inside the two string literals below.
set signatureName to "**SIGNATURE_NAME**"
set signatureContent to "**SIGNATURE_CONTENT**"
tell application "Microsoft Outlook"
	make new signature with properties {name:signatureName, content:signatureContent}
end tell
return "true"

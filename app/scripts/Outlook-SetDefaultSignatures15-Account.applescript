-- Outlook-SetDefaultSignatures15-Account
-- One account's line of the Outlook-SetDefaultSignatures15 Main script: the account identifier,
-- the signature for new messages and the one for replies and forwards, all escaped.
if not (my setDefaultSignatures("**ACCOUNT_ID_STRING**", "**SIGNATURE_NAME**", "**REPLIES_FORWARDS_SIGNATURE_NAME**")) then set allAccountsSet to false

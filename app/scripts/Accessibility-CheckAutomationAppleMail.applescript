-- Accessibility-CheckAutomationAppleMail
-- Counting Mail's windows is an Apple event that Mail answers without changing anything; the
-- first one makes macOS ask whether this application may control Mail.
tell application "Mail" to count windows

-- Accessibility-CheckAutomationOutlook
-- Counting Outlook's windows is an Apple event that Outlook answers without changing anything;
-- the first one makes macOS ask whether this application may control Microsoft Outlook.
tell application "Microsoft Outlook" to count windows

-- Accessibility-CheckAutomationSystemEvents
-- Counting the running processes is an Apple event that System Events answers without changing
-- anything; the first one makes macOS ask whether this application may control System Events.
tell application "System Events" to count processes

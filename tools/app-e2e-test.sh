#!/usr/bin/env bash
# The real Quillet program as a person uses it: on an X server with a window manager and a
# system tray, over Thunderbird as Debian installs it, a profile in a home of its own and the
# reference signature service on loopback, driven with xdotool. It starts in the tray, opens its
# window from there, adds a signature by key, shows the one the `quillet` command installs
# meanwhile, asks through the tray menu's "Quit Quillet" and ends with Ctrl+Q in its window. Screenshots of each step go to
# $QUILLET_E2E_SCREENSHOTS (default: BUILD/e2e-screenshots).
#   tools/app-e2e-test.sh [BUILD]   (default: the release build folder, built as needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-${QUILLET_PACKAGE_BUILD_DIR:-build-package}}")
if [ -z "${1:-}" ]; then
    QUILLET_PACKAGE_BUILD_DIR=$build tools/release-build.sh Quillet quillet quillet-signature-service
fi
x_shots=$(realpath -m "${QUILLET_E2E_SCREENSHOTS:-$build/e2e-screenshots}")
rm -rf "$x_shots"
x_work=$(mktemp -d)
source tools/x-session.sh
app_pid=""
home=$x_work/home
log=$home/Library/Logs/Quillet/Quillet.log
fail() {
    echo "app-e2e-test: $*" >&2
    x_shot failure
    [ -f "$log" ] && tail -n 30 "$log" >&2
    exit 1
}
trap x_session_end EXIT

# A person's home: a Thunderbird profile with one identity, as Thunderbird names it.
profile=$home/.thunderbird/ab12.default-default
mkdir -p "$profile" "$x_work/runtime" "$x_work/signatures"
chmod 700 "$x_work/runtime"
printf '[Install4F96D1932A9F858E]\nDefault=ab12.default-default\nLocked=1\n\n[Profile0]\nName=default-default\nIsRelative=1\nPath=ab12.default-default\n' \
    >"$home/.thunderbird/profiles.ini"
cat >"$profile/prefs.js" <<'PREFS'
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.accountmanager.accounts", "account1");
user_pref("mail.identity.id1.useremail", "jane@example.org");
user_pref("mail.identity.id1.fullName", "Jane Doe");
PREFS
echo '<p>Jane Doe, by key</p>' >"$x_work/signatures/JANE.html"
echo '<p>Jane Doe, from the command</p>' >"$x_work/signatures/CMD.html"

"$build/bin/quillet-signature-service" --folder "$x_work/signatures" >"$x_work/service.out" \
    2>"$x_work/service.log" &
x_track $!
x_wait 30 'grep -q "^Serving" "$x_work/service.out"' || fail "the signature service did not start"
service=$(sed -n 's/^Serving .* on //p' "$x_work/service.out")

x_session_start tray
# (A sanitized build's leak report at exit would count as a failed exit.)
person() {
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" \
        XDG_RUNTIME_DIR="$x_work/runtime" QUILLET_SERVICE_URL="$service" \
        ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 "$@"
}

# Start: in the tray, no window.
person "$build/bin/Quillet" >"$x_work/app.out" 2>&1 &
app_pid=$!
x_track "$app_pid"
x_wait 60 '[ -f "$log" ] && grep -q "Core: refreshFromServer" "$log"' || fail "the application did not start"
x_wait 30 'x_app_window Quillet small >/dev/null' || fail "no icon in the tray"
x_shot 01-started-in-the-tray
x_app_window Quillet big >/dev/null && fail "the window showed at start although a tray is there"

# The tray icon's menu opens the window.
eval "$(xdotool getwindowgeometry --shell "$(x_app_window Quillet small)")"
icon_x=$((X + WIDTH / 2)) icon_y=$((Y + HEIGHT / 2))
xdotool mousemove "$icon_x" "$icon_y" click 3
x_wait 30 'x_shows Quillet menu' || fail "the tray menu did not open"
x_shot 02-tray-menu
xdotool key Down Return
x_wait 30 'x_app_window Quillet big >/dev/null' || fail "the tray menu did not open the window"
window=$(x_app_window Quillet big)
xdotool windowactivate --sync "$window" 2>/dev/null || true
x_shot 03-window

# A signature by key: Ctrl+N, the client, the account, the key, Ctrl+Return.
xdotool key ctrl+n
sleep 1
xdotool type --delay 50 T
xdotool key Tab Down Tab
xdotool type --delay 30 JANE
x_shot 04-new-signature-form
xdotool key ctrl+Return
x_wait 60 'grep -q "by key" "$profile/prefs.js" 2>/dev/null' || fail "the signature did not reach Thunderbird"
x_shot 05-installed

# The command installs one beside the application: the window lists it.
person "$build/bin/quillet" --later install --key CMD --client Thunderbird \
    --account jane@example.org >"$x_work/install.out" 2>&1 || fail "quillet install failed: $(cat "$x_work/install.out")"
x_wait 30 'grep -q "StoreWatcher: another process changed the signatures" "$log"' ||
    fail "the application did not notice the command's signature"
# Its button is in the list: the colour the next signature takes (the palette's first) shows in
# the toolbar's list, left of the buttons' symbols.
eval "$(xdotool getwindowgeometry --shell "$window")"
x_wait 10 'x_column_has $((X + 94)) $((Y + 100)) 400 "#EFA3BA"' ||
    fail "the window does not list the command's signature (column $((X + 94)) from $((Y + 100)))"
x_shot 06-list-updated

# "Quit Quillet" in the tray menu asks first, and its default, Cancel, keeps the application.
xdotool mousemove "$icon_x" "$icon_y" click 3
x_wait 30 'x_shows Quillet menu' || fail "the tray menu did not open"
x_shot 07-tray-menu-quit
xdotool key Up Return
x_wait 30 'x_shows Quillet dialog' || fail "Quit Quillet asked nothing"
x_shot 08-quit-confirmation
xdotool key Return
x_wait 30 '! x_shows Quillet dialog' || fail "the quit confirmation stayed"
kill -0 "$app_pid" 2>/dev/null || fail "Cancel ended the application"

# Ctrl+Q with the window on screen and the tray there; Shift+Tab reaches Quit. (Qt's quit() would
# first ask every window to close, which the main window refuses: the process would stay.)
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key ctrl+q
x_wait 30 'x_shows Quillet dialog' || fail "Ctrl+Q asked nothing"
xdotool key shift+Tab Return
x_wait 30 '! kill -0 "$app_pid" 2>/dev/null' || fail "the process did not end after Quit"
wait "$app_pid" || fail "the application ended with status $?"
app_pid=""
echo "app-e2e-test: started in the tray, added a signature by key, listed the command's, quit (screenshots in $x_shots)"

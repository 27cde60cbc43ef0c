#!/usr/bin/env bash
# Measures the memory of the real application (the release build's Quillet, on Xvfb): resident
# and proportional set sizes of the program and of every helper it started (the preview program
# and its web engine's processes), idle after start, while a preview shows, and after the preview
# closed. A benchmark, not a test: it prints figures and checks nothing.
#   tools/app-memory-bench.sh [BUILD]   (default: the release build folder, built as needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${1:-${QUILLET_PACKAGE_BUILD_DIR:-build-package}}")
if [ -z "${1:-}" ]; then
    QUILLET_PACKAGE_BUILD_DIR=$build tools/release-build.sh Quillet quillet-preview quillet quillet-signature-service
fi
x_work=$(mktemp -d)
x_shots=${QUILLET_BENCH_SCREENSHOTS:-}
source tools/x-session.sh
trap x_session_end EXIT

home=$x_work/home
profile=$home/.thunderbird/ab12.default-default
mkdir -p "$profile"
printf '[Install4F96D1932A9F858E]\nDefault=ab12.default-default\nLocked=1\n\n[Profile0]\nName=default-default\nIsRelative=1\nPath=ab12.default-default\n' \
    >"$home/.thunderbird/profiles.ini"
echo 'user_pref("mail.identity.id1.useremail", "jane@example.org");' >"$profile/prefs.js"
# The web engine's sandbox does not run as root.
sandbox=()
[ "$(id -u)" -ne 0 ] || sandbox=(QTWEBENGINE_DISABLE_SANDBOX=1)
mkdir -p "$home" "$x_work/signatures"
printf '<table><tr><td><b>Jane Doe</b><br>Example Ltd<br><a href="https://example.org">example.org</a></td></tr></table>\n' \
    >"$x_work/signatures/JANE.html"
"$build/bin/quillet-signature-service" --folder "$x_work/signatures" >"$x_work/service.out" \
    2>/dev/null &
x_track $!
x_wait 30 'grep -q "^Serving" "$x_work/service.out"'
service=$(sed -n 's/^Serving .* on //p' "$x_work/service.out")
person() {
    env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="${DISPLAY:-}" \
        QUILLET_SERVICE_URL="$service" "${sandbox[@]}" \
        ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0 "$@"
}
# One signature to show.
person "$build/bin/quillet" --later install --key JANE --client Thunderbird \
    --account jane@example.org >/dev/null 2>&1

# The program and its descendants (the web engine's helpers), by pid.
tree() {
    local pid=$1 child
    echo "$pid"
    for child in $(pgrep -P "$pid"); do tree "$child"; done
}
# "RSS PSS COUNT": kilobytes of the program alone, and PSS of the program with every helper.
measure() {
    local rss pss=0 count=0 pid
    rss=$(awk '/^Rss:/ {print $2}' "/proc/$app_pid/smaps_rollup")
    for pid in $(tree "$app_pid"); do
        [ -r "/proc/$pid/smaps_rollup" ] || continue
        pss=$((pss + $(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup")))
        count=$((count + 1))
    done
    echo "$rss $pss $((count - 1))"
}
report() {
    read -r rss pss helpers <<<"$(measure)"
    printf '%-28s program RSS %4d MB   with helpers PSS %4d MB   helper processes %d\n' \
        "$1" $((rss / 1024)) $((pss / 1024)) "$helpers"
}
# Waits until the resident size of the program and its helpers (the preview program, the web
# engine's processes) stays within 1 MB over two seconds.
settle() {
    local last=0 now pid
    for _ in $(seq 1 30); do
        now=0
        for pid in $(tree "$app_pid"); do
            [ -r "/proc/$pid/smaps_rollup" ] || continue
            now=$((now + $(awk '/^Rss:/ {print $2}' "/proc/$pid/smaps_rollup")))
        done
        [ $((now - last)) -lt 1024 ] && [ $((last - now)) -lt 1024 ] && return 0
        last=$now
        sleep 2
    done
}

x_session_start
person "$build/bin/Quillet" >"$x_work/app.out" 2>&1 &
x_track $!
# The program itself, not the shell that runs the function.
wrapper=$!
x_wait 30 'pgrep -P "$wrapper" >/dev/null'
app_pid=$(pgrep -P "$wrapper" | head -n1)
x_wait 60 'x_app_window Quillet big >/dev/null'
settle
report "idle after start"
x_shot bench-idle

# "Preview Signature" in the panel of the selected signature, then its close button (where they
# are in the 1000 × 700 window).
# (xdotool's window position may count the title bar: these land inside either way)
PREVIEW_X=359 PREVIEW_Y=395 CLOSE_X=936 CLOSE_Y=36
eval "$(xdotool getwindowgeometry --shell "$(x_app_window Quillet big)")"
xdotool mousemove $((X + PREVIEW_X)) $((Y + PREVIEW_Y)) click 1
settle
report "preview shown"
x_shot bench-preview
xdotool mousemove $((X + CLOSE_X)) $((Y + CLOSE_Y)) click 1
settle
report "after the preview closed"
x_shot bench-preview-closed

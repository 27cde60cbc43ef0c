# Sourced by the scripts that drive the real application: an X server of its own (Xvfb) with a
# window manager (openbox) and, when asked, a system tray (trayer); helpers to wait, look and take
# screenshots. The caller sets x_work (a folder for the session's files) and sets x_session_end
# (or x_session_stop) as its exit trap.

x_pids=()

# x_session_start [tray]: exports DISPLAY; with "tray", a system tray is up before it returns.
x_session_start() {
    exec {display_fd}>"$x_work/display"
    Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp >"$x_work/xvfb.log" 2>&1 &
    x_pids+=($!)
    exec {display_fd}>&-
    x_wait 30 '[ -s "$x_work/display" ]' || { echo "x-session: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$x_work/display")"
    openbox --sm-disable >"$x_work/openbox.log" 2>&1 &
    x_pids+=($!)
    x_wait 30 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
        { echo "x-session: no window manager" >&2; return 1; }
    if [ "${1:-}" = tray ]; then
        trayer --edge top --align right --widthtype pixel --width 120 --height 32 \
            --SetDockType true --transparent false --tint 0x1E2B30 >"$x_work/trayer.log" 2>&1 &
        x_pids+=($!)
        x_wait 30 'xprop -root 2>/dev/null | grep -q "_NET_SYSTEM_TRAY_S0\|_NET_CLIENT_LIST"' || true
        x_wait 30 'xdotool search --class trayer >/dev/null 2>&1' ||
            { echo "x-session: no system tray" >&2; return 1; }
    fi
}

# x_track PID: a process of the caller's (the program under test, a service), ended before the
# X server when the session ends.
x_track() {
    x_pids=("$1" "${x_pids[@]}")
}

# x_session_end: ends every process of the session and removes x_work (an exit trap).
x_session_end() {
    x_session_stop
    rm -rf "$x_work"
}

x_session_stop() {
    local pid
    for pid in "${x_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${x_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    x_pids=()
}

# x_wait SECONDS CONDITION: true once the shell condition holds, false after SECONDS.
x_wait() {
    local deadline=$((SECONDS + $1))
    while ! eval "$2"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# x_shot NAME: the whole screen into $x_shots/NAME.png (when x_shots is set).
x_shot() {
    [ -n "${x_shots:-}" ] || return 0
    mkdir -p "$x_shots"
    import -window root "$x_shots/$1.png" 2>/dev/null || true
}

# x_column_has X Y HEIGHT COLOUR: true when a pixel of the screen's column X, from Y down HEIGHT
# pixels, has the colour (#RRGGBB).
x_column_has() {
    import -window root "$x_work/probe.png" 2>/dev/null &&
        /usr/bin/convert "$x_work/probe.png" -crop "1x$3+$1+$2" -depth 8 txt:- 2>/dev/null |
        grep -i "$4" >/dev/null  # not -q: under pipefail, convert must not lose its reader
}

# x_shows CLASS menu|dialog: true when the program shows a menu (a window that bypasses the window
# manager, wider than its tray icon) or a message box, so that keys typed next reach it.
x_shows() {
    local window info
    for window in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
        if [ "$2" = dialog ]; then
            xprop -id "$window" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG &&
                return 0
        else
            info=$(xwininfo -id "$window" 2>/dev/null) || continue
            grep -q 'Override Redirect State: yes' <<<"$info" &&
                [ "$(sed -n 's/^ *Width: //p' <<<"$info")" -ge 64 ] && return 0
        fi
    done
    return 1
}

# x_app_window CLASS big|small: the first visible window of the program's class that is at least
# 400 pixels wide (its main window), or narrower than 64 (its tray icon).
x_app_window() {
    local window width
    for window in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
        width=$(xdotool getwindowgeometry --shell "$window" 2>/dev/null | sed -n 's/^WIDTH=//p')
        [ -n "$width" ] || continue
        if { [ "$2" = big ] && [ "$width" -ge 400 ]; } || { [ "$2" = small ] && [ "$width" -lt 64 ]; }; then
            echo "$window"
            return 0
        fi
    done
    return 1
}

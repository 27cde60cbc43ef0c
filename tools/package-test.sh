#!/usr/bin/env bash
# Builds the Debian package, checks what it holds, installs it with apt as a person would
# (`apt install ./quillet_*.deb`), runs the installed quillet without --bundle, and removes the
# package again, so that the machine is left as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_PACKAGE_BUILD_DIR:-build-package}

fail() {
    echo "package-test: $*" >&2
    exit 1
}

if dpkg-query -W -f='${Status}' quillet 2>/dev/null | grep -q 'install ok installed'; then
    fail "a quillet package is installed already; not replacing it"
fi

QUILLET_PACKAGE_BUILD_DIR=$build tools/release-build.sh quillet quillet-signature-service Quillet \
    quillet-preview quillet-webmail-host \
    quillet_manpage
rm -f "$build"/quillet_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quillet_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single package was built"
deb=$(realpath "${debs[0]}")

listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/quillet ./usr/bin/quillet-signature-service ./usr/bin/Quillet \
    ./usr/bin/quillet-preview ./usr/bin/quillet-webmail-host \
    ./usr/share/applications/quillet.desktop ./usr/share/icons/hicolor/scalable/apps/quillet.svg \
    ./usr/share/quillet/Resources/Info.plist \
    ./usr/share/quillet/Resources/en.lproj/Main.strings \
    ./usr/share/man/man1/quillet.1.gz ./usr/share/bash-completion/completions/quillet \
    ./usr/lib/systemd/user/quillet.service ./usr/lib/quillet/quillet-network.so \
    ./usr/lib/quillet/quillet-dbus.so; do
    grep -q " ${path}\$" <<<"$listing" || fail "the package lacks $path"
done
zcat "$build/quillet.1.gz" | grep -q 'QUILLET_PLATFORM' || fail "the man page does not show --help"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
home=$(mktemp -d)
x_work=$(mktemp -d)
source tools/x-session.sh
cleanup() {
    x_session_stop
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq \
        -o DPkg::Lock::Timeout=300 quillet >/dev/null 2>&1 || true
    rm -rf "$home" "$x_work"
}
trap cleanup EXIT

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >/dev/null

# A person's Thunderbird profile, as Thunderbird names it in profiles.ini.
mkdir -p "$home/.thunderbird/ab12.default-default"
printf '[Install4F96D1932A9F858E]\nDefault=ab12.default-default\nLocked=1\n\n[Profile0]\nName=default-default\nIsRelative=1\nPath=ab12.default-default\n' \
    >"$home/.thunderbird/profiles.ini"
run() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

[ "$(command -v quillet)" = /usr/bin/quillet ] || fail "quillet is not /usr/bin/quillet"
version=$(run quillet --version) || fail "quillet --version failed"
[[ $version == Quillet\ * ]] || fail "unexpected version line: $version"
clients=$(run quillet clients) || fail "quillet clients failed"
if [ -f /usr/lib/thunderbird/application.ini ]; then
    grep -qx $'Thunderbird\tThunderbird [^\t]*\t/usr/lib/thunderbird' <<<"$clients" ||
        fail "quillet clients did not find Thunderbird: $clients"
fi
run bash -c 'source /usr/share/bash-completion/completions/quillet 2>/dev/null; complete -p quillet' \
    >/dev/null || fail "the bash completion does not load"

# The web-mail host registers itself with the browsers for the user.
run quillet-webmail-host --install >/dev/null || fail "quillet-webmail-host --install failed"
grep -rqs '"/usr/bin/quillet-webmail-host"' "$home/.config" "$home/.mozilla" ||
    fail "no browser manifest names the installed web-mail host"
grep -q '^ExecCondition=.*Quillet' /usr/lib/systemd/user/quillet.service ||
    fail "the user unit would run beside the application"

# The application starts from its desktop entry's command on an X server, registers its start at
# login, and ends with Ctrl+Q and "Quit".
x_session_start
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/quillet.desktop)
run env DISPLAY="$DISPLAY" QUILLET_SERVICE_URL=http://127.0.0.1:9 "$exec_line" >"$x_work/app.out" 2>&1 &
app=$!
x_wait 60 'x_app_window Quillet big >/dev/null' ||
    fail "the installed application showed no window: $(cat "$x_work/app.out")"
grep -q '^Exec="/usr/bin/Quillet"' "$home/.config/autostart/quillet.desktop" ||
    fail "the application did not register its start at login"
xdotool windowactivate --sync "$(x_app_window Quillet big)" 2>/dev/null || true
xdotool key ctrl+q
x_wait 30 'x_shows Quillet dialog' || fail "Ctrl+Q asked nothing"
xdotool key shift+Tab Return
x_wait 30 '! kill -0 "$app" 2>/dev/null' || fail "the installed application did not quit"
wait "$app" || fail "the installed application ended with status $?"
echo "package-test: $(basename "$deb") installs, runs ($version), starts and quits the application, and is removed again"

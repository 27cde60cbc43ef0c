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

QUILLET_PACKAGE_BUILD_DIR=$build tools/release-build.sh quillet quillet_manpage
rm -f "$build"/quillet_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quillet_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single package was built"
deb=$(realpath "${debs[0]}")

listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/quillet ./usr/share/quillet/Resources/Info.plist \
    ./usr/share/quillet/Resources/en.lproj/Main.strings \
    ./usr/share/man/man1/quillet.1.gz ./usr/share/bash-completion/completions/quillet \
    ./usr/lib/systemd/user/quillet.service; do
    grep -q " ${path}\$" <<<"$listing" || fail "the package lacks $path"
done
zcat "$build/quillet.1.gz" | grep -q 'QUILLET_PLATFORM' || fail "the man page does not show --help"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
home=$(mktemp -d)
cleanup() {
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq \
        -o DPkg::Lock::Timeout=300 quillet >/dev/null 2>&1 || true
    rm -rf "$home"
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
    [[ $clients == Thunderbird$'\t'Thunderbird\ *$'\t'/usr/lib/thunderbird ]] ||
        fail "quillet clients did not find Thunderbird: $clients"
fi
run bash -c 'source /usr/share/bash-completion/completions/quillet 2>/dev/null; complete -p quillet' \
    >/dev/null || fail "the bash completion does not load"
echo "package-test: $(basename "$deb") installs, runs ($version) and is removed again"

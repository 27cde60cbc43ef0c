#!/usr/bin/env bash
# Installs the Debian packages that building and testing Quillet need, only those missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang-format ccache lld
  qt6-base-dev libplist-dev libsqlite3-dev nlohmann-json3-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev util-linux
  qt6-qpa-plugins qt6-svg-dev qt6-webengine-dev libdtl-dev
  clang libclang-rt-14-dev
  thunderbird chromium chromium-driver help2man dpkg-dev fakeroot
  firefox-esr
  xvfb xdotool trayer openbox x11-utils imagemagick stress
  # The Linux clients beside Thunderbird: GLib's key files for Evolution's and Geary's
  # settings; Evolution's source registry and its library, and KDE's identity library, with which
  # the tests make the person's identities and read back what Quillet wrote (about 60 MB).
  libglib2.0-dev evolution-data-server libedataserver1.2-dev libkf5identitymanagement-dev
)
# --real-clients: also Evolution, KMail and Geary themselves, for tools/real-clients.sh (about
# 900 MB and a quarter of an hour to install, hence not in CI).
if [ "${1:-}" = "--real-clients" ]; then
  packages+=(evolution kmail geary sqlite3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

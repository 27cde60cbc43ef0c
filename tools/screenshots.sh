#!/usr/bin/env bash
# Renders every panel and state of the main window offscreen into PNG files (default
# build-test/screenshots), then renders the preview's HTML with headless Chromium and compares
# the two renderings of the page. Not part of CI: look at the files.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_TEST_BUILD_DIR:-build-test}
out=$(realpath -m "${1:-$build/screenshots}")
cmake --build "$build" -j"$(nproc)" --target quillet-screenshots >/dev/null
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0
rm -rf "$out"
"$build/bin/quillet-screenshots" "$out" 2> >(grep -v propagateSizeHints >&2)
width=$(python3 -c "import struct;d=open('$out/preview-page.png','rb').read(24);print(struct.unpack('>I',d[16:20])[0])")
height=$(python3 -c "import struct;d=open('$out/preview-page.png','rb').read(24);print(struct.unpack('>I',d[20:24])[0])")
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --force-device-scale-factor=1 \
  --window-size="$width,$height" --screenshot="$out/preview-page-chromium.png" \
  "file://$out/preview-page.html" >/dev/null 2>&1
"$build/bin/quillet-screenshots" --compare "$out/preview-page.png" "$out/preview-page-chromium.png"
echo "screenshots in $out"

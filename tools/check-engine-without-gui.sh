#!/usr/bin/env bash
# The engine stands without the desktop application: a configuration with the GUI off must
# generate (no target of the engine needs app/ui or Qt Widgets), and its layering test must pass
# (no library below app/ui includes a widgets header or a header of app/ui).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_NOGUI_BUILD_DIR:-build-nogui}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON \
  -DQUILLET_GUI=OFF >/dev/null
if cmake --build "$build" --target help | grep -qE '(quillet_ui|Quillet)$'; then
  echo "check-engine-without-gui: the GUI-off build still has application targets" >&2
  exit 1
fi
ctest --test-dir "$build" -R '^layering$' --output-on-failure

#!/usr/bin/env bash
# Builds targets in the release build folder, configured as the Debian package is (no
# sanitizers): tools/package-test.sh packages its quillet, tools/crash-test.sh kills it.
#   tools/release-build.sh TARGET...   (the folder: $QUILLET_PACKAGE_BUILD_DIR or build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLET_PACKAGE=ON \
    -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null

#!/usr/bin/env bash
# Runs the suite once more against the optimised build the package ships (the release build
# folder, tools/release-build.sh): faults that depend on timing or on undefined behaviour hide
# under the sanitizers' slowness and show here. The property test's lives (label "properties")
# run here only: tools/test.sh leaves them out of the sanitized suite.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_PACKAGE_BUILD_DIR:-build-package}
QUILLET_PACKAGE_BUILD_DIR=$build tools/release-build.sh all
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE long

#!/usr/bin/env bash
# Kills the quillet command at every file operation of its syncs, client by client, and checks
# that no client file is torn and that a rerun finishes the work; prints the counts.
# The test itself is built in the test build folder (the one tools/test.sh uses); the command it
# kills, and the stand-ins that command runs, come from the release build folder
# (tools/release-build.sh), which starts several times faster than the sanitized build.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${QUILLET_TEST_BUILD_DIR:-build-test}
release=${QUILLET_PACKAGE_BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_app_cli_QuilletCrashTest >/dev/null
QUILLET_PACKAGE_BUILD_DIR=$release tools/release-build.sh quillet fake-osascript fake-defaults
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QUILLET_RELEASE_BUILD_DIR=$(realpath "$release")
# The copies of the fake Mac in memory: a kill loses no more there than on a disk, and the
# thousands of copies, synchronised writes and removals cost no disk time.
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
ctest --test-dir "$build" --output-on-failure -L long
tools/fault-counts.sh "$build"

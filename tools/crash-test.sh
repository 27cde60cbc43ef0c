#!/usr/bin/env bash
# Kills the quillet command at every file operation of its syncs, client by client, and checks
# that no client file is torn and that a rerun finishes the work; prints the counts.
# Builds what it needs in the test build folder (the one tools/test.sh uses).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${QUILLET_TEST_BUILD_DIR:-build-test}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_app_cli_QuilletCrashTest quillet
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -L long
tools/fault-counts.sh "$build"

#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${QUILLET_TEST_BUILD_DIR:-build-test}
# Line tables are all the sanitizers' reports need: full debug information makes each compile a
# sixth slower and the test programs a third bigger to link. The benchmarks are built (not run)
# so that they keep up with the code they measure.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DQUILLET_SANITIZE=ON \
  -DQUILLET_WERROR=ON -DQUILLET_GUI=ON -DQUILLET_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The crash test (label "long") kills the release build's command: tools/crash-test.sh, below.
# The property test (label "properties") plays its lives once, in the release suite below, whose
# command starts about ten times faster (tests/support/CommandBuild.h).
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE 'long|properties'
tools/tsan.sh
tools/fault-counts.sh "$build"
tools/check-engine-without-gui.sh
# The suite again, optimised as the package is; the package's build folder is reused below.
tools/release-test.sh
# The real application on an X server with a window manager and a tray, driven as a person would.
tools/app-e2e-test.sh
# The Debian package: built, installed with apt, run and removed again.
tools/package-test.sh
tools/crash-test.sh
tools/web-extension-test.sh "$build"

#!/usr/bin/env bash
# Kills the quillet command (release build) with SIGKILL at random moments of `refresh` and of
# `install`, KILLS times each (default 200), and checks after every kill that no client lacking
# the stored text is called in order by `status`, and that a plain refresh (or the install again,
# when it stored nothing) finishes the work; prints the figures.
#   tools/random-kills.sh [KILLS]
# The test build folder and the release build folder are those of tools/crash-test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-200}
build=${QUILLET_TEST_BUILD_DIR:-build-test}
release=${QUILLET_PACKAGE_BUILD_DIR:-build-package}
tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_app_cli_QuilletCrashTest >/dev/null
QUILLET_PACKAGE_BUILD_DIR=$release tools/release-build.sh quillet fake-osascript fake-defaults
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
export QUILLET_RELEASE_BUILD_DIR=$(realpath "$release")
export QUILLET_RANDOM_KILLS=$kills
if [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
"$build/tests/test_app_cli_QuilletCrashTest" --gtest_filter='Commands/QuilletRandomKillTest.*'

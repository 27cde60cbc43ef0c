#!/usr/bin/env bash
# Builds the tests whose code runs on several threads (the logger, account discovery, the process
# runner, the file lock, the main queues) with ThreadSanitizer in their own build folder and runs
# them. Only those targets are built, so this stays cheap enough for every CI run (tools/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLET_TSAN_BUILD_DIR:-build-tsan}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_TSAN=ON -DQUILLET_WERROR=ON >/dev/null
tests=(common/LoggerTest app/clients/ClientCasesTest app/base/RunProcessTest
       platform/FileLockTest platform/PlatformTest)
targets=()
for test in "${tests[@]}"; do targets+=("test_${test%/*}_${test##*/}"); done
targets=("${targets[@]//\//_}")
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$PWD/tools/sanitizer/tsan.supp}
# CTest names a test by its folder with "_" for "/", then its name: app_clients/ClientCasesTest.
names=()
for test in "${tests[@]}"; do dir=${test%/*}; names+=("${dir//\//_}/${test##*/}"); done
pattern=$(IFS='|'; echo "${names[*]}")
ctest --test-dir "$build" -R "^(${pattern})\$" --output-on-failure

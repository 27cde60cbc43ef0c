#!/usr/bin/env bash
# Runs N random lives of a Mac through the property test (tests/properties), with a random seed
# that it prints first; a failure prints its shrunk sequence and how to replay it:
#   tools/properties.sh [N]        (N defaults to 100)
#   RC_PARAMS="reproduce=..." build-test/tests/test_properties_QuilletPropertyTest
# The test build folder is the one tools/test.sh uses ($QUILLET_TEST_BUILD_DIR, build-test).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-100}
build=${QUILLET_TEST_BUILD_DIR:-build-test}
tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON -DQUILLET_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target test_properties_QuilletPropertyTest >/dev/null
seed=$(od -An -N8 -tu8 /dev/urandom | tr -d ' ')
echo "seed=$seed, $runs sequences"
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizer/lsan.supp}
export QT_QPA_PLATFORM=offscreen LANG=en_US.UTF-8 LC_ALL=
started=$SECONDS
status=0
RC_PARAMS="seed=$seed max_success=$runs ${RC_EXTRA_PARAMS:-}" \
  "$build/tests/test_properties_QuilletPropertyTest" || status=$?
echo "seed=$seed, $runs sequences, $((SECONDS - started)) s, exit $status"
exit $status

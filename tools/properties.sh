#!/usr/bin/env bash
# Runs N random lives of a Mac through the property test (tests/properties), with a random seed
# that it prints first; a failure prints its shrunk sequence and how to replay it:
#   tools/properties.sh [N]        (N defaults to 100; RC_EXTRA_PARAMS="noshrink=1" and the like)
#   RC_PARAMS="reproduce=..." build-test/tests/test_properties_QuilletPropertyTest
# The test is built in the test build folder ($QUILLET_TEST_BUILD_DIR, build-test); the command
# its lives run, and the stand-ins that command starts, come from the release build folder
# ($QUILLET_PACKAGE_BUILD_DIR, build-package), which starts about ten times faster.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-100}
source tools/release-command-test.sh
BuildTestOfReleaseCommand test_properties_QuilletPropertyTest
seed=$(od -An -N8 -tu8 /dev/urandom | tr -d ' ')
echo "seed=$seed, $runs sequences"
export QT_QPA_PLATFORM=offscreen LANG=en_US.UTF-8 LC_ALL=
started=$SECONDS
status=0
RC_PARAMS="seed=$seed max_success=$runs ${RC_EXTRA_PARAMS:-}" \
  "$build/tests/test_properties_QuilletPropertyTest" || status=$?
echo "seed=$seed, $runs sequences, $((SECONDS - started)) s, exit $status"
exit $status

#!/usr/bin/env bash
# Kills the quillet command at every file operation of its syncs, client by client, and checks
# that no client file is torn and that a rerun finishes the work; prints the counts.
# The test itself is built in the test build folder (the one tools/test.sh uses); the command it
# kills, and the stand-ins that command runs, come from the release build folder
# (tools/release-build.sh), which starts several times faster than the sanitized build.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/release-command-test.sh
BuildTestOfReleaseCommand test_app_cli_QuilletCrashTest
ctest --test-dir "$build" --output-on-failure -L long
tools/fault-counts.sh "$build"

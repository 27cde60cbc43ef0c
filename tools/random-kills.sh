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
source tools/release-command-test.sh
BuildTestOfReleaseCommand test_app_cli_QuilletCrashTest
export QUILLET_RANDOM_KILLS=$kills
"$build/tests/test_app_cli_QuilletCrashTest" --gtest_filter='Commands/QuilletRandomKillTest.*'

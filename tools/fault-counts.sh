#!/usr/bin/env bash
# Prints the counts of the file-fault and crash tests from the last ctest run in a build folder
# (faults injected, kill points, torn files), so that CI's log shows them.
set -euo pipefail
build=${1:-build-test}
log="$build/Testing/Temporary/LastTest.log"
[ -f "$log" ] || { echo "no test log in $build" >&2; exit 1; }
echo "File faults and crashes:"
grep -E "faults injected|kill points|file operations, faults" "$log" | sed 's/^/  /' || true

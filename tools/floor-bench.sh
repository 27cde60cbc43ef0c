#!/usr/bin/env bash
# Times whole quillet processes (the release build) against a small C program doing the same
# reads and the same durable writes (bench/floor), pair by pair in one run, on sample Macs it
# builds, and prints each ratio's min / median / max; also the scaling from 10 to 10,000
# stored signatures beside its floor (the C program reading every stored row, as the making of
# each command's engine does), `run`'s resident memory when idle and the log after 100 installs.
#   tools/floor-bench.sh [--runs N] [--only TEXT] [--log-installs N] [--quillet PATH]
# (the build folder: $QUILLET_BENCH_BUILD_DIR or build-bench; --quillet times another build's
# command against the same floor, as when comparing with an earlier version). The machine is
# shared and noisy: compare ratios from one run, not times across runs.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${QUILLET_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLET_BENCH=ON -DQUILLET_GUI=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quillet fake-osascript fake-defaults bench-floor \
    floor-bench >/dev/null
quillet=$PWD/$build/bin/quillet
arguments=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quillet) quillet=$(realpath "$2"); shift 2 ;;
    *) arguments+=("$1"); shift ;;
  esac
done
work=$(mktemp -d "${TMPDIR:-/tmp}/floor-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build/bench/floor-bench" --quillet "$quillet" --floor "$PWD/$build/bench/bench-floor" \
    --work "$work" "${arguments[@]}"

#!/usr/bin/env bash
# Builds (optimised) and runs every Google Benchmark program in bench/ (the floor comparison of
# whole processes is tools/floor-bench.sh, in the same build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${QUILLET_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLET_BENCH=ON -DQUILLET_GUI=OFF >/dev/null
targets=()
for source in bench/*.cpp; do
  targets+=("bench_$(basename "$source" .cpp)")
done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
for target in "${targets[@]}"; do
  "$build/bench/$target" "$@"
done

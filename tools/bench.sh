#!/usr/bin/env bash
# Builds (optimised) and runs every benchmark in bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLET_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)"
for program in build-bench/bench/bench_*; do
  [ -x "$program" ] && "$program" "$@"
done

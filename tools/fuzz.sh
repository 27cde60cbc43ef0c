#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz and runs each for a number of executions, starting from its committed corpus.
# New inputs go to build-fuzz/corpus/<target>; crashes to build-fuzz/crashes/<target>.
#   tools/fuzz.sh [RUNS] [TARGET...]     (RUNS defaults to 10000000; TARGET e.g. PrefsFileFuzz)
# QUILLET_FUZZ_SECONDS=N also ends each target after N seconds, whichever comes first.
# Prints one line per target: executions done and the result. Long; run it niced:
#   nice -n 19 tools/fuzz.sh
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000000}
shift || true
build=${QUILLET_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON \
  -DQUILLET_WERROR=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*Fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target" "$build/crashes/$target"
  log="$build/$target.log"
  started=$SECONDS
  if "$build/fuzz/fuzz_$target" -runs="$runs" -max_total_time="${QUILLET_FUZZ_SECONDS:-0}" \
      -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
      -artifact_prefix="$build/crashes/$target/" -print_final_stats=1 \
      "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    result=ok
  else
    result="FAILED (see $log)"
    status=1
  fi
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$target: ${done_runs:-?} executions in $((SECONDS - started)) s, $result"
done
exit $status

#!/usr/bin/env bash
# Proves that the tests catch the faults they guard against: applies each deliberate fault of
# tools/mutants.tsv (a "mutant") to a copy of the committed tree, builds the tests that should
# catch it and runs them. Prints CAUGHT, MISSED or INVALID (the text is no longer in the file
# exactly once, or the mutant does not build) per mutant, then the counts; exits 1 if any
# mutant is missed.
#   tools/mutants.sh            every mutant
#   tools/mutants.sh M07 M12    only those
# Before a mutant is applied, its tests run once on the unchanged copy: a test that already
# fails proves nothing, and the mutant is INVALID. The copy is HEAD (commit first), or the
# revision $QUILLET_MUTANTS_REV names, and the table is the copy's, so that editing it leaves a
# run alone. It is built in $QUILLET_MUTANTS_DIR (default build-mutation) without sanitizers; its
# build folder sits as deep below the copy as a worktree's below the worktree, so ccache hits.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
work=${QUILLET_MUTANTS_DIR:-$repo/build-mutation}
src=$work/src
build=$src/build
logs=$work/logs
table=$src/tools/mutants.tsv
jobs=${QUILLET_MUTANTS_JOBS:-2}
unset QUILLET_RELEASE_BUILD_DIR  # the tests run the command of the build they belong to

mkdir -p "$src" "$logs"
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
git archive "${QUILLET_MUTANTS_REV:-HEAD}" | tar -x -C "$fresh"
# A file whose contents did not change keeps its time, so little is rebuilt.
python3 - "$fresh" "$src" <<'PYTHON'
import filecmp, os, shutil, sys
fresh, src = sys.argv[1], sys.argv[2]
for root, folders, files in os.walk(src):
    folders[:] = [f for f in folders if not (root == src and f == "build")]
    for name in files:
        if not os.path.lexists(os.path.join(fresh, os.path.relpath(root, src), name)):
            os.remove(os.path.join(root, name))
for root, folders, files in os.walk(fresh):
    for name in files:
        source = os.path.join(root, name)
        target = os.path.join(src, os.path.relpath(source, fresh))
        if not os.path.isfile(target) or not filecmp.cmp(source, target, shallow=False):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
            shutil.copymode(source, target)
PYTHON
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=OFF \
  -DQUILLET_WERROR=OFF -DQUILLET_GUI="${QUILLET_MUTANTS_GUI:-OFF}" >"$logs/configure.log"

declare -A wanted=()
for id in "$@"; do wanted[$id]=1; done

# The test targets of a ctest regex: test "app_core/StoreTest" is built by target
# "test_app_core_StoreTest", "fuzz/X" by "fuzz_X"; the command goes with them, as many tests run it.
targets_of() {
  ctest --test-dir "$build" -N -R "$1" 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p' |
    sed -e 's|^fuzz/|fuzz_|' -e '/^fuzz_/!{s|/|_|g;s|^|test_|}' | grep -v '^test_layering$' || true
  echo quillet
}

# Runs the tests of a row; prints the names of those that failed, or why the run proves nothing.
run_tests() {
  local regex=$1 filter=$2 log=$3 status=0
  GTEST_FILTER=$filter ctest --test-dir "$build" -R "$regex" --timeout 900 -V >"$log" 2>&1 ||
    status=$?
  local failed
  failed=$(awk '/The following tests FAILED:/ {on = 1; next}
                on && / - / {sub(/^[ \t]*[0-9]+ - /, ""); sub(/ \(.*$/, ""); print}' "$log" | sort -u)
  if [ -n "$failed" ]; then
    echo "$failed" | paste -sd" "
  elif [ "$status" -ne 0 ]; then
    echo "(ctest ended with status $status)"
  elif grep -q '^[0-9]*: \[==========\] 0 tests from' "$log"; then
    echo "(the filter $filter picks no case in one of them)"
  fi
}

# Writes the file with the row's original text replaced; false when it is not there exactly once.
apply() {
  python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, original, replacement = sys.argv[1], sys.argv[2].replace("↵", "\n"), sys.argv[3].replace("↵", "\n")
text = open(path, encoding="utf-8").read()
if text.count(original) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(original, replacement))
EOF
}

caught=0 missed=0 invalid=0
missed_ids=() invalid_ids=()
restore=""
trap 'if [ -n "$restore" ]; then cp "$restore.orig" "$restore" && rm "$restore.orig"; fi; rm -rf "$fresh"' EXIT
while IFS=$'\t' read -r id file original replacement regex filter guards; do
  case $id in '' | '#'*) continue ;; esac
  if [ $# -gt 0 ] && [ -z "${wanted[$id]:-}" ]; then continue; fi
  log=$logs/$id.log
  : >"$log"
  verdict="" detail=""
  mapfile -t targets < <(targets_of "$regex")
  if [ ${#targets[@]} -le 1 ]; then
    verdict=INVALID detail="no test matches $regex"
  elif ! cmake --build "$build" -j"$jobs" --target "${targets[@]}" >>"$log" 2>&1; then
    verdict=INVALID detail="the unchanged copy does not build"
  else
    failing=$(run_tests "$regex" "$filter" "$logs/$id.baseline.log")
    if [ -n "$failing" ]; then
      verdict=INVALID detail="without the mutant: $failing"
    fi
  fi
  if [ -z "$verdict" ]; then
    cp "$src/$file" "$src/$file.orig"
    restore=$src/$file
    if ! apply "$src/$file" "$original" "$replacement"; then
      verdict=INVALID detail="the original text is not in $file exactly once"
    elif ! cmake --build "$build" -j"$jobs" --target "${targets[@]}" >>"$log" 2>&1; then
      verdict=INVALID detail="does not build"
    else
      failing=$(run_tests "$regex" "$filter" "$log.tests")
      cat "$log.tests" >>"$log" && rm -f "$log.tests"
      if [[ $failing == "(the filter"* ]]; then
        verdict=INVALID detail="$failing"
      elif [ -n "$failing" ]; then
        verdict=CAUGHT detail="by $failing"
      else
        verdict=MISSED detail="$regex ($filter) all pass"
      fi
    fi
    # Copied, not moved: the file must be newer than the mutant's object, to be built again.
    cp "$src/$file.orig" "$src/$file" && rm "$src/$file.orig"
    restore=""
  fi
  case $verdict in
    CAUGHT) caught=$((caught + 1)) ;;
    MISSED) missed=$((missed + 1)) missed_ids+=("$id") ;;
    INVALID) invalid=$((invalid + 1)) invalid_ids+=("$id") ;;
  esac
  printf '%-4s %-8s %s: %s\n' "$id" "$verdict" "$guards" "$detail"
done <"$table"

echo "caught $caught, missed $missed${missed_ids:+ (${missed_ids[*]})}," \
  "invalid $invalid${invalid_ids:+ (${invalid_ids[*]})}"
[ "$missed" -eq 0 ]

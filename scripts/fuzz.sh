#!/usr/bin/env bash
# Runs every libFuzzer target of tests/fuzz for a bounded time.
#
#   scripts/fuzz.sh [-t SECONDS] [--merge] [TARGET...]
#
# Builds the preset fuzz (clang, build/fuzz), then runs each target (all of
# them by default: decode proxy binder expression) for SECONDS (default
# $FUZZ_SECONDS, else 30) on its committed corpus tests/fuzz/corpus/TARGET.
# The committed corpus is only read: new inputs go to
# build/fuzz/corpus-work/TARGET. An input that fails (crash, sanitizer report,
# failed property, leak, hang over 25 s) is written to
# build/fuzz/artifacts/TARGET/ and the script fails, naming it. Once the bug
# is fixed, copy that input into tests/fuzz/corpus/TARGET/ (the replay test
# of the normal suite then runs it for good) and add a focused regression test.
#
# --merge folds the new inputs of build/fuzz/corpus-work into the committed
# corpora instead of fuzzing: only inputs that reach code (edges) the corpus
# does not reach yet are added, so the committed corpora stay small; the
# files already there are kept.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
# A fixed seed makes the bounded runs of CI explore the same way each time
# (how far depends only on the machine's speed); FUZZ_SEED=0 picks a random one.
seed=${FUZZ_SEED:-1}
merge=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
if [ ${#targets[@]} -eq 0 ]; then targets=(decode proxy binder expression); fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in "${targets[@]}"; do
  exe=build/fuzz/tests/fuzz/fuzz_$target
  corpus=tests/fuzz/corpus/$target
  work=build/fuzz/corpus-work/$target
  artifacts=build/fuzz/artifacts/$target/
  log=build/fuzz/fuzz_$target.log
  mkdir -p "$work" "$artifacts"
  options=(-rss_limit_mb=2048 -timeout=25 -print_final_stats=1 "-seed=$seed" "-artifact_prefix=$artifacts")
  if [ -f "tests/fuzz/$target.dict" ]; then options+=("-dict=tests/fuzz/$target.dict"); fi

  if [ "$merge" -eq 1 ]; then
    "$exe" "${options[@]}" -merge=1 -use_counters=0 -use_cmp=0 "$corpus" "$work" >"$log" 2>&1 ||
      { status=1; tail -n 40 "$log"; }
    echo "fuzz $target: merged, $(ls "$corpus" | wc -l) inputs in $corpus"
    continue
  fi

  if "$exe" "${options[@]}" -max_total_time="$seconds" "$work" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: clean, ${runs:-?} inputs in ${seconds}s (log: $log)"
  else
    status=1
    tail -n 60 "$log"
    echo "fuzz $target: FAILED; the failing input is in $artifacts (log: $log)" >&2
  fi
done
exit $status

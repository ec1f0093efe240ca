#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for a short, bounded time, several at once, each on
# a scratch copy of its seeds under build/fuzz/run/ (the committed seeds stay as they are).
#   fuzz/run.sh [seconds per target]        default 8; FUZZ_JOBS targets at once, default 4
# A crash, a failed check, a hang or a leak fails the run; the reproducer's path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${FUZZ_SECONDS:-8}}
jobs=${FUZZ_JOBS:-4}
bin=build/fuzz/fuzz
work=build/fuzz/run

# The targets are the sources in fuzz/ (the seed writer aside): one missing its program fails.
targets=()
for source in fuzz/*.cpp; do
  name=$(basename "$source" .cpp)
  [ "$name" = make_seeds ] && continue
  targets+=("$name")
done

rm -rf "$work"
mkdir -p "$work"

run_target() {
  local t=$1 dir=$work/$1
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  if [ -d "fuzz/corpus/$t" ]; then
    cp -R "fuzz/corpus/$t/." "$dir/corpus/"
  fi
  local start=$SECONDS status=0
  # libFuzzer stops by itself after max_total_time; the outer limit only catches a run that
  # does not (a hang outside any one input).
  TMPDIR="$PWD/$dir/tmp" timeout -k 5 $((seconds + 60)) \
    "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" \
    >"$dir/log" 2>&1 || status=$?
  echo "$status $((SECONDS - start))" >"$dir/result"
}

running=0
for t in "${targets[@]}"; do
  if [ ! -x "$bin/fuzz_$t" ]; then
    echo "$bin/fuzz_$t is missing: build the fuzz preset first" >"$work/$t.missing"
    continue
  fi
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

passed=0
failed=0
printf '%-24s %10s %8s %6s  %s\n' target runs exec/s time result
for t in "${targets[@]}"; do
  dir=$work/$t
  if [ -f "$work/$t.missing" ]; then
    printf '%-24s %10s %8s %6s  %s\n' "$t" - - - "FAILED: $(cat "$work/$t.missing")"
    failed=$((failed + 1))
    continue
  fi
  read -r status took <"$dir/result"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -n 1)
  found=$(find "$dir/artifacts" -type f | sort)
  if [ "$status" -eq 0 ] && [ -z "$found" ]; then
    printf '%-24s %10s %8s %5ss  %s\n' "$t" "${runs:-?}" "${speed:-?}" "$took" ok
    passed=$((passed + 1))
    continue
  fi
  printf '%-24s %10s %8s %5ss  %s\n' "$t" "${runs:-?}" "${speed:-?}" "$took" "FAILED (status $status)"
  failed=$((failed + 1))
  {
    echo "---- $t: $dir/log (what it reported)"
    grep -E 'ERROR|runtime error|fuzz check failed|SUMMARY|Test unit written|^ *#[0-9]+ 0x' "$dir/log" | head -n 30 || true
    if [ -n "$found" ]; then
      echo "reproducer(s):"
      echo "$found" | sed 's/^/  /'
      echo "rerun: $bin/fuzz_$t <reproducer>"
    elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
      echo "the target did not stop within $((seconds + 60)) s"
    fi
  }
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`: clang, libFuzzer, ASan + UBSan),
# replays each seed corpus once (CTest label fuzz), then fuzzes every target
# for a bounded time, two at a time.
#
#   scripts/fuzz.sh              60 seconds per target
#   scripts/fuzz.sh SECONDS      SECONDS per target, e.g. 3600 for a long run
#
# Each target works on a copy of its seed corpus in build/fuzz/fuzz-run/<target>/,
# so the repository stays clean; inputs that crash, leak, time out or run out
# of memory are kept there as crash-*, leak-*, timeout-* or oom-* files, and
# the target's output is in log. Reproduce a finding with
#   build/fuzz/bin/<target> build/fuzz/fuzz-run/<target>/crash-...
# Fails when any target finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac
parallel=2

scripts/setup.sh --hardening
cmake --workflow --preset fuzz

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_dir=build/fuzz/fuzz-run
rm -rf "$run_dir"

# Fuzzes one target; its exit status is kept in <work>/status.
fuzz_target() {
  local target=$1 work=$run_dir/$1
  local args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10
              -print_final_stats=1 -artifact_prefix="$work/")
  [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")
  local status=0
  "build/fuzz/bin/$target" "${args[@]}" "$work/corpus" >"$work/log" 2>&1 || status=$?
  echo "$status" >"$work/status"
}

targets=()
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  targets+=("$target")
  mkdir -p "$run_dir/$target/corpus"
  cp "$corpus"/* "$run_dir/$target/corpus/"
  echo "== $target: $seconds s =="
  fuzz_target "$target" &
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
done
wait

status=0
summary=()
for target in "${targets[@]}"; do
  work=$run_dir/$target
  if [ "$(cat "$work/status")" = 0 ]; then
    result=ok
  else
    result=FAILED
    status=1
    echo "== $target failed; the end of its log: =="
    tail -n 60 "$work/log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1 || true)
  summary+=("$(printf '%-22s %-6s %10s runs  %-9s  corpus %s files' "$target" "$result" \
               "${runs:-?}" "${cov:-cov: ?}" "$(ls "$work/corpus" | wc -l)")")
done

echo "== fuzz summary ($seconds s per target) =="
printf '  %s\n' "${summary[@]}"
exit $status

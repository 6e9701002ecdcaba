#!/usr/bin/env bash
# Builds the fuzz targets (preset `fuzz`: clang, libFuzzer, ASan + UBSan),
# replays each seed corpus once (CTest label fuzz), then fuzzes every target
# for a bounded time.
#
#   scripts/fuzz.sh              60 seconds per target
#   scripts/fuzz.sh SECONDS      SECONDS per target, e.g. 3600 for a long run
#
# Each target works on a copy of its seed corpus in build/fuzz/fuzz-run/<target>/,
# so the repository stays clean; inputs that crash, leak or time out are kept
# there as crash-*, leak-*, timeout-* or oom-* files. Reproduce one with
#   build/fuzz/fuzz/<target> <file>
# Fails when any target finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz: SECONDS must be a whole number, not '$seconds'" >&2; exit 2 ;;
esac

scripts/setup.sh --hardening
cmake --workflow --preset fuzz

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_dir=build/fuzz/fuzz-run
rm -rf "$run_dir"
status=0
summary=()
for corpus in fuzz/corpus/*/; do
  target=$(basename "$corpus")
  program=build/fuzz/fuzz/$target
  work=$run_dir/$target
  mkdir -p "$work/corpus"
  cp "$corpus"/* "$work/corpus/"

  args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10
        -print_final_stats=1 -artifact_prefix="$work/")
  [ -f "fuzz/$target.dict" ] && args+=(-dict="fuzz/$target.dict")

  echo "== $target: $seconds s =="
  if "$program" "${args[@]}" "$work/corpus" >"$work/log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 60 "$work/log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1 || true)
  summary+=("$(printf '%-22s %-6s %10s runs  %s  corpus %s files' "$target" "$result" \
               "${runs:-?}" "${cov:-cov: ?}" "$(ls "$work/corpus" | wc -l)")")
done

echo "== fuzz summary =="
printf '  %s\n' "${summary[@]}"
exit $status

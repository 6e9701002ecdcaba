#!/usr/bin/env bash
# Builds everything and runs every test, one preset after the other, and
# prints how long each stage took.
#
#   scripts/test.sh                          every preset CI runs: default (the
#                                            native build), asan (the same suite
#                                            under ASan + UBSan), linux-x86 and
#                                            windows-x86 (the 32-bit builds, the
#                                            Windows one under wine), bench-smoke
#                                            and bench-linux-x86-smoke (the
#                                            benchmarks built, 64- and 32-bit, and
#                                            each run once briefly)
#   scripts/test.sh <preset>...              the named presets only, e.g.
#   scripts/test.sh default                  the native build and its tests
#
# Installs what the chosen presets need first (scripts/setup.sh; --cross for
# the 32-bit presets).
set -euo pipefail
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] ||
  presets=(default asan linux-x86 windows-x86 bench-smoke bench-linux-x86-smoke)

setup_args=()
for preset in "${presets[@]}"; do
  case "$preset" in
    linux-x86|windows-x86|bench-linux-x86*) setup_args=(--cross) ;;
  esac
done

times=()
report() {
  local status=$?
  if [ ${#times[@]} -gt 0 ]; then
    echo "== stage times =="
    printf '  %s\n' "${times[@]}"
    echo "  total: $SECONDS s"
  fi
  exit $status
}
trap report EXIT

stage() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  if [ $status -eq 0 ]; then
    times+=("$(printf '%-12s %5d s' "$name" $((SECONDS - start)))")
  else
    times+=("$(printf '%-12s %5d s  FAILED' "$name" $((SECONDS - start)))")
  fi
  return $status
}

stage setup scripts/setup.sh "${setup_args[@]}"
for preset in "${presets[@]}"; do
  echo "== $preset =="
  stage "$preset" cmake --workflow --preset "$preset"
done

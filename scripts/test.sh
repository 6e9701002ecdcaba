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
# the 32-bit presets). On a machine whose kernel does not run 32-bit
# programs (scripts/runs-32bit.sh) the 32-bit presets are configured and
# built without their tests, which checks the 32-bit layout at compile time;
# the stage times and the last line say so.
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

# The configure and build presets of a workflow that runs 32-bit programs,
# or nothing.
thirty_two_bit() {
  case "$1" in
    linux-x86|windows-x86) echo "$1" ;;
    bench-linux-x86|bench-linux-x86-smoke) echo bench-linux-x86 ;;
  esac
}

# Without their tests, which could not run: the libraries, the tool and the
# examples, which hold every layout assertion.
build_only() {
  cmake --preset "$1" -DWQ_BUILD_TESTS=OFF && cmake --build --preset "$1"
}

stage setup scripts/setup.sh "${setup_args[@]}"
not_run=()
for preset in "${presets[@]}"; do
  echo "== $preset =="
  build=$(thirty_two_bit "$preset")
  if [ -n "$build" ] && ! why=$(scripts/runs-32bit.sh 2>&1); then
    echo "$preset: built, not run: $why"
    stage "$preset" build_only "$build"
    times[-1]="${times[-1]}  built, not run"
    not_run+=("$preset")
    continue
  fi
  stage "$preset" cmake --workflow --preset "$preset"
done
if [ ${#not_run[@]} -gt 0 ]; then
  echo "NOTE: ${not_run[*]}: built, their tests not run: $(scripts/runs-32bit.sh 2>&1)"
fi

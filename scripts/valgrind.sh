#!/usr/bin/env bash
# Runs the end-to-end tests (CTest label e2e of the default build) under
# valgrind memcheck. Fails on any memory error and on any definite or
# indirect leak; the full report of a failing test is printed, and every
# report stays in build/default/Testing/Temporary/MemoryChecker.*.log.
#
# Each test's own program runs under valgrind: the test programs that load
# the module library, and wqhost where a test runs it directly. Programs a
# test starts in turn are not followed: wqhost's checks run deliberately
# broken modules in child processes. For that reason the tool's own tests
# (label tool), whose program only starts wqhost and reads its output, are
# not among the e2e tests.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --hardening
cmake --preset default
cmake --build --preset default

options="--error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect"
options+=" --show-leak-kinds=definite,indirect --num-callers=40"

# Reports of an earlier run would otherwise be read as this run's.
rm -f build/default/Testing/Temporary/MemoryChecker.*.log

status=0
# The browser test is left out: under valgrind it would check the Python
# interpreter that drives the browser, not our code.
ctest --test-dir build/default -L e2e -LE browser -T memcheck -j2 --no-tests=error --output-on-failure \
  --overwrite MemoryCheckCommand="$(command -v valgrind)" \
  --overwrite MemoryCheckCommandOptions="$options" || status=$?

if [ $status -ne 0 ]; then
  for log in build/default/Testing/Temporary/MemoryChecker.*.log; do
    [ -s "$log" ] && grep -qE 'ERROR SUMMARY: [1-9]|definitely lost: [1-9]|indirectly lost: [1-9]' "$log" &&
      { echo "== $log =="; cat "$log"; }
  done
  echo "valgrind: errors or leaks found" >&2
fi
exit $status

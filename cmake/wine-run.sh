#!/usr/bin/env bash
# Runs a 32-bit Windows program under wine, in a wine prefix of its own.
#
#   wine-run.sh <prefix-dir> <program.exe> [arguments...]
#   wine-run.sh <prefix-dir>        only create the prefix
#
# The prefix is created on first use (wineboot takes several seconds once);
# a lock lets parallel test runs share that work. Nothing started under the
# lock keeps its descriptor, or a lingering wine server would hold the lock. Wine's own messages are
# silenced, and carriage returns are taken out of the program's standard
# output so that tools reading it (test discovery, output comparison) see
# the same lines as on Linux. The program's exit status is passed on.
set -euo pipefail

prefix=$1
shift

export WINEPREFIX=$prefix
export WINEARCH=win32
export WINEDEBUG=-all
# No prompts to install the .NET and HTML runtimes into the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ ! -e "$prefix/.wq-ready" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -e "$prefix/.wq-ready" ]; then
      start=$SECONDS
      if ! wineboot -i </dev/null >"$prefix.log" 2>&1 9>&-; then
        echo "wine-run: could not create the wine prefix $prefix:" >&2
        cat "$prefix.log" >&2
        exit 1
      fi
      echo "wine prefix created in $((SECONDS - start)) s" >>"$prefix.log"
      touch "$prefix/.wq-ready"
    fi
  ) 9>"$prefix.lock"
fi

# Keep one wine server running for the prefix, with the services it starts
# detached from our output. A test runner waits until every holder of the
# program's output has gone; services started by the program itself would
# hold it until the server shuts down, seconds after the program ended, and
# every program would pay for starting a new server.
(
  flock 9
  if wineserver -p "${WQ_WINESERVER_LINGER:-20}" </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"

[ $# -gt 0 ] || exit 0
wine "$@" | tr -d '\r'

#!/usr/bin/env bash
# Builds everything and runs every test: the native build, then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in default asan; do
  echo "== $preset =="
  cmake --workflow --preset "$preset"
done

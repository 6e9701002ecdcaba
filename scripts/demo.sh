#!/usr/bin/env bash
# The module loaded in the reference host on an example list: prints the
# module's description and pins, then sets a list, selects items and writes
# numbers, showing every pin after each step.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2 --target quendor wqhost
exec build/default/host/wqhost build/default/list_module/libquendor.so

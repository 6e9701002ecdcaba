#!/usr/bin/env bash
# The demo session: the Quendor module loaded in the reference host and
# driven by examples/demo.wqs. A list goes to pin 0, items are selected on
# pin 1, a number is written to pin 3, a new list follows; each step shows
# the pins it changed, and the script's expect lines make the run fail if
# the module does not do its job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build build/default -j2 --target quendor wqhost
exec build/default/bin/wqhost run build/default/lib/libquendor.so examples/demo.wqs

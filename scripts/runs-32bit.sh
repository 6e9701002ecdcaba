#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 programs: exits 0 if it does, else 1
# and says why on standard error. Some kernels are built or booted without
# 32-bit emulation; there every 32-bit program (and wine) fails with "Exec
# format error". The 32-bit builds are still made on such a machine, but
# their tests, the 32-bit benchmarks and the package checks that run the
# 32-bit programs cannot run.
#
# The probe runs the i386 dynamic loader itself (libc6:i386, which the
# 32-bit builds need anyway).
set -uo pipefail
loader=/lib/ld-linux.so.2
if [ ! -x "$loader" ]; then
  echo "no 32-bit C library ($loader): run scripts/setup.sh --cross" >&2
  exit 1
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "this machine's kernel does not run 32-bit programs (Exec format error)" >&2
  exit 1
fi
exit 0

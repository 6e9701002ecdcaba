#!/usr/bin/env bash
# Builds the module library a second time, in another folder, and checks
# that it is byte for byte the one of the preset's build tree: no build path,
# time stamp or random name may reach the output.
#
#   tests/release/check_reproducible.sh <preset>...    e.g. default windows-x86
#
# The preset's own tree (build/<preset>) is used as it stands, built if
# needed; the second tree, build/reproducible/<preset>, is configured with
# the same preset but without the tests and builds only the module library.
set -euo pipefail
cd "$(dirname "$0")/../.."

[ $# -gt 0 ] || { sed -n '2,10p' "$0" >&2; exit 2; }

status=0
for preset in "$@"; do
  first=build/$preset
  second=build/reproducible/$preset
  cmake --preset "$preset" >/dev/null
  cmake --build "$first" -j2 --target quendor >/dev/null
  rm -rf "$second"
  cmake --preset "$preset" -B "$second" -DWQ_BUILD_TESTS=OFF --no-warn-unused-cli >/dev/null
  cmake --build "$second" -j2 --target quendor >/dev/null

  library=
  for name in quendor.dll libquendor.so; do
    [ -f "$first/lib/$name" ] && library=$name
  done
  [ -n "$library" ] || { echo "check_reproducible: no module library in $first/lib" >&2; exit 1; }
  if cmp -s "$first/lib/$library" "$second/lib/$library"; then
    echo "ok  $preset: $library identical in $first and $second" \
         "($(sha256sum <"$first/lib/$library" | cut -c1-16)...)"
  else
    echo "FAIL $preset: $library differs between $first and $second" >&2
    cmp -l "$first/lib/$library" "$second/lib/$library" | head -n5 >&2 || true
    status=1
  fi
done
exit $status

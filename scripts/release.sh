#!/usr/bin/env bash
# Makes every release package, writes SHA256SUMS beside them and tests them.
#
#   scripts/release.sh              packages in build/release/
#
# Builds the linux-x86, windows-x86 and default (64-bit Linux) presets in
# their usual trees (build/<preset>; up-to-date trees are reused, as CI does
# after its test stages), then runs CPack in the default and windows-x86
# trees:
#
#   quendor-<version>-win32.zip               the module, for musicians
#   wq_sdk2-<version>-win32.zip               the SDK for Windows (mingw i686)
#   wq-sdk2_<version>_amd64.deb               the SDK for Debian, 64-bit, with
#                                             that of the 32-bit targets beside it
#   wq_sdk2-<version>-linux-x86_64.tar.gz     the same SDK, to unpack anywhere
#
# File times in the packages are the commit's time (SOURCE_DATE_EPOCH, unless
# it is set already). Then it checks that a second build of the module
# library in another folder is identical (tests/release/check_reproducible.sh)
# and tests each package as its user uses it (tests/release/check_packages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/release
# The trees that make packages; the Linux ones also carry the SDK of the
# linux-x86 and windows-x86 trees, so those are built first.
presets=(default windows-x86)
built=(linux-x86 windows-x86 default)

scripts/setup.sh --cross --release

if ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "release: not a git checkout; the packages are made from a commit" >&2
  exit 1
fi
version=$(sed -n 's/^project(quendor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: warning: the work tree has changes; these packages match no commit" >&2
fi
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
echo "== release $version, commit $(git rev-parse --short HEAD), SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH =="

for preset in "${built[@]}"; do
  echo "== build $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

rm -rf "$out"
mkdir -p "$out"
for preset in "${presets[@]}"; do
  echo "== package $preset =="
  cpack --config "build/$preset/CPackConfig.cmake" -B "$out/cpack-$preset" >/dev/null
  find "$out/cpack-$preset" -maxdepth 1 -type f \( -name '*.zip' -o -name '*.deb' -o -name '*.tar.gz' \) \
    -exec mv {} "$out/" \;
  rm -rf "$out/cpack-$preset"
done
(cd "$out" && sha256sum -- *.zip *.deb *.tar.gz >SHA256SUMS)

echo "== reproducible module libraries =="
tests/release/check_reproducible.sh "${presets[@]}"
echo "== packages as their users use them =="
tests/release/check_packages.sh "$out" "$version" build/windows-x86

echo "== $out =="
cat "$out/SHA256SUMS"

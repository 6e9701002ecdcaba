#!/usr/bin/env bash
# Tests each release package the way its user uses it:
#
#   quendor-V-win32.zip     a musician unpacks it and the host loads the DLL:
#                           the 32-bit reference host (wqhost.exe of the
#                           Windows build tree) runs the demo session on it
#                           and validates it under wine; the DLL is the built
#                           one and carries the version in its resource.
#   wq_sdk2-V-win32.zip     a Windows author unpacks it into a fresh folder
#                           and builds the example module it holds against
#                           it (mingw), and the packaged wqhost.exe validates
#                           the module (under wine).
#   wq_sdk2-V-linux-x86_64.tar.gz   the same on Linux, natively; every
#                           installed header starts with its SPDX line; and
#                           for the host's 32-bit targets: a module from
#                           `wqhost new`, built with each installed toolchain
#                           file, is the right kind of library (a PE32 DLL
#                           exporting exactly the two functions) and passes
#                           its tests with the package's own 32-bit wqhost.
#   wq-sdk2_V_amd64.deb     unpacked with dpkg -x into a throw-away root; its
#                           control fields name the libraries wqhost needs;
#                           the example is built against the root's /usr.
#
#   tests/release/check_packages.sh <package dir> <version> <windows-x86 build tree>
#
# On a machine that does not run 32-bit programs (scripts/runs-32bit.sh),
# what runs a 32-bit program (wine, the 32-bit wqhost) is left out, each
# line says so, and the rest is checked as above.
#
# Every package is unpacked into a folder of its own under
# <package dir>/../package-checks, which is removed first. Fails at the first
# package that does not do its job; prints one line for each that does.
set -euo pipefail

if [ $# -ne 3 ]; then
  sed -n '2,20p' "$0" >&2
  exit 2
fi
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
packages=$(cd "$1" && pwd)
version=$2
windows_tree=$(cd "$3" && pwd)
work=$(dirname "$packages")/package-checks

wine_run=("$source_dir/cmake/wine-run.sh" "$windows_tree/wineprefix")
toolchain=$source_dir/cmake/mingw-i686.cmake
reference_host=$windows_tree/bin/wqhost.exe
[ -f "$reference_host" ] || reference_host=
if not_run=$("$source_dir/scripts/runs-32bit.sh" 2>&1); then
  runs_32bit=1
else
  runs_32bit=
  not_run=" (not run: $not_run)"
fi

fail() {
  echo "check_packages: $*" >&2
  exit 1
}

# Runs a command quietly; shows its output only when it fails.
quiet() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    fail "failed: $*"
  fi
  rm -f "$log"
}

unpack() { # archive folder
  rm -rf "$2"
  mkdir -p "$2"
  (cd "$2" && cmake -E tar xf "$1")
}

expect_files() { # folder file...
  local folder=$1
  shift
  local actual expected
  actual=$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  [ "$actual" = "$expected" ] || fail "$folder holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$expected"
}

expect_version_line() { # what output
  [ "$2" = "wqhost $version" ] || fail "$1 --version printed '$2', expected 'wqhost $version'"
}

# Builds the example module that a package ships, out of tree, and runs its
# validate test (wqhost validate through the package's own wqhost) when
# `run` is 1.
build_example() { # run example-dir build-dir cmake-args...
  local run=$1 example=$2 build=$3
  shift 3
  rm -rf "$build"
  quiet cmake -S "$example" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF "$@"
  quiet cmake --build "$build" -j2
  if [ "$run" = 1 ]; then
    quiet ctest --test-dir "$build" --output-on-failure -R '^doubler_validate$' --no-tests=error
  else
    [ "$(ctest --test-dir "$build" -N -R '^doubler_validate$' | sed -n 's/^Total Tests: //p')" = 1 ] ||
      fail "the example built in $build has no doubler_validate test"
  fi
}

# The package directory of wq_sdk2 that the example's configure found.
found_package_dir() {
  sed -n 's/^wq_sdk2_DIR:[A-Z]*=//p' "$1/CMakeCache.txt"
}

[ -n "$reference_host" ] || fail "no wqhost.exe in $windows_tree/bin"
rm -rf "$work"
mkdir -p "$work"

# --- the musician's zip ----------------------------------------------------
zip=$packages/quendor-$version-win32.zip
[ -f "$zip" ] || fail "$zip is missing"
dir=$work/musician
unpack "$zip" "$dir"
expect_files "$dir" quendor.dll README.txt LICENSE.txt
cmp -s "$dir/quendor.dll" "$windows_tree/lib/quendor.dll" ||
  fail "the zip's quendor.dll is not the one built in $windows_tree"
resource=$(i686-w64-mingw32-windres -i "$dir/quendor.dll" -O rc)
for field in "\"ProductName\", \"Quendor\"" "\"FileVersion\", \"$version\"" \
             "\"ProductVersion\", \"$version\"" "\"OriginalFilename\", \"quendor.dll\""; do
  grep -qF "VALUE $field" <<<"$resource" || fail "quendor.dll's version resource lacks $field"
done
if [ -n "$runs_32bit" ]; then
  quiet "${wine_run[@]}" "$reference_host" run "$dir/quendor.dll" "$source_dir/examples/demo.wqs"
  report=$("${wine_run[@]}" "$reference_host" validate "$dir/quendor.dll" 2>&1) ||
    fail "wqhost.exe validate failed on the zip's quendor.dll:"$'\n'"$report"
  grep -qE '^[0-9]+ passed, 0 failed, 0 skipped$' <<<"$report" ||
    fail "unexpected validate summary:"$'\n'"$report"
  echo "ok  $(basename "$zip"): the demo session and every check pass on its quendor.dll under wine"
else
  echo "ok  $(basename "$zip"): its quendor.dll is the one built, with its version; the demo session and validate under wine$not_run"
fi

# --- the Windows author's zip ------------------------------------------------
zip=$packages/wq_sdk2-$version-win32.zip
[ -f "$zip" ] || fail "$zip is missing"
dir=$work/windows-sdk
unpack "$zip" "$dir"
for f in bin/wqhost.exe lib/libwq_sdk2.a include/wq_sdk2/wq_interface.h \
         lib/cmake/wq_sdk2/wq_sdk2Config.cmake lib/cmake/wq_sdk2/wq_add_module.cmake \
         share/doc/wq_sdk2/writing-a-module.md share/doc/wq_sdk2/LICENSE \
         share/doc/wq_sdk2/examples/doubler_module/CMakeLists.txt; do
  [ -f "$dir/$f" ] || fail "$(basename "$zip") lacks $f"
done
[ -z "$runs_32bit" ] ||
  expect_version_line wqhost.exe "$("${wine_run[@]}" "$dir/bin/wqhost.exe" --version)"
# The cross toolchain looks for packages under the mingw root only, so the
# package folder is named directly; a Windows author's native mingw finds it
# through CMAKE_PREFIX_PATH.
build_example "${runs_32bit:-0}" "$dir/share/doc/wq_sdk2/examples/doubler_module" "$work/windows-example" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -Dwq_sdk2_DIR="$dir/lib/cmake/wq_sdk2" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=${wine_run[0]};${wine_run[1]}"
[ -f "$work/windows-example/doubler.dll" ] || fail "the example built no doubler.dll"
if [ -n "$runs_32bit" ]; then
  echo "ok  $(basename "$zip"): the example module builds against it and its wqhost.exe validates it"
else
  echo "ok  $(basename "$zip"): the example module builds against it; its wqhost.exe validating it$not_run"
fi

# --- the Linux author's tar.gz ---------------------------------------------------
tgz=$packages/wq_sdk2-$version-linux-x86_64.tar.gz
[ -f "$tgz" ] || fail "$tgz is missing"
dir=$work/linux-sdk
unpack "$tgz" "$dir"
prefix=$dir/wq_sdk2-$version-linux-x86_64
[ -d "$prefix" ] || fail "$(basename "$tgz") does not unpack into wq_sdk2-$version-linux-x86_64/"
expect_version_line wqhost "$("$prefix/bin/wqhost" --version)"
# Every header an author installs names its licence on its first line.
for header in "$prefix"/include/wq_sdk2/*.h; do
  head -n1 "$header" | grep -q 'SPDX-License-Identifier: MIT' ||
    fail "$(basename "$header") does not start with its SPDX licence line"
done
build_example 1 "$prefix/share/doc/wq_sdk2/examples/doubler_module" "$work/linux-example" \
  -DCMAKE_PREFIX_PATH="$prefix"
[ "$(found_package_dir "$work/linux-example")" = "$prefix/lib/cmake/wq_sdk2" ] ||
  fail "the example did not find wq_sdk2 in $prefix"
echo "ok  $(basename "$tgz"): the example module builds against it and its wqhost validates it"

# --- the host's 32-bit targets from the Linux package ---------------------------
# A module that `wqhost new` writes, built with each installed toolchain file
# out of tree: the toolchain finds the package's build of its target, whose
# own wqhost (the Windows one under wine) runs the module's tests: its strict
# validate and its session script.
toolchains=$prefix/share/wq_sdk2/toolchains
for target in linux-x86 windows-x86; do
  case $target in
    linux-x86) toolchain_file=$toolchains/linux-x86.cmake library=libprobe.so
               file_pattern='^ELF 32-bit LSB shared object, Intel 80386' ;;
    windows-x86) toolchain_file=$toolchains/mingw-i686.cmake library=probe.dll
                 file_pattern='^PE32 executable \(DLL\).*Intel 80386' ;;
  esac
  [ -f "$toolchain_file" ] || fail "$(basename "$tgz") lacks share/wq_sdk2/toolchains/$(basename "$toolchain_file")"
  project=$work/new-$target
  build=$work/new-$target-build
  rm -rf "$project" "$build"
  quiet "$prefix/bin/wqhost" new Probe "$project"
  quiet cmake -S "$project" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
  [ "$(found_package_dir "$build")" = "$prefix/share/wq_sdk2/$target/lib/cmake/wq_sdk2" ] ||
    fail "the $target build found wq_sdk2 in $(found_package_dir "$build"), not in the package's $target part"
  quiet cmake --build "$build" -j2
  [ -f "$build/$library" ] || fail "the $target build made no $library"
  type=$(file -b "$build/$library")
  grep -qE "$file_pattern" <<<"$type" || fail "$target: $library is '$type'"
  if [ "$target" = windows-x86 ]; then
    exports=$(i686-w64-mingw32-objdump -p "$build/$library" |
              sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
              sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort)
    [ "$exports" = $'getModuleProperties\nmakeModule' ] ||
      fail "$library exports:"$'\n'"$exports"$'\n'"expected getModuleProperties and makeModule"
  fi
  tests=$(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')
  [ "${tests:-0}" -eq 2 ] || fail "the $target build of the new module has $tests tests, expected its strict validate test and its session test"
  if [ -n "$runs_32bit" ]; then
    quiet ctest --test-dir "$build" --output-on-failure --no-tests=error
    echo "ok  $(basename "$tgz"): a new module builds for $target with the installed toolchain and passes its $tests tests there"
  else
    echo "ok  $(basename "$tgz"): a new module builds for $target with the installed toolchain and has its $tests tests; running them$not_run"
  fi
done

# --- the Debian package ----------------------------------------------------------
deb=$packages/wq-sdk2_${version}_amd64.deb
[ -f "$deb" ] || fail "$deb is missing"
[ "$(dpkg-deb -f "$deb" Package)" = wq-sdk2 ] || fail "$(basename "$deb") is not package wq-sdk2"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$(basename "$deb") has another version"
depends=$(dpkg-deb -f "$deb" Depends)
depend_names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for lib in libc6 libstdc++6 libedit2; do
  grep -qxF "$lib" <<<"$depend_names" || fail "$(basename "$deb") does not depend on $lib: $depends"
done
root=$work/deb-root
rm -rf "$root"
quiet dpkg -x "$deb" "$root"
[ -z "$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] ||
  fail "$(basename "$deb") installs outside /usr"
expect_version_line wqhost "$("$root/usr/bin/wqhost" --version)"
build_example 1 "$root/usr/share/doc/wq_sdk2/examples/doubler_module" "$work/deb-example" \
  -DCMAKE_PREFIX_PATH="$root/usr"
[ "$(found_package_dir "$work/deb-example")" = "$root/usr/lib/cmake/wq_sdk2" ] ||
  fail "the example did not find wq_sdk2 in $root/usr"
echo "ok  $(basename "$deb"): installs under /usr, declares its libraries; the example builds against it and validates"

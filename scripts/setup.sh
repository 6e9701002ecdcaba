#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Safe to run again; used by the demo, the test command and CI.
#
#   scripts/setup.sh               native build (default and asan presets):
#                                  cmake g++ make file libgtest-dev libgmock-dev
#                                  libbenchmark-dev libcli11-dev nlohmann-json3-dev
#                                  libedit-dev libcpp-httplib-dev libsndfile1-dev
#                                  libdw-dev
#   scripts/setup.sh --cross       also the 32-bit Linux and Windows toolchains
#                                  (g++-multilib, g++-mingw-w64-i686), wine with
#                                  its 32-bit part (wine, wine32:i386) and the
#                                  32-bit Google Benchmark (libbenchmark-dev:i386)
#                                  and WAV files (libsndfile1-dev:i386): presets
#                                  linux-x86, windows-x86, bench-linux-x86
#   scripts/setup.sh --hardening   also clang with libFuzzer (clang,
#                                  libclang-rt-14-dev: the fuzz preset) and valgrind
#                                  (scripts/fuzz.sh, scripts/valgrind.sh)
#   scripts/setup.sh --release     also dpkg-dev, whose dpkg-shlibdeps finds the
#                                  Debian package's dependencies (scripts/release.sh)
#   scripts/setup.sh --browser     also chromium, chromium-driver and python3-selenium
#                                  (the panel's browser test; skipped without them)
#   scripts/setup.sh --format      also clang-format-14 (scripts/format.sh)
#   scripts/setup.sh --list ...    prints the packages the options name, one a
#                                  line, and installs nothing
set -euo pipefail

cross=0
hardening=0
release=0
browser=0
format=0
list=0
for arg in "$@"; do
  case "$arg" in
    --cross) cross=1 ;;
    --hardening) hardening=1 ;;
    --release) release=1 ;;
    --browser) browser=1 ;;
    --format) format=1 ;;
    --list) list=1 ;;
    -h|--help) sed -n '2,26p' "$0"; exit 0 ;;
    *) echo "setup: unknown option $arg" >&2; exit 2 ;;
  esac
done

packages=(cmake g++ make file libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev libedit-dev libcpp-httplib-dev libsndfile1-dev
          libdw-dev)
if [ "$cross" -eq 1 ]; then
  # g++-multilib: -m32; g++-mingw-w64-i686: the Windows compilers (its -posix
  # variant is the one used); wine with its 32-bit part runs the Windows tests;
  # the i386 Google Benchmark for the 32-bit benchmarks (bench-linux-x86);
  # libsndfile1-dev:i386: WAV files in the -m32 build (mingw has none; the
  # host's own FloatWav serves there). No i386 libdw: it needs the i386 C
  # headers (libc6-dev:i386, linux-libc-dev:i386), which the mirrors often
  # carry at another version than the machine's amd64 ones, and Multi-Arch
  # refuses that; the 32-bit wqhost names a crashed module's call, not its
  # frames.
  packages+=(g++-multilib g++-mingw-w64-i686 wine wine32:i386 libbenchmark-dev:i386
             libsndfile1-dev:i386)
fi
if [ "$hardening" -eq 1 ]; then
  # clang and its runtime libraries: -fsanitize=fuzzer,address,undefined.
  packages+=(clang libclang-rt-14-dev valgrind)
fi
if [ "$release" -eq 1 ]; then
  packages+=(dpkg-dev)
fi
if [ "$browser" -eq 1 ]; then
  # Headless chromium driven from Debian's python3 (/usr/bin/python3).
  packages+=(chromium chromium-driver python3-selenium)
fi

if [ "$format" -eq 1 ]; then
  # One version, so that every machine formats the tree alike.
  packages+=(clang-format-14)
fi

if [ "$list" -eq 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if [ "$cross" -eq 1 ] && ! { [ "$(dpkg --print-architecture)" = i386 ] ||
                             dpkg --print-foreign-architectures | grep -qx i386; }; then
  echo "setup: adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"

# A mirror in the middle of a sync can fail one index of the update. Try a few
# times; if one index stays out of date, install from the release's own suite,
# so that the packages of two architectures never come from different updates
# (Multi-Arch packages must have one version on both).
install_args=(-y -q --no-install-recommends)
updated=0
for attempt in 1 2 3; do
  if $SUDO apt-get update -q; then
    updated=1
    break
  fi
  echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -eq 3 ] || sleep $((attempt * 10))
done
if [ "$updated" -eq 0 ]; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  echo "setup: some package lists could not be updated; installing from '${codename:-the default release}'" >&2
  [ -z "$codename" ] || install_args+=(-t "$codename")
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install "${install_args[@]}" "${missing[@]}"

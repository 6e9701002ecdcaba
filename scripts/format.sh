#!/usr/bin/env bash
# Formats every C and C++ source in the repository with the project's
# .clang-format, or with --check only reports the files that differ from it
# (exit 1) without changing them. One pinned clang-format version, so every
# machine formats alike.
#
#   scripts/format.sh           format in place
#   scripts/format.sh --check   list unformatted files; exit 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "format: unknown option $1" >&2; exit 2 ;;
esac

scripts/setup.sh --format
formatter=clang-format-14

mapfile -t files < <(git ls-files '*.h' '*.c' '*.cpp')
if [ "$check" -eq 0 ]; then
  "$formatter" -i "${files[@]}"
  exit 0
fi

unformatted=()
for f in "${files[@]}"; do
  "$formatter" --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'format: not formatted: %s\n' "${unformatted[@]}" >&2
  echo "format: run scripts/format.sh to format them" >&2
  exit 1
fi
echo "format: ${#files[@]} files formatted"

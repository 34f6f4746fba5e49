#!/usr/bin/env bash
# Formats every tracked C and C++ file with clang-format-14 and the tree's
# .clang-format (make format).  With --check it changes nothing, lists the
# files that formatting would change with the count of their changed lines,
# and exits 1 when there are any (make format-check).
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp')
if [[ "${1:-}" != --check ]]; then
  printf '%s\0' "${files[@]}" | xargs -0 -n 20 -P "$(nproc)" "$clang_format" -i
  exit 0
fi
total=0
for f in "${files[@]}"; do
  changed=$("$clang_format" "$f" | diff "$f" - | grep -c '^<' || true)
  if ((changed > 0)); then
    echo "$f: $changed line(s)"
    total=$((total + changed))
  fi
done
echo "formatting would change $total line(s)"
((total == 0))

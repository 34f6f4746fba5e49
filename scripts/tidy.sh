#!/usr/bin/env bash
# clang-tidy-14 with the tree's .clang-tidy over every source file of the
# build's compile_commands.json (the generated ones left out), on all cores
# (make tidy; CI).  Prints each finding once and exits 1 when there are any.
#   scripts/tidy.sh BUILD [FILE-REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
files=${2:-.*}
[ -f "$build/compile_commands.json" ] || {
  echo "tidy: $build/compile_commands.json is missing; configure the build first" >&2
  exit 2
}
source_dir=$(pwd)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
mapfile -t sources < <(python3 - "$build/compile_commands.json" "$source_dir" "$files" <<'PY'
import json, os, re, sys
entries, root, wanted = json.load(open(sys.argv[1])), sys.argv[2], re.compile(sys.argv[3])
build = os.path.realpath(os.path.dirname(sys.argv[1]))
for name in sorted({os.path.realpath(e["file"]) for e in entries}):
    if name.startswith(root + "/") and not name.startswith(build + "/") and wanted.search(name):
        print(name)
PY
)
run-clang-tidy-14 -quiet -p "$build" -j "$(nproc)" "${sources[@]}" >"$out" 2>/dev/null || true
# A header's finding is reported by every source including it: once is
# enough.  run-clang-tidy always colours its output: the colours go.
findings=$(sed "s/\x1b\[[0-9;]*m//g" "$out" | grep -E '^/.*: (warning|error): ' | sort -u || true)
if [ -n "$findings" ]; then
  echo "$findings"
  echo "tidy: $(echo "$findings" | wc -l) finding(s) in ${#sources[@]} file(s)" >&2
  exit 1
fi
echo "tidy: ${#sources[@]} file(s) clean"

#!/usr/bin/env bash
# `instkit init` as a new user meets it: installs the build folder BUILD into a
# temporary prefix, makes a project with the installed instkit, follows its
# README (build the library with find_package, install, uninstall), and checks
# that init refuses to write over an existing project.
# Run by ctest (tests/install/install_tests.cmake): init_project.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/instkit-init-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH
instkit=$prefix/bin/instkit

"$instkit" init "$work/hello"
echo "changed" >"$work/hello/README"
if "$instkit" init "$work/hello" 2>/dev/null; then
  echo "init wrote over an existing project" >&2
  exit 1
fi
test "$(cat "$work/hello/README")" = "changed"
test "$(ls -A "$work" | grep -c instkit-init || true)" = 0  # no staging folder left

cd "$work/hello"
"$instkit" check setup.idf
cmake -S library -B build -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build build >/dev/null
keep=(--library-path build --registry "$work/registry.db" --links-root "$work/links" --yes)
"$instkit" install setup.idf --path "$work/target" "${keep[@]}"
cmp payload/hello.txt "$work/target/hello.txt"
"$instkit" uninstall setup.idf --path "$work/target" "${keep[@]}"
test ! -e "$work/target/hello.txt"
echo "init project check passed"

#!/usr/bin/env bash
# An installation works where it is put: installs the build folder BUILD into
# a temporary prefix, then, against that prefix only,
#   - builds the example subsystem library examples/files on its own with
#     find_package(instkit) and runs it through the installed instkit;
#   - builds a small program with pkg-config and runs it.
# Run by ctest (tests/install/install_tests.cmake): scripts/install-check.sh BUILD
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/instkit-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH
instkit=$prefix/bin/instkit
"$instkit" --version

echo "== examples/files with find_package(instkit)"
cmake -S "$source_dir/examples/files" -B "$work/files" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/files" >/dev/null
run=$work/run
mkdir -p "$run/payload/sub"
echo one >"$run/payload/a.txt"
echo two >"$run/payload/sub/b.txt"
printf '%s\r\n' IDF-FPS-text '' '[SubSystems]' 'Files=1' '[Files]' 'Parent=0' 'Library=files' \
  'Parameter=payload' 'Short name=Files' >"$run/setup.idf"
keep=(--library-path "$work/files" --registry "$work/registry.db" --links-root "$work/links" --yes)
"$instkit" install "$run/setup.idf" --path "$work/target" "${keep[@]}" >/dev/null
cmp "$run/payload/sub/b.txt" "$work/target/sub/b.txt"
"$instkit" uninstall "$run/setup.idf" --path "$work/target" "${keep[@]}" >/dev/null
test ! -e "$work/target/sub/b.txt"

echo "== a program built with pkg-config"
pc=$(find "$prefix" -name instkit.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir instkit)
# shellcheck disable=SC2046
c++ "$source_dir/tests/install/pkg_config_consumer.cpp" -o "$work/consumer" \
  $(pkg-config --cflags --libs instkit) -Wl,-rpath,"$libdir"
# A UTF-8 description: the program reads it converted to Windows-1251.
printf '%s\r\n' IDF-FPS-text '' '[SubSystems]' 'Ядро=1' '[Ядро]' 'Short name=Ядро системы' >"$run/utf8.idf"
out=$("$work/consumer" "$run/utf8.idf")
echo "$out"
test "$out" = "UTF-8: 1 subsystem(s): 1 Ядро системы"
echo "install check passed"

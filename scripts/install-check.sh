#!/usr/bin/env bash
# An installation works where it is put.  Installs the build folder BUILD into
# a temporary prefix, then, against that prefix only and as a user would:
#   consumers  builds the example subsystem library examples/files on its own
#              with find_package(instkit) and runs it through the installed
#              instkit; builds a small program with pkg-config and runs it;
#   init       makes a project with `instkit init`, follows its README (build
#              the library with find_package, install, uninstall) and checks
#              that init refuses to write over an existing project.
# Run by ctest (tests/install/install_tests.cmake):
#   scripts/install-check.sh BUILD consumers|init
set -euo pipefail
build=$(cd "$1" && pwd)
check=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/instkit-install-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH
instkit=$prefix/bin/instkit
"$instkit" --version
# The runs keep their registry and links inside the work folder.
keep=(--registry "$work/registry.db" --links-root "$work/links" --yes)

consumers() {
  echo "== examples/files with find_package(instkit)"
  cmake -S "$source_dir/examples/files" -B "$work/files" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/files" >/dev/null
  local run=$work/run
  mkdir -p "$run/payload/sub"
  echo one >"$run/payload/a.txt"
  echo two >"$run/payload/sub/b.txt"
  printf '%s\r\n' IDF-FPS-text '' '[SubSystems]' 'Files=1' '[Files]' 'Parent=0' 'Library=files' \
    'Parameter=payload' 'Short name=Files' >"$run/setup.idf"
  "$instkit" install "$run/setup.idf" --path "$work/target" --library-path "$work/files" "${keep[@]}" >/dev/null
  cmp "$run/payload/sub/b.txt" "$work/target/sub/b.txt"
  "$instkit" uninstall "$run/setup.idf" --path "$work/target" --library-path "$work/files" "${keep[@]}" >/dev/null
  test ! -e "$work/target/sub/b.txt"

  echo "== a program built with pkg-config"
  local pc libdir out
  pc=$(find "$prefix" -name instkit.pc)
  export PKG_CONFIG_PATH
  PKG_CONFIG_PATH=$(dirname "$pc")
  libdir=$(pkg-config --variable=libdir instkit)
  # shellcheck disable=SC2046
  c++ "$source_dir/tests/install/pkg_config_consumer.cpp" -o "$work/consumer" \
    $(pkg-config --cflags --libs instkit) -Wl,-rpath,"$libdir"
  # A UTF-8 description: the program reads it converted to Windows-1251.
  printf '%s\r\n' IDF-FPS-text '' '[SubSystems]' 'Ядро=1' '[Ядро]' 'Short name=Ядро системы' >"$run/utf8.idf"
  out=$("$work/consumer" "$run/utf8.idf")
  echo "$out"
  test "$out" = "UTF-8: 1 subsystem(s): 1 Ядро системы"
}

init() {
  "$instkit" init "$work/hello"
  echo "changed" >"$work/hello/README"
  if "$instkit" init "$work/hello" 2>/dev/null; then
    echo "init wrote over an existing project" >&2
    return 1
  fi
  test "$(cat "$work/hello/README")" = "changed"
  test -z "$(find "$work" -maxdepth 1 -name '*instkit-init*')"  # no staging folder left
  cd "$work/hello"
  "$instkit" check setup.idf
  cmake -S library -B build -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build build >/dev/null
  "$instkit" install setup.idf --path "$work/target" --library-path build "${keep[@]}"
  cmp payload/hello.txt "$work/target/hello.txt"
  "$instkit" uninstall setup.idf --path "$work/target" --library-path build "${keep[@]}"
  test ! -e "$work/target/hello.txt"
}

case "$check" in
  consumers | init) "$check" ;;
  *) echo "usage: $0 BUILD consumers|init" >&2; exit 2 ;;
esac
echo "install check '$check' passed"

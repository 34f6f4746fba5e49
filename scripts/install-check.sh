#!/usr/bin/env bash
# An installation works where it is put.  Installs the build folder BUILD into
# a temporary prefix, then, against that prefix only and as a user would:
#   consumers  builds the example subsystem library examples/files on its own
#              with find_package(instkit) and runs it through the installed
#              instkit; builds a small program with pkg-config and runs it;
#   init       makes a project with `instkit init`, follows its README (build
#              the library with find_package, install, uninstall) and checks
#              that init refuses to write over an existing project;
#   guide      does what docs/first-installation.md says, word for word: its
#              files (the blocks after `<!-- guide: file NAME -->`) written,
#              its commands (the blocks after `<!-- guide: run -->`) run in
#              one shell, with a home folder of its own and the prefix's bin
#              on PATH, then checks what the install and uninstall left, and
#              that the example of docs/description-format.md is clean.
# Run by ctest (tests/install/install_tests.cmake):
#   scripts/install-check.sh BUILD consumers|init|guide
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

guide() {
  local page=$source_dir/docs/first-installation.md script=$work/guide.sh
  # Each marked block becomes a here-document into its file (named from the
  # folder the reader starts in) or the commands as they are; a check comment
  # is a command the reader does not see; an unmarked block is prose.
  awk '
    /^<!-- guide: file .* -->$/ { target = $4; next }
    /^<!-- guide: run -->$/ { target = "-"; next }
    /^<!-- guide: check .* -->$/ { sub(/^<!-- guide: check /, ""); sub(/ -->$/, ""); print; next }
    /^```/ && !inside { inside = 1
      if (target != "" && target != "-") {
        d = target; sub(/\/[^\/]*$/, "", d)
        print "mkdir -p \"$GUIDE_ROOT/" d "\"; cat >\"$GUIDE_ROOT/" target "\" <<'\''GUIDE_END'\''"
      }
      next }
    /^```/ && inside { inside = 0
      if (target != "" && target != "-") print "GUIDE_END"
      target = ""; next }
    inside && target != "" { print }
  ' "$page" >"$script"
  grep -q 'instkit install' "$script" && grep -q 'instkit uninstall' "$script"
  mkdir -p "$work/home"
  (
    cd "$work/home"
    export HOME=$work/home PATH=$prefix/bin:$PATH GUIDE_ROOT=$work/home
    unset XDG_STATE_HOME XDG_DATA_HOME XDG_DESKTOP_DIR CMAKE_PREFIX_PATH
    bash -euo pipefail -x "$script"
  )
  # The complete example of the description format reads without a finding
  # (its archives left out: there are no media beside it).
  awk '/^```ini$/ { inside = 1; next } /^```$/ { inside = 0 } inside && !/^Archive=/' \
    "$source_dir/docs/description-format.md" >"$work/example.idf"
  "$instkit" check "$work/example.idf"
  # The install made the menu link and recorded the product; the uninstall
  # took all of it back.
  test -d "$work/home/greetings-app"
  test -z "$(find "$work/home/greetings-app" -type f)"
  test -z "$(find "$work/home/.local/share/applications" -name 'instkit-Greetings-*' 2>/dev/null)"
  HOME=$work/home "$instkit" status | grep -q 'Greetings' && return 1
  return 0
}

case "$check" in
  consumers | init | guide) "$check" ;;
  *) echo "usage: $0 BUILD consumers|init|guide" >&2; exit 2 ;;
esac
echo "install check '$check' passed"

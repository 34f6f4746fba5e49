#!/usr/bin/env bash
# The Debian package as a user meets it: installs BUILD/instkit_*.deb (made by
# `make package`) with dpkg, runs the installed instkit (its version, its man
# page and completion in place, the demo with the example libraries of BUILD),
# then removes the package again, also when a step fails.
#   scripts/package-check.sh BUILD      (as root or with sudo; used by .ci/run)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
deb=$(ls -t "$build"/instkit_*.deb | head -n 1)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if dpkg-query -W -f='${Status}' instkit 2>/dev/null | grep -q "install ok installed"; then
  echo "package-check: an instkit package is already installed; not touching it" >&2
  exit 1
fi
$sudo dpkg -i "$deb" >/dev/null
trap '$sudo dpkg -r instkit >/dev/null && $sudo dpkg --purge instkit >/dev/null' EXIT
unset LD_LIBRARY_PATH
test "$(command -v instkit)" = /usr/bin/instkit
instkit --version
test -f /usr/share/man/man1/instkit.1
test -f /usr/share/man/man1/instkit-install.1
test -f /usr/share/bash-completion/completions/instkit
pkg-config --exists instkit
"$here/demo.sh" /usr/bin/instkit "$here/../examples/demo" "$build/examples/lib" >/dev/null
echo "package check passed: $(basename "$deb")"

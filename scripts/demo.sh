#!/usr/bin/env bash
# make demo: installs the demo description into a temporary folder with the
# example subsystem libraries, shows the summary, the installed files and the
# log, then uninstalls it again.
set -euo pipefail
# scripts/demo.sh INSTKIT DEMO_DIR [LIBRARY_DIR [MEDIA_DIR]]: the example
# subsystem libraries are taken from LIBRARY_DIR, else from the build of
# INSTKIT; the archives (packed at build time, examples/demo/CMakeLists.txt)
# from MEDIA_DIR, else from beside LIBRARY_DIR.
instkit=$1
demo=$2
libs=${3:-$(cd "$(dirname "$instkit")/.." && pwd)/examples/lib}
media=${4:-$(dirname "$libs")/demo/media}
work=$(mktemp -d "${TMPDIR:-/tmp}/instkit-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== instkit idf show $demo/setup.idf"
"$instkit" idf show "$demo/setup.idf"

echo
echo "== instkit catalogue $demo/setup.idf"
"$instkit" catalogue "$demo/setup.idf"

echo
echo "== instkit check $demo/setup.idf --media $media"
"$instkit" check "$demo/setup.idf" --media "$media"

# The registry and the menu/desktop links stay inside the work folder.
keep=(--registry "$work/registry.db" --links-root "$work/links")

echo
echo "== instkit plan $demo/setup.idf --deselect 11"
"$instkit" plan "$demo/setup.idf" --deselect 11

echo
echo "== instkit install $demo/setup.idf --media $media --path $work/target --no --deselect 11"
"$instkit" install "$demo/setup.idf" --media "$media" --path "$work/target" --no \
  --library-path "$libs" --log "$work/install.log" --session demo --client 1 "${keep[@]}" --deselect 11

echo
echo "== instkit status"
"$instkit" status --registry "$work/registry.db"

echo
echo "== installed files"
(cd "$work/target" && find . -type f | sort | sed 's|^\./|  |')

echo
echo "== instkit verify (the unpacked files against the manifest)"
"$instkit" verify --registry "$work/registry.db"

echo
echo "== install log (Windows-1251 shown as UTF-8)"
iconv -f CP1251 -t UTF-8 "$work/install.log"

echo
echo "== instkit uninstall $demo/setup.idf --path $work/target --no --deselect 11"
"$instkit" uninstall "$demo/setup.idf" --path "$work/target" --no \
  --library-path "$libs" --log "$work/uninstall.log" --session demo --client 1 "${keep[@]}" --deselect 11

echo
echo "== instkit status"
"$instkit" status --registry "$work/registry.db"

echo
echo "== left in the target folder after uninstall"
left=$(cd "$work/target" && find . -mindepth 1 | sort)
if [ -z "$left" ]; then echo "  (nothing)"; else echo "$left" | sed 's|^\./|  |'; fi

# Form trees: a tree section goes into a form store, out to a tree file and
# back into an IDF text file.
tree_tmp=$(mktemp -d)
echo "== instkit tree from-idf / save / show / to-idf (form store in $tree_tmp)"
"$instkit" tree from-idf --idf "$demo/form.idf" --section Orders --db "$tree_tmp/forms.db" --form 1 --name Orders
"$instkit" tree save --db "$tree_tmp/forms.db" --form 1 --name Orders -o "$tree_tmp/orders.tree"
"$instkit" tree show "$tree_tmp/orders.tree"
"$instkit" tree to-idf --db "$tree_tmp/forms.db" --form 1 --name Orders --idf "$tree_tmp/orders.idf" --section Orders
"$instkit" idf show "$tree_tmp/orders.idf"
rm -rf "$tree_tmp"

#!/usr/bin/env bash
# make demo: shows the demo installation description.
set -euo pipefail
instkit=$1
demo=$2
echo "== instkit idf show $demo/setup.idf"
"$instkit" idf show "$demo/setup.idf"

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

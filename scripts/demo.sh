#!/usr/bin/env bash
# make demo: shows the demo installation description.
set -euo pipefail
instkit=$1
demo=$2
echo "== instkit idf show $demo/setup.idf"
"$instkit" idf show "$demo/setup.idf"
echo "== instkit catalogue $demo/setup.idf"
"$instkit" catalogue "$demo/setup.idf"
echo "== instkit check $demo/setup.idf"
"$instkit" check "$demo/setup.idf"

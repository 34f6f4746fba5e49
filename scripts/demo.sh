#!/usr/bin/env bash
# make demo: shows the demo installation description.
set -euo pipefail
instkit=$1
demo=$2
echo "== instkit idf show $demo/setup.idf"
"$instkit" idf show "$demo/setup.idf"

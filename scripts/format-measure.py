#!/usr/bin/env python3
"""Counts the lines of the tracked C and C++ files that clang-format would
change under a style, so that .clang-format can be chosen to match the code.

    scripts/format-measure.py                      # the tree's .clang-format
    scripts/format-measure.py '{"ColumnLimit": 100}' '{"SortIncludes": "CaseSensitive"}'

Each JSON argument is tried on top of .clang-format, one at a time."""
import difflib, json, os, subprocess, sys
from concurrent.futures import ThreadPoolExecutor

import yaml  # python3-yaml

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
files = subprocess.run(["git", "ls-files", "*.c", "*.h", "*.cpp"], capture_output=True, text=True,
                       check=True).stdout.split()
base = subprocess.run(["clang-format-14", "--dump-config"], capture_output=True, text=True,
                      check=True).stdout


def changed_lines(style, name):
    with open(name, encoding="utf-8", errors="surrogateescape") as f:
        before = f.read()
    after = subprocess.run(["clang-format-14", "--style=" + style, "--assume-filename=" + name], input=before,
                           capture_output=True, text=True, errors="surrogateescape", check=True).stdout
    matcher = difflib.SequenceMatcher(None, before.splitlines(), after.splitlines(), autojunk=False)
    return sum(i2 - i1 for tag, i1, i2, _, _ in matcher.get_opcodes() if tag != "equal")


def measure(extra):
    style = "file"
    if extra:  # the tree's options with the extra ones replacing theirs
        options = yaml.safe_load(base)
        options.update(json.loads(extra))
        style = json.dumps(options)
    with ThreadPoolExecutor(os.cpu_count()) as pool:
        return sum(pool.map(lambda name: changed_lines(style, name), files))


print("the tree's .clang-format:", measure(None))
for extra in sys.argv[1:]:
    print(extra + ":", measure(extra))

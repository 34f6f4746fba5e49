#!/usr/bin/env python3
"""Checks the relative links of README.md and docs/**/*.md: every linked file
exists, and every #anchor names a heading of its page (GitHub's anchors:
lower case, punctuation dropped, blanks as '-').  Prints each broken link as
FILE:LINE: target and exits 1 when there is one.  Run by ctest (docs_links)."""
import os, re, sys

root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
pages = [os.path.join(root, "README.md")]
for folder, _, names in os.walk(os.path.join(root, "docs")):
    pages += [os.path.join(folder, n) for n in names if n.endswith(".md")]


def anchors(page):
    found, inside = set(), False
    for line in open(page, encoding="utf-8"):
        if line.startswith("```"):
            inside = not inside
        elif not inside and line.startswith("#"):
            title = line.lstrip("#").strip().lower()
            found.add(re.sub(r"\s", "-", re.sub(r"[^\w\s-]", "", title)))
    return found


broken = 0
for page in sorted(pages):
    inside = False
    for number, line in enumerate(open(page, encoding="utf-8"), 1):
        if line.startswith("```"):
            inside = not inside
            continue
        if inside:
            continue
        for target in re.findall(r"\]\(([^)\s]+)\)", line):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            full = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            ok = os.path.exists(full)
            if ok and anchor and full.endswith(".md"):
                ok = anchor in anchors(full)
            if not ok:
                print(f"{os.path.relpath(page, root)}:{number}: {target}")
                broken += 1
sys.exit(1 if broken else 0)

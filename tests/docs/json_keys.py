#!/usr/bin/env python3
"""The JSON contract of docs/json.md, tried: runs each command of the table
between its "json-keys" markers, in the table's order, in a folder holding
the demo description with its libraries and archives, a data file, a tree file and a form
store, and checks that what it prints parses and has every key the table
lists ("a[].b": every element of the array a has b, and some element
exists).  Run by ctest (docs_json_keys):

    json_keys.py INSTKIT SOURCE_DIR EXAMPLE_LIBRARY_DIR
"""
import json, os, re, shlex, shutil, sqlite3, subprocess, sys, tempfile

instkit, source, libraries = (os.path.abspath(a) for a in sys.argv[1:4])


def rows():
    text = open(os.path.join(source, "docs", "json.md"), encoding="utf-8").read()
    table = text.split("<!-- json-keys: begin -->")[1].split("<!-- json-keys: end -->")[0]
    for line in table.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 2 and cells[0].startswith("`instkit"):
            yield cells[0].strip("`"), re.findall(r"`([^`]+)`", cells[1])


def missing(value, path):
    """The parts of path that value lacks, as texts; empty when it has them all."""
    head, _, rest = path.partition(".")
    if head.endswith("[]") or head == "[]":
        name = head[:-2]
        if name:
            if not isinstance(value, dict) or name not in value:
                return [name]
            value = value[name]
        if not isinstance(value, list) or not value:
            return [(name or "the document") + " is not a non-empty array"]
        return [m for element in value for m in (missing(element, rest) if rest else [])]
    if not isinstance(value, dict) or head not in value:
        return [head]
    return missing(value[head], rest) if rest else []


def main():
    work = tempfile.mkdtemp(prefix="instkit-json-keys.")
    try:
        folder = os.path.join(work, "run")
        shutil.copytree(os.path.join(source, "examples", "demo"), folder)
        # The libraries and the demo's archives (made at build time, when the
        # demo has them) beside the description, where a run looks first.
        media = os.path.join(os.path.dirname(libraries), "demo", "media")
        for place in (libraries, media):
            for name in os.listdir(place) if os.path.isdir(place) else []:
                shutil.copy(os.path.join(place, name), folder)
        env = dict(os.environ, HOME=os.path.join(work, "home"))
        for name in ("XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_DESKTOP_DIR"):
            env.pop(name, None)

        def run(command, check=True):
            args = shlex.split(command)
            return subprocess.run([instkit] + args[1:], cwd=folder, env=env, capture_output=True,
                                  text=True, check=check)

        db = sqlite3.connect(os.path.join(folder, "app.db"))
        db.execute("CREATE TABLE people (name TEXT, age INTEGER, score REAL)")
        db.executemany("INSERT INTO people VALUES (?, ?, ?)", [("Анна", 31, 2.5), ("Bob", 45, 1.0)])
        db.commit()
        db.close()
        run("instkit data export --db app.db --table people -o people.idf")
        run("instkit tree from-idf --idf form.idf --section Orders --db forms.db --form 1 --name Orders")
        run("instkit tree save --db forms.db --form 1 --name Orders -o orders.tree")

        failures = 0
        for command, keys in rows():
            result = run(command, check=False)
            try:
                document = json.loads(result.stdout)
            except ValueError as e:
                print(f"{command}: not JSON ({e}); stderr: {result.stderr.strip()}")
                failures += 1
                continue
            lacking = [f"{key} ({', '.join(missing(document, key))})" for key in keys if missing(document, key)]
            if lacking:
                print(f"{command}: lacks {'; '.join(lacking)}")
                failures += 1
            else:
                print(f"{command}: {len(keys)} keys")
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


sys.exit(main())

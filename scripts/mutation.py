#!/usr/bin/env python3
"""How many faults does the test suite catch?  A small mutation tester.

    scripts/mutation.py [--build DIR] [--only ID[,ID...]] [--list FILE] [--report FILE]
    scripts/mutation.py --generate N > scripts/mutations.txt

Each line of the mutation list (scripts/mutations.txt) is one mutant:

    ID <TAB> FILE <TAB> BEFORE <TAB> AFTER

BEFORE is a piece of one source line and AFTER what it becomes.  The piece
is looked for in FILE and, when FILE no longer holds it (files move), in
every library source; blanks match any run of blanks (line breaks included),
so a reformatted tree still finds its mutants.  A mutant whose piece is found
nowhere, or more than once, is reported as "gone" and not counted.

For each mutant the script patches the source, rebuilds the library (and
the command line) in a build folder of its own, runs the tests through
ctest (those of the mutated folder first) and restores the source.  A
mutant that a test fails on is "killed"; one that does not compile
is "stillborn" (not counted; one that compiles but fails a build step that
runs the program, such as packing the demo's media, is killed); the
others "survived" and each needs a test or a written reason (an equivalent
mutant).

--generate picks N candidate mutants from the library's sources with a fixed
seed, spread over the modules by size: flipped comparisons, a dropped "!",
constants changed by one, "&&" swapped with "||", and calls removed.  The
committed list is what the figures refer to; regenerate it only on purpose.
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIBRARY_DIRS = ["host", "Tidf", "Syslist", "Dllload", "Viewlist", "Didf", "Engine", "Media"]


def library_sources():
    out = []
    for top in LIBRARY_DIRS:
        base = os.path.join(ROOT, top)
        for folder, _, files in os.walk(base):
            if os.sep + "windows" in folder or "no_sqlite" in folder:
                continue
            for name in sorted(files):
                if name.endswith((".cpp", ".h")):
                    out.append(os.path.relpath(os.path.join(folder, name), ROOT))
    return sorted(out)


def pattern_of(piece):
    parts = [re.escape(p) for p in piece.split()]
    return re.compile(r"\s+".join(parts))


def locate(path, before):
    """(file, match) of the one place holding `before`, else (None, reason)."""
    regex = pattern_of(before)
    candidates = [path] if os.path.exists(os.path.join(ROOT, path)) else []
    candidates += [f for f in library_sources() if f != path]
    for candidate in candidates:
        text = open(os.path.join(ROOT, candidate), encoding="latin-1").read()
        hits = list(regex.finditer(text))
        if len(hits) == 1:
            return candidate, hits[0]
        if len(hits) > 1:
            return None, "found %d times in %s" % (len(hits), candidate)
    return None, "found nowhere"


def read_list(path):
    mutants = []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 4:
            sys.exit("%s:%d: expected ID, FILE, BEFORE, AFTER separated by tabs" % (path, number))
        mutants.append(fields)
    return mutants


def run(command, cwd, timeout):
    try:
        done = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout)
        return done.returncode
    except subprocess.TimeoutExpired:
        return -1


def configure(build):
    if os.path.exists(os.path.join(build, "build.ninja")):
        return
    # Tests link the library dynamically: a mutant rebuilds one object and the
    # library, never the test programs.
    # Without debug information and with lld where it is installed, the
    # relinking that every mutant costs takes seconds instead of a minute.
    command = ["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
               "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g0 -DNDEBUG", "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g0 -DNDEBUG",
               "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON", "-DINSTKIT_BUILD_BENCH=OFF"]
    if shutil.which("ld.lld"):
        command += ["-D%s=-fuse-ld=lld" % flags for flags in ("CMAKE_EXE_LINKER_FLAGS", "CMAKE_SHARED_LINKER_FLAGS",
                                                                "CMAKE_MODULE_LINKER_FLAGS")]
    subprocess.check_call(command, stdout=subprocess.DEVNULL)


def first_failed_test(build):
    """The test that killed the mutant, kept in the report: a mutant whose
    killer did not change need not be measured again after a test edit."""
    try:
        lines = open(os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")).read().split()
        return lines[0].split(":", 1)[1] if lines else ""
    except OSError:
        return ""


def run_tests(build, module):
    """("killed", test) or ("survived", ""): the tests of the mutant's own
    folder (labelled with its name) first, as they kill most mutants within
    seconds, then the others."""
    jobs = str((os.cpu_count() or 2) + 1)  # some tests wait on processes
    label = "^%s$" % module
    for selection in (["-L", label], ["-LE", label]):
        code = run(["ctest", "--test-dir", build, "-j", jobs, "--timeout", "60", "--stop-on-failure"] + selection,
                   ROOT, 1800)
        if code != 0:
            return "killed", first_failed_test(build)
    return "survived", ""


def measure(args):
    build = os.path.abspath(args.build)
    # A cache of the run's own: a run stopped while a mutated source was
    # compiling can leave ccache an object of the mutant filed under the
    # restored source, which a shared cache would hand to other builds.
    os.environ["CCACHE_DIR"] = os.path.join(build, "ccache")
    configure(build)
    if run(["cmake", "--build", build], ROOT, 3600) != 0:
        sys.exit("the unmutated tree does not build in %s" % build)
    if run(["ctest", "--test-dir", build, "-j", str(os.cpu_count() or 2), "--timeout", "120"], ROOT, 3600) != 0:
        sys.exit("the unmutated tree fails its tests: fix that first")
    mutants = read_list(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m[0] in wanted]
    results = []
    for ident, path, before, after in mutants:
        started = time.time()
        killer = ""
        where, match = locate(path, before)
        if where is None:
            results.append((ident, "gone", path, match))
            print("%-6s gone       %s (%s)" % (ident, path, match), flush=True)
            write_report(args.report, results)
            continue
        full = os.path.join(ROOT, where)
        original = open(full, "rb").read()
        text = original.decode("latin-1")
        mutated = text[:match.start()] + after + text[match.end():]
        try:
            open(full, "wb").write(mutated.encode("latin-1"))
            try:
                built = subprocess.run(["cmake", "--build", build], cwd=ROOT, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, timeout=1800)
                build_failed, build_log = built.returncode != 0, built.stdout
            except subprocess.TimeoutExpired as expired:
                build_failed, build_log = True, (expired.output or b"") + b"\n(timed out)\n"
            if build_failed and not re.search(rb": (fatal )?error: ", build_log):
                # It compiled, but a step of the build that runs the program
                # (packing the demo's media) failed on it: a kill.
                verdict, killer = "killed", "(a build step running the program)"
            elif build_failed:
                # Kept for a look: a mutant that does not compile is not counted.
                open(os.path.join(build, "stillborn-%s.log" % ident), "wb").write(build_log)
                verdict = "stillborn"
            else:
                verdict, killer = run_tests(build, where.split("/")[0])
        finally:
            open(full, "wb").write(original)
            # The restored file must look new to ninja, or the next build
            # would keep the mutant's object.
            os.utime(full, None)
        results.append((ident, verdict, where, "%s -> %s" % (before, after), killer))
        print("%-6s %-10s %s: %s -> %s (%.0fs) %s" % (ident, verdict, where, before, after, time.time() - started,
                                                     killer), flush=True)
        write_report(args.report, results)
    run(["cmake", "--build", build], ROOT, 3600)
    print(write_report(args.report, results))


def write_report(path, results):
    """Writes the results so far (after every mutant: a long run that is
    stopped keeps what it measured) and returns the summary line."""
    counted = [r for r in results if r[1] in ("killed", "survived")]
    killed = sum(1 for r in counted if r[1] == "killed")
    summary = "killed %d of %d counted mutants (%d stillborn, %d gone)" % (
        killed, len(counted), sum(1 for r in results if r[1] == "stillborn"),
        sum(1 for r in results if r[1] == "gone"))
    if path:
        with open(path, "w", encoding="utf-8") as out:
            for r in results:
                out.write("\t".join(r) + "\n")
            out.write("# " + summary + "\n")
    return summary


# --generate: candidate sites, each a regex over one line and its mutation.
OPERATORS = [
    ("flip", re.compile(r" (<|>|<=|>=) "), {"<": "<=", ">": ">=", "<=": "<", ">=": ">"}),
    ("negate", re.compile(r" (==|!=) "), {"==": "!=", "!=": "=="}),
    ("logic", re.compile(r" (&&|\|\|) "), {"&&": "||", "||": "&&"}),
    ("not", re.compile(r"(!)[A-Za-z_(]"), {"!": ""}),
    ("const", re.compile(r"[^\w.](\d+)[^\w.]"), None),
    ("drop", re.compile(r"^\s+([A-Za-z_][\w:.>-]*\(.*\);)\s*$"), None),
]


def candidates_of(path):
    out = []
    lines = open(os.path.join(ROOT, path), encoding="latin-1").read().split("\n")
    previous = ""
    for line in lines:
        stripped = line.strip()
        # Whether the line starts a statement (not the tail of a wrapped one).
        starts_statement = previous.endswith((";", "{", "}", ")")) or previous == ""
        if stripped:
            previous = stripped
        if (not stripped or stripped.startswith(("//", "#", "*", "static_assert")) or "\t" in line
                or '"' in stripped and stripped.count('"') % 2):
            continue
        for kind, regex, table in OPERATORS:
            hit = regex.search(line)
            if not hit:
                continue
            token = hit.group(1)
            if kind == "drop":
                if (not starts_statement or stripped.startswith(("return", "delete", "throw"))
                        or "=" in stripped.split("(")[0]):
                    continue
                mutated = "(void)0;"
                before = stripped
            elif kind == "const":
                if int(token) > 100000:
                    continue
                mutated_token = str(int(token) + 1)
                start, end = hit.span(1)
                before = line[:end].strip()
                mutated = (line[:start] + mutated_token + line[end:end]).strip()
            else:
                start, end = hit.span(1)
                before = line[:end].strip()
                mutated = (line[:start] + table[token] + line[end:end]).strip()
            if len(before) < 12:
                continue
            out.append((kind, before, mutated))
    return out


def generate(count, seed=20261205):
    rng = random.Random(seed)
    files = [f for f in library_sources() if f.endswith(".cpp") or "coding.h" in f or "record.h" in f]
    pool = []
    for path in files:
        for kind, before, after in candidates_of(path):
            if locate(path, before)[0] == path:
                pool.append((path, kind, before, after))
    rng.shuffle(pool)
    # Spread over the files: at most ceil(share by size) per file.
    per_file = {}
    sizes = {f: sum(1 for _ in open(os.path.join(ROOT, f), encoding="latin-1")) for f in files}
    total = sum(sizes.values())
    chosen = []
    for path, kind, before, after in pool:
        quota = max(1, round(count * sizes[path] / total))
        if per_file.get(path, 0) >= quota:
            continue
        per_file[path] = per_file.get(path, 0) + 1
        chosen.append((path, kind, before, after))
        if len(chosen) == count:
            break
    chosen.sort()
    print("# Mutants of scripts/mutation.py (generated with --generate %d, then kept as they are)." % count)
    print("# ID <TAB> FILE <TAB> BEFORE <TAB> AFTER")
    for number, (path, kind, before, after) in enumerate(chosen, 1):
        print("%s%03d\t%s\t%s\t%s" % (kind[0].upper(), number, path, before, after))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build-mutation"))
    parser.add_argument("--list", default=os.path.join(ROOT, "scripts", "mutations.txt"))
    parser.add_argument("--only")
    parser.add_argument("--report")
    parser.add_argument("--generate", type=int)
    args = parser.parse_args()
    if args.generate:
        generate(args.generate)
    else:
        measure(args)


if __name__ == "__main__":
    main()

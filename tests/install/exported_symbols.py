#!/usr/bin/env python3
"""Checks that libinstkit exports exactly its public interface.

    exported_symbols.py --library LIB --objects LIST --source-dir DIR --installed LIST --headers LIST

LIB is the shared library, LIST files name one path a line: the library's
object files, the headers that are installed, and every header of the
library's modules (to say where a symbol that should not be exported is
declared); header paths are relative to DIR, the source folder.

Three rules, each failure one line that says what to change:
  - an installed header includes installed headers only;
  - every symbol the library exports belongs to a class or function declared
    in an installed header (else: hide it, or install its header);
  - every function the library defines for a class or function declared in
    an installed header is exported (else: mark it INSTKIT_API).  Inline
    functions and templates need no mark: they are compiled into the caller.
Symbols are grouped by their owner: the class of a member, the function
itself for a free function (the first name after "instkit::" and its inner
namespaces).  Symbols outside namespace instkit are instantiations of
standard templates for the library's types (weak, emitted wherever used)
and are not the library's interface.
"""
import argparse
import os
import re
import subprocess
import sys

SPECIAL_PREFIXES = ("vtable for ", "typeinfo for ", "typeinfo name for ", "VTT for ", "construction vtable for ",
                    "non-virtual thunk to ", "virtual thunk to ", "guard variable for ", "reference temporary ")


def read_list(path):
    with open(path, encoding="utf-8") as f:
        return [line.strip() for line in f if line.strip()]


def symbols(args):
    """(kind, demangled name) of the defined external symbols `nm` lists."""
    out = subprocess.run(["nm", "--defined-only", "-g", *args], check=True, capture_output=True, text=True).stdout
    raw = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3:
            raw.append((parts[1], parts[2]))
    names = subprocess.run(["c++filt"], input="\n".join(n for _, n in raw), check=True, capture_output=True,
                           text=True).stdout.splitlines()
    return [(kind, name) for (kind, _), name in zip(raw, names)]


def owner(name):
    """The names after "instkit::" of a symbol of namespace instkit, or None."""
    for prefix in SPECIAL_PREFIXES:
        if name.startswith(prefix):
            name = name[len(prefix):]
    if not name.startswith("instkit::"):
        return None
    depth = 0
    parts, current = [], ""
    i = len("instkit::")
    while i < len(name):
        c = name[i]
        if c == "<":
            depth += 1
        elif c == ">":
            depth -= 1
        elif c == "(" and depth == 0 and not current.startswith("operator"):
            break
        elif depth == 0 and name.startswith("::", i):
            parts.append(current)
            current = ""
            i += 2
            continue
        current += c
        i += 1
    parts.append(current)
    return [re.sub(r"(<|\[abi:).*", "", part).strip() for part in parts]


def owner_in(name, *known):
    """The class or free function a symbol belongs to: the first of its names
    (after "instkit::" and any namespaces) that a header of `known` declares
    as a class or function, or else the first name that is no namespace."""
    parts = owner(name)
    if not parts:
        return None
    fallback = None
    for part in parts:
        kinds = [names[part][0] for names in known if part in names]
        if kinds and kinds[0] != "namespace":
            return part
        if not kinds and fallback is None:
            fallback = part
    return fallback or parts[-1] or None


CLASS_RE = re.compile(r"^\s*(?:template\s*<[^;{]*?>\s*)?(class|struct)\s+(INSTKIT_API\s+)?(\w+)(?:\s+final)?\s*(?::[^;{]*)?\{",
                      re.M)
VARIABLE_RE = re.compile(r"^extern\s+(INSTKIT_API\s+)?[\w:<>,*&\s]*?\b(\w+)\s*;", re.M)
NAMESPACE_RE = re.compile(r"^namespace\s+(?:instkit::)?(\w+)\s*\{", re.M)
FUNCTION_RE = re.compile(r"^(INSTKIT_API\s+)?(?:\[\[\w+\]\]\s+)?[\w:<>,*&\s]*?\b(operator\s*\S+?|\w+)\s*\(")
NOT_FUNCTION_START = ("#", "//", "}", "{", "namespace", "using", "class", "struct", "enum", "typedef", "extern",
                      "template", "inline", "constexpr", "static", "friend", "return", "if", "for", "while", " ", "\t",
                      "(", ")", "*", "/")


def declarations(path):
    """{name: 'class'|'function'} for the classes and free functions of a header."""
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    found = {}
    for m in CLASS_RE.finditer(text):
        found[m.group(3)] = "class"
    for m in VARIABLE_RE.finditer(text):
        found[m.group(2)] = "variable"
    for m in NAMESPACE_RE.finditer(text):
        if m.group(1) != "instkit":
            found.setdefault(m.group(1), "namespace")
    for line in text.splitlines():
        if not line or line.startswith(NOT_FUNCTION_START):
            continue
        m = FUNCTION_RE.match(line)
        if m and m.group(2) not in ("INSTKIT_API",):
            found.setdefault(m.group(2).replace(" ", ""), "function")
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--library", required=True)
    parser.add_argument("--objects", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--installed", required=True)
    parser.add_argument("--headers", required=True)
    args = parser.parse_args()

    installed_headers = read_list(args.installed)
    installed = {}
    problems = []
    for header in installed_headers:
        path = os.path.join(args.source_dir, header)
        for name, what in declarations(path).items():
            installed.setdefault(name, (what, header))
        with open(path, encoding="utf-8", errors="replace") as f:
            for included in re.findall(r'^#include "([^"]+)"', f.read(), re.M):
                if included not in installed_headers:
                    problems.append(f"installed header {header} includes {included}, which is not installed; "
                                    "install it too or include it from a source file only")
    declared_anywhere = {}
    for header in read_list(args.headers):
        for name, what in declarations(os.path.join(args.source_dir, header)).items():
            declared_anywhere.setdefault(name, (what, header))

    exported = {name for _, name in symbols(["-D", args.library])}

    hidden_by_owner = {}
    for name in sorted(exported):
        who = owner_in(name, installed, declared_anywhere)
        if who is None or who in installed:
            continue
        where = declared_anywhere.get(who)
        hidden_by_owner.setdefault((who, where[1] if where else None), []).append(name)
    for (who, header), names in sorted(hidden_by_owner.items(), key=lambda item: item[0][0]):
        place = f"declared in {header}, which is not installed" if header else "declared in no installed header"
        problems.append(f"exported but not public: {who} ({place}): {names[0]}"
                        + (f" and {len(names) - 1} more" if len(names) > 1 else "")
                        + "; remove its INSTKIT_API or install its header")

    missing_by_owner = {}
    for kind, name in symbols(read_list(args.objects)):
        if kind not in "TDBR" or name in exported:
            continue  # weak symbols are inline functions and templates
        who = owner_in(name, installed)
        if who is None or who not in installed:
            continue
        missing_by_owner.setdefault(who, []).append(name)
    for who, names in sorted(missing_by_owner.items()):
        what, header = installed[who]
        problems.append(f"public but not exported: {what} {who} of {header}: {names[0]}"
                        + (f" and {len(names) - 1} more" if len(names) > 1 else "")
                        + f"; mark the {what} INSTKIT_API (host/base/export.h)")

    for line in problems:
        print(line)
    if problems:
        print(f"{len(problems)} problem(s) between the exported symbols of {args.library} and the installed headers")
        return 1
    print(f"{len(exported)} exported symbols, all of installed headers; every public definition exported")
    return 0


if __name__ == "__main__":
    sys.exit(main())

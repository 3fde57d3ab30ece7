#!/usr/bin/env python3
"""Checks every #include "..." of the product code against the layer table.

usage: check_layering.py TABLE ROOT

Fails, naming the file and line, when a folder includes a folder or header its line
in the table does not allow, when a folder without a GUI includes a GUI folder, when
two folders include each other, or when product code lies in a folder the table does
not list.
"""
import os
import re
import sys

PRODUCT_ROOTS = ("app", "portlib", "instrument", "cli", "tools", "docs")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def read_table(path):
    rules, gui = {}, set()
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            head, sep, allowed = line.partition(":")
            if not sep:
                sys.exit(f"{path}:{number}: expected 'FOLDER: ALLOWED...'")
            words = head.split()
            folder = words[0]
            if words[1:] == ["(gui)"]:
                gui.add(folder)
            elif words[1:]:
                sys.exit(f"{path}:{number}: unknown mark {' '.join(words[1:])}")
            rules[folder] = allowed.split()
    return rules, gui


def target_folder(include, rules):
    """The listed folder an include path lies in (the deepest one), or None."""
    folder = os.path.dirname(include)
    while folder:
        if folder in rules:
            return folder
        folder = os.path.dirname(folder)
    return None


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    rules, gui = read_table(sys.argv[1])
    root = sys.argv[2]
    problems = []
    edges = {}
    for top in PRODUCT_ROOTS:
        for directory, _, files in os.walk(os.path.join(root, top)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(directory, name)
                source = os.path.relpath(path, root)
                folder = os.path.dirname(source)
                if folder not in rules:
                    problems.append(f"{source}: the folder {folder} is not in the layer table")
                    continue
                with open(path, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match or "/" not in match.group(1):
                            continue
                        include = match.group(1)
                        target = target_folder(include, rules)
                        if target is None or target == folder:
                            continue
                        where = f"{source}:{number}: includes {include}"
                        if target in gui and folder not in gui:
                            problems.append(f"{where}: {folder} has no GUI and {target} is a GUI folder")
                        elif target not in rules[folder] and include not in rules[folder]:
                            problems.append(f"{where}: {folder} may not include {target}")
                        edges.setdefault((folder, target), f"{source}:{number}")
    for (a, b), where in sorted(edges.items()):
        if a < b and (b, a) in edges:
            problems.append(f"{a} and {b} include each other ({where} and {edges[(b, a)]})")
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"layering: {len(edges)} folder dependencies, all allowed")
    return 0


if __name__ == "__main__":
    sys.exit(main())

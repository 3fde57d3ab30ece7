#!/usr/bin/env python3
"""Checks a program's man page against the program.

Usage: check_man_page.py PROGRAM SOURCE.scd PAGE.1 [COMMAND...]

Every option that `PROGRAM --help` prints (and `PROGRAM COMMAND --help` for each
COMMAND) must stand in the page's source, and groff must format the page without
a warning.
"""

import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def help_text(arguments):
    done = subprocess.run(arguments, capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        sys.exit(f"{' '.join(arguments)}: exit status {done.returncode}\n{done.stderr}")
    return done.stdout


def main():
    program, source, page, *commands = sys.argv[1:]
    helps = [help_text([program, "--help"])] + [help_text([program, c, "--help"]) for c in commands]
    options = {o for text in helps for o in OPTION.findall(text)}
    with open(source, encoding="utf-8") as f:
        written = f.read()
    missing = sorted(o for o in options if not re.search(r"(?<![\w-])" + re.escape(o) + r"(?![\w-])", written))
    if missing:
        sys.exit(f"{source} does not describe: {', '.join(missing)}")
    formatted = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True,
                               env={"LC_ALL": "C.UTF-8", "PATH": "/usr/bin:/bin"})
    if formatted.returncode != 0 or formatted.stderr.strip():
        sys.exit(f"groff warns about {page}:\n{formatted.stderr}")
    print(f"{page}: {len(options)} options described, no warning")


if __name__ == "__main__":
    main()

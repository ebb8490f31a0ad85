#!/usr/bin/env python3
"""Every star name and location text that the documentation shows is real:
found by pattern in README.md, docs/ (Markdown and manual pages), the help
texts (text/) and every --help of starloom and starloom-cli, each must pass
`starloom-cli locate NAME` or `where TEXT`.

usage: doc_names.py SOURCE_DIR STARLOOM STARLOOM_CLI
"""
import glob
import os
import re
import subprocess
import sys

LETTERS = "BCDFGHJKLMNPQRSTVWXYZ"
# A level letter, a voxel code and a star number, as names are written
# (also where the letters are wrong: such a name is no star either).
NAME = re.compile(r"(?<![\w-])[%s]-[%s]+-[0-9]+(?![\w-])" % (LETTERS, LETTERS))
# A location text long enough to be meant as one ("starloom1:..." is not).
LOCATION = re.compile(r"starloom1:[0-9A-Z]{16,}")


def run(argv):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120,
                          env=dict(os.environ, DISPLAY="", WAYLAND_DISPLAY=""))


def texts(source, starloom, cli):
    files = [os.path.join(source, "README.md")]
    files += glob.glob(os.path.join(source, "docs", "**", "*.md"), recursive=True)
    files += glob.glob(os.path.join(source, "docs", "man", "*"))
    files += glob.glob(os.path.join(source, "text", "*.cpp"))
    for path in sorted(files):
        text = open(path, encoding="utf-8").read()
        # Manual pages escape their hyphens.
        yield os.path.relpath(path, source), text.replace("\\-", "-").replace("\\(hy", "-")
    yield "starloom --help", run([starloom, "--help"]).stdout
    overview = run([cli, "--help"]).stdout
    yield "starloom-cli --help", overview
    commands = re.findall(r"^  (\w+) ", overview.split("commands:", 1)[-1], re.M)
    if not commands:
        sys.exit("FAIL: no commands found in starloom-cli --help")
    for command in commands:
        yield "starloom-cli %s --help" % command, run([cli, command, "--help"]).stdout


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    source, starloom, cli = sys.argv[1:]
    checked, failures = set(), []
    for where, text in texts(source, starloom, cli):
        found = [("locate", n) for n in NAME.findall(text)] + [("where", t) for t in LOCATION.findall(text)]
        for command, value in found:
            if (command, value) in checked:
                continue
            checked.add((command, value))
            result = run([cli, command, value])
            verdict = "ok" if result.returncode == 0 else "NOT REAL: " + result.stdout.strip()
            print("%s: %s %s: %s" % (where, command, value, verdict))
            if result.returncode != 0:
                failures.append("%s (%s)" % (value, where))
    # The README explains names with an example: finding none means the
    # pattern no longer matches how names are written.
    if not any(command == "locate" for command, _ in checked):
        print("FAIL: no star name found in the documentation")
        return 1
    if failures:
        print("FAIL: names or places that are not real: " + ", ".join(failures))
        return 1
    print("PASS: %d names and places checked" % len(checked))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Installs the build into a temporary prefix (with a space) and checks what a
user gets: the binaries run; the desktop entry and the AppStream metainfo are
valid and name the installed binary, icon and desktop entry; the icons are
SVG and PNGs of their folders' sizes; a manual page for each binary renders
without warnings and names every option and command the binaries offer; every
star name and location text that the README, docs/, the help texts (text/) and
the --help texts show passes `starloom-cli locate NAME` or `where TEXT`.

usage: e2e_install.py CMAKE BUILD_DIR WORK_DIR SOURCE_DIR"""
import configparser
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

APP_ID = "org.tarnwick.Starloom"
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256, 512]
LETTERS = "BCDFGHJKLMNPQRSTVWXYZ"
# A level letter, a voxel code and a star number, as names are written
# (also where the letters are wrong: such a name is no star either).
NAME = re.compile(r"(?<![\w-])[%s]-[%s]+-[0-9]+(?![\w-])" % (LETTERS, LETTERS))
# A location text long enough to be meant as one ("starloom1:..." is not).
LOCATION = re.compile(r"starloom1:[0-9A-Z]{16,}")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, file=sys.stderr)
    return condition


def run(cmd, **kwargs):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=120, **kwargs)


def main():
    cmake, build, work, source = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    prefix = os.path.join(work, "my prefix")
    result = run([cmake, "--install", build, "--prefix", prefix])
    if not check(result.returncode == 0, "cmake --install failed:\n" + result.stdout + result.stderr):
        raise SystemExit(1)
    share = os.path.join(prefix, "share")

    starloom, cli = os.path.join(prefix, "bin", "starloom"), os.path.join(prefix, "bin", "starloom-cli")
    version = run([starloom, "--version"])
    check(version.returncode == 0 and re.fullmatch(r"starloom \d+\.\d+\.\d+\n", version.stdout) is not None,
          "the installed starloom --version printed %r" % version.stdout)
    number = version.stdout.split()[-1] if version.stdout else ""
    shown = {}  # each text a user reads (the --help texts, the documents) by where it is shown

    desktop = os.path.join(share, "applications", APP_ID + ".desktop")
    if check(os.path.isfile(desktop), "no desktop entry " + desktop):
        result = run(["desktop-file-validate", desktop])
        check(result.returncode == 0 and "error" not in result.stdout,
              "desktop-file-validate: " + result.stdout + result.stderr)
        entry = configparser.RawConfigParser()
        entry.optionxform = str
        entry.read(desktop)
        group = entry["Desktop Entry"]
        for key, value in (("Exec", starloom), ("TryExec", starloom), ("Icon", APP_ID), ("Name", "Starloom")):
            check(group.get(key) == value, "%s is %r, not %r" % (key, group.get(key), value))

    svg = os.path.join(share, "icons", "hicolor", "scalable", "apps", APP_ID + ".svg")
    if check(os.path.isfile(svg), "no scalable icon"):
        check(ET.parse(svg).getroot().tag.endswith("svg"), "the scalable icon is no SVG")
    for size in ICON_SIZES:
        png = os.path.join(share, "icons", "hicolor", "%dx%d" % (size, size), "apps", APP_ID + ".png")
        if check(os.path.isfile(png), "no %dx%d icon" % (size, size)):
            with open(png, "rb") as f:
                head = f.read(24)  # the signature, the header chunk's length and name, width and height
            check(head[:16] == b"\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR" and head[16:] == struct.pack(">II", size, size),
                  "the %dx%d icon is no PNG of that size: %r" % (size, size, head))

    metainfo = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")
    if check(os.path.isfile(metainfo), "no metainfo " + metainfo):
        result = run(["appstreamcli", "validate", "--no-net", metainfo])
        check(result.returncode == 0 and not re.search(r"^[EW]:", result.stdout, re.M),
              "appstreamcli validate: " + result.stdout + result.stderr)
        root = ET.parse(metainfo).getroot()
        check(root.findtext("id") == APP_ID, "metainfo id is %r" % root.findtext("id"))
        check(root.findtext("launchable") == APP_ID + ".desktop", "metainfo launchable is %r" % root.findtext("launchable"))
        binaries = sorted(b.text for b in root.iter("binary"))
        check(binaries == ["starloom", "starloom-cli"], "metainfo provides %r" % binaries)
        releases = [r.get("version") for r in root.iter("release")]
        check(number in releases, "metainfo releases %r lack version %r" % (releases, number))

    for page in ["starloom", "starloom-cli"]:
        path = os.path.join(share, "man", "man1", page + ".1.gz")
        if not check(os.path.isfile(path), "no manual page " + path):
            continue
        env = dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")
        rendered = run(["man", "--warnings", "-E", "UTF-8", "-l", path], env=env)
        check(rendered.returncode == 0, "man -l %s failed: %s" % (page, rendered.stderr))
        check(rendered.stderr.strip() == "", "man warns about %s: %s" % (page, rendered.stderr))
        text = rendered.stdout.replace("\u2010", "-")
        check(number in text, "the manual page of %s does not name version %s" % (page, number))
        if page == "starloom":
            usage = shown["starloom --help"] = run([starloom, "--help"]).stdout
            options = sorted(set(re.findall(r"--[a-z][a-z-]*", usage)))
            check(len(options) >= 6, "starloom --help lists only %r" % options)
            for option in options:
                check(re.search(r"^\s+%s\b" % re.escape(option), text, re.M) is not None,
                      "the manual page of starloom has no entry for %s" % option)
        else:
            overview = shown["starloom-cli --help"] = run([cli, "--help"]).stdout
            commands = re.findall(r"^  ([a-z]+) ", overview, re.M)
            check(len(commands) >= 10, "starloom-cli --help lists only %r" % commands)
            for command in commands:
                check(re.search(r"^\s+%s\b" % command, text, re.M) is not None,
                      "the manual page of starloom-cli lacks the command %s" % command)
                usage = shown["starloom-cli %s --help" % command] = run([cli, command, "--help"]).stdout
                for option in sorted(set(re.findall(r"--[a-z][a-z-]*", usage)) - {"--help"}):
                    check(re.search(r"^\s+.*%s\b" % re.escape(option), text, re.M) is not None,
                          "the manual page of starloom-cli has no entry for %s %s" % (command, option))

    # The names and places the documentation shows, each asked of starloom-cli once.
    documents = [os.path.join(source, "README.md")]
    for pattern in ("docs/**/*.md", "docs/man/*", "text/*.cpp"):
        documents += glob.glob(os.path.join(source, pattern), recursive=True)
    for path in documents:
        text = open(path, encoding="utf-8").read()  # manual pages escape their hyphens
        shown[os.path.relpath(path, source)] = text.replace("\\-", "-").replace("\\(hy", "-")
    checked = set()
    for where, text in sorted(shown.items()):
        for asked in [("locate", n) for n in NAME.findall(text)] + [("where", t) for t in LOCATION.findall(text)]:
            if asked not in checked:
                checked.add(asked)
                result = run([cli] + list(asked))
                check(result.returncode == 0,
                      "%s shows %s, which is not real: %s" % (where, asked[1], result.stdout + result.stderr))
    # The README explains names with an example: finding none means the
    # pattern no longer matches how names are written.
    check(any(command == "locate" for command, _ in checked), "no star name found in the documentation")
    print("%d names and places of the documentation checked" % len(checked))

    if failures:
        raise SystemExit(1)
    print("installed and checked:", prefix)


main()

#!/usr/bin/env python3
"""Writes the pinned stars of tests/test_star_generation.cpp.

    python3 tools/golden_stars.py [path/to/starloom-cli]

Runs `starloom-cli voxel L X Y Z T` for each voxel below and replaces the block
between the GOLDEN markers of the test with each voxel's star count, the
FNV-1a hash of its output lines and its first line. The values are what the
current engine generates: run this only after a deliberate change to what the
engine computes (seeds, streams, rejection, appearance), and say so in the
commit.
"""

import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEST = os.path.join(ROOT, "tests", "test_star_generation.cpp")

# level, corner x, y, z (grid units), tier
VOXELS = [
    (16, -1638400, -5832704, 262144, 1),  # the default viewpoint's voxel: few stars
    (16, -1638400, -5832704, 262144, 2),  # ... its deepest band: six populations
    (12, -2097152, -6291456, 0, 3),       # the disc around the viewpoint
    (8, 0, 0, 0, 3),                      # the core, large Poisson means
    (3, 1 << 29, 1 << 29, 1 << 29, 12),   # a corner of the galaxy cube: the rogue sphere's surface
]


def fnv1a(data, h=0xCBF29CE484222325):
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "starloom-cli")
    rows = []
    for level, x, y, z, tier in VOXELS:
        out = subprocess.run([cli, "voxel", str(level), str(x), str(y), str(z), str(tier)], check=True,
                             capture_output=True, text=True).stdout
        lines = out.splitlines()
        if not lines:
            sys.exit("voxel %s has no stars" % ((level, x, y, z, tier),))
        rows.append('    {%d, %d, %d, %d, %d, %d, 0x%016Xull,\n     "%s"},' %
                    (level, x, y, z, tier, len(lines), fnv1a(out.encode()), lines[0]))
    text = open(TEST).read()
    begin = text.index("// BEGIN GOLDEN")
    begin = text.index("\n", begin) + 1
    end = text.index("// END GOLDEN")
    open(TEST, "w").write(text[:begin] + "constexpr PinnedVoxel PINNED[] = {\n" + "\n".join(rows) + "\n};\n" + text[end:])
    print("pinned %d voxels in %s" % (len(rows), os.path.relpath(TEST, ROOT)))


if __name__ == "__main__":
    main()

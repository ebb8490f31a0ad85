#!/usr/bin/env python3
"""Runs a fixed set of starloom-cli commands with two builds of starloom-cli and
compares their outputs byte for byte: the native build against one for another
processor (under an emulator), so that the same place gives the same stars on
both. The set covers every engine path the command line reaches: ExtFloat
operations over a large generated batch with edge values, the constants, the
populations, the galaxy with its arm elements and plane tree, densities, stars
of every population, voxels across levels, tiers and components, star-field
passes with small limits, nearest-star searches (whose voxels are partly not
generated yet) and lattice names, and text blocks drawn with the display font
(the PNG files are compared too).

usage: cross_check.py REFERENCE_CLI OTHER_CLI [--work DIR] [--jobs N]

Each CLI is a command line (split like a shell would), e.g.
"build/starloom-cli" and "qemu-aarch64 build-aarch64/starloom-cli". Prints one
line per command that differs, with its first differing line, and a summary;
the exit status is 1 when any command differs or fails.
"""
import argparse
import concurrent.futures
import os
import random
import shlex
import subprocess
import sys
import time

SEED = 20261207

# Places in position units (10 km): the galactic centre (core ellipsoids), the
# default viewpoint in the disc (disc, arms, halo), another disc place, the halo
# high above the plane, and far out where only rogue stars are.
DEFAULT_VIEWPOINT = (-7003708179394623, -24996773029325252, 1127289819641451)
PLACES = {
    "centre": (0, 0, 0),
    "viewpoint": DEFAULT_VIEWPOINT,
    "disc": (20000000000000000, 10000000000000000, -300000000000000),
    "halo": (100000000000000000, -40000000000000000, 200000000000000000),
    "rogue": (3000000000000000000, -2000000000000000000, 1000000000000000000),
}

# Voxel levels and tiers per place: (L, T) pairs whose tier holds stars there.
VOXELS = {
    "viewpoint": [(1, 8), (1, 12), (1, 15), (2, 9), (3, 6), (3, 10), (4, 5), (4, 9), (5, 4), (5, 8), (6, 3), (6, 7),
                  (7, 2), (7, 6), (8, 1), (8, 4), (9, 0), (9, 3), (10, 0), (10, 2), (11, 0), (11, 3), (12, 1),
                  (13, 0), (13, 2), (14, 0), (14, 3), (14, 4), (15, 1), (16, 0), (16, 1), (17, 0), (17, 1), (18, 0)],
    "centre": [(2, 7), (3, 8), (4, 6), (5, 5), (6, 4), (7, 3), (8, 2), (9, 1), (10, 0), (10, 2), (11, 1), (12, 0),
               (13, 1), (14, 2), (15, 0), (16, 1), (16, 2), (17, 0), (18, 0)],
    "disc": [(6, 3), (8, 4), (10, 2), (12, 1), (14, 3), (16, 1), (18, 0)],
    "halo": [(2, 8), (3, 7), (4, 7), (5, 4), (6, 6), (7, 7), (8, 8), (9, 7), (10, 7), (11, 7), (12, 6), (13, 5),
             (14, 4)],
    "rogue": [(3, 10), (4, 11), (5, 11), (6, 11), (7, 10), (8, 10), (9, 9), (10, 8)],
}

# ------------------------------------------------------------ ExtFloat batch

BIAS = 32832


def word(mantissa48, exponent):
    return ((mantissa48 & ((1 << 48) - 1)) << 16) | (exponent & 0xFFFF)


def normalised(rng, negative=None):
    """A random normalised word's mantissa: top bits 01 (positive) or 10."""
    m = rng.getrandbits(46)
    if negative is None:
        negative = rng.random() < 0.5
    return (0b10 << 46) | m if negative else (0b01 << 46) | m


def edge_words():
    words = {0, (1 << 64) - 1}
    for e in (0, 1, 2, BIAS - 64, BIAS - 1, BIAS, BIAS + 1, BIAS + 2, BIAS + 33, BIAS + 64, 65534, 65535):
        for m in (0x400000000000, 0x7FFFFFFFFFFF, 0x800000000000, 0xBFFFFFFFFFFF, 0x400000000001,
                  0x000000000001, 0xFFFFFFFFFFFF, 0x200000000000, 0xC00000000000):
            words.add(word(m, e))
    # +-1, +-0.5, +-2, +-3 and the largest exactly representable integers.
    words.update({0x4000000000008002, 0x8000000000008001, 0x4000000000008001, 0x4000000000008003,
                  0x6000000000008003, 0xA000000000008003})
    return sorted(words)


def random_word(rng):
    kind = rng.random()
    if kind < 0.7:  # values of moderate size, the engine's usual range
        return word(normalised(rng), BIAS + rng.randint(-80, 80))
    if kind < 0.85:  # anywhere in the exponent range
        return word(normalised(rng), rng.randint(0, 65535))
    return rng.getrandbits(64)  # not normalised, or anything at all


def random_double(rng):
    kind = rng.random()
    if kind < 0.6:
        return (rng.random() - 0.5) * 10.0 ** rng.randint(-30, 30)
    if kind < 0.9:  # any bit pattern but NaN
        import struct
        while True:
            d = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))[0]
            if d == d:
                return d
    return rng.choice([0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                       -1.7976931348623157e308, 1.0, -1.0, 0.5, 1e300, -1e-300, 2.0 ** 63, 2.0 ** 64])


def ext_lines(count):
    rng = random.Random(SEED)
    edges = edge_words()
    fmt = "0x%016X"
    lines = []
    binary = ("add", "sub", "mul", "div", "pow", "atan2", "ge")
    unary = ("neg", "sqrt", "invsqrt", "log2", "sin", "cos", "todouble", "touint64", "toint64")
    # Every edge against every edge for the binary operations, every edge alone.
    for op in binary:
        for a in edges:
            for b in edges[:: max(1, len(edges) // 24)]:
                lines.append("%s %s %s" % (op, fmt % a, fmt % b))
    for op in unary:
        for a in edges:
            lines.append("%s %s" % (op, fmt % a))
    for a in edges:
        for k in (-70000, -65535, -32832, -64, -1, 0, 1, 63, 32832, 65535, 70000):
            lines.append("scalepow2 %s %d" % (fmt % a, k))
    for v in (-2147483648, -1, 0, 1, 2147483647):
        lines.append("fromint32 %d" % v)
    for v in (0, 1, 2 ** 47, 2 ** 63, 2 ** 64 - 1):
        lines.append("fromuint64 %d" % v)
    for m, p in ((0, 0), (1, 0), (-1, 0), (9223372036854775807, 0), (-9223372036854775808, 0),
                 (483, -2), (1, -400), (1, 400), (-7, -30000), (12345678901234, 17)):
        lines.append("fromdecimal %d %d" % (m, p))
    # Random lines for the rest.
    ops = binary * 2 + unary + ("scalepow2", "fromdouble", "fromint32", "fromuint64", "fromdecimal")
    while len(lines) < count:
        op = rng.choice(ops)
        if op in binary:
            lines.append("%s %s %s" % (op, fmt % random_word(rng), fmt % random_word(rng)))
        elif op in unary:
            lines.append("%s %s" % (op, fmt % random_word(rng)))
        elif op == "scalepow2":
            lines.append("scalepow2 %s %d" % (fmt % random_word(rng), rng.randint(-200, 200)))
        elif op == "fromdouble":
            lines.append("fromdouble %s" % random_double(rng).hex())
        elif op == "fromint32":
            lines.append("fromint32 %d" % rng.randint(-2 ** 31, 2 ** 31 - 1))
        elif op == "fromuint64":
            lines.append("fromuint64 %d" % rng.getrandbits(rng.randint(1, 64)))
        else:
            lines.append("fromdecimal %d %d" % (rng.randint(-2 ** 63, 2 ** 63 - 1), rng.randint(-350, 350)))
    return lines


# ------------------------------------------------------------ the command set

def corner(position, level):
    """The grid corner (top 32 bits) of the level-L voxel holding a position."""
    if level == 1:
        return -(1 << 30)
    edge = 1 << (32 - level)
    return ((position >> 32) // edge) * edge


def commands(vector_file):
    cmds = []  # (label, argv, stdin path or None)
    cmds.append(("ext --batch", ["ext", "--batch"], vector_file))
    cmds.append(("constants", ["constants"], None))
    cmds.append(("populations", ["populations"], None))
    cmds.append(("galaxy --elements --tree", ["galaxy", "--elements", "--tree"], None))
    for name, p in PLACES.items():
        cmds.append(("density " + name, ["density"] + [str(v) for v in p], None))
    for pop in range(7):
        for u in ("0", "0.25", "0.5", "0.9999999", "0x7FFFFFFFFFFF7FC0"):
            cmds.append(("star %d %s" % (pop, u), ["star", str(pop), u], None))
    # Voxels: at every place, levels 1 to 18 with tiers that hold a few to a
    # few thousand stars there, and some whose count reaches the cap of a tier.
    for name, tiers in VOXELS.items():
        p = PLACES[name]
        for level, tier in tiers:
            c = [corner(v, level) for v in p]
            cmds.append(("voxel %s L%d T%d" % (name, level, tier),
                         ["voxel", str(level)] + [str(v) for v in c] + [str(tier)], None))
    # Passes with small limits (memory runs out, voxels are evicted) and a
    # frame timeout no pass reaches, so that the counts do not depend on speed.
    for name in ("viewpoint", "centre", "disc", "halo"):
        p = PLACES[name]
        for stars, chunks in ((30000, 1), (200000, 1)):
            cmds.append(("pass %s stars %d" % (name, stars),
                         ["pass", "--at"] + [str(v) for v in p] +
                         ["--max-stars", str(stars), "--max-voxels", str(chunks), "--timeout-ms", "3600000"], None))
    # Searches: at the places, and a little off them, so that the nearest stars
    # lie partly in voxels the passes did not generate.
    # A search takes long under the emulator: two places on their spot, two a
    # little off it, one in each kind of component.
    rng = random.Random(SEED + 1)
    for name, p in PLACES.items():
        if name == "rogue":
            continue
        q = [v + rng.randint(-10 ** 13, 10 ** 13) for v in p]
        if name in ("viewpoint", "halo"):
            cmds.append(("search " + name, ["search", "--csv", "--at"] + [str(v) for v in p], None))
        else:
            cmds.append(("search near " + name, ["search", "--csv", "--at"] + [str(v) for v in q], None))
    # Lattice names: small, signed, shell edges and the extremes.
    points = [(0, 0, 0), (1, 0, 0), (0, -1, 0), (0, 0, 1), (-1, -1, -1), (2, -3, 5), (100, 200, -300),
              (2147483647, 2147483647, 2147483647), (-2147483648, -2147483648, -2147483648),
              (-2147483648, 0, 2147483647), (65536, -65536, 65535), (1 << 20, -(1 << 21), 1 << 22)]
    for _ in range(28):
        bits = rng.randint(1, 31)
        points.append(tuple(rng.randint(-(1 << bits), (1 << bits) - 1) for _ in range(3)))
    for pt in points:
        cmds.append(("name %d %d %d" % pt, ["name"] + [str(v) for v in pt], None))
    # Text blocks: laid out and drawn with the display font (rasterised at build
    # time by the build's own fontgen), one of them with a found star's data
    # (a search of its own, which takes long under the emulator: one).
    # Not the platform page, which names the processor.
    blocks = [["help", "0"], ["help", "5"], ["info", "0"], ["info", "1"], ["licenses"],
              ["star", "37", "--at"] + [str(v) for v in PLACES["disc"]]]
    for what, size in zip(blocks, (3, 0, 18, 7, 3, 11)):
        cmds.append(("textblock " + " ".join(what[:2]),
                     ["textblock"] + what + ["--size", str(size), "--png", PNG_OUT], None))
    return cmds


# ------------------------------------------------------------ running

# Stands for the PNG file a command writes (one per command and side).
PNG_OUT = "{png}"

# Lines that measure the run rather than the engine.
VOLATILE = (b"wall time:", b"stars generated per second:")


def run(cli, argv, stdin_path, png_path):
    writes_png = PNG_OUT in argv
    argv = [png_path if a == PNG_OUT else a for a in argv]
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    try:
        start = time.monotonic()
        p = subprocess.run(cli + argv, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=900)
        seconds = time.monotonic() - start
    finally:
        if stdin_path:
            stdin.close()
    out = b"\n".join(line for line in p.stdout.split(b"\n") if not line.startswith(VOLATILE))
    png = None
    if writes_png and os.path.exists(png_path):
        with open(png_path, "rb") as f:
            png = f.read()
        os.remove(png_path)
    return p.returncode, out, p.stderr, seconds, png


def first_difference(a, b):
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i in range(max(len(la), len(lb))):
        x = la[i] if i < len(la) else b"<end of output>"
        y = lb[i] if i < len(lb) else b"<end of output>"
        if x != y:
            return i + 1, x.decode(errors="replace"), y.decode(errors="replace")
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("reference")
    parser.add_argument("other")
    parser.add_argument("--work", default=None, help="directory for the generated batch (default: a temporary one)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--ext-lines", type=int, default=200000)
    args = parser.parse_args()
    reference, other = shlex.split(args.reference), shlex.split(args.other)

    work = args.work or os.path.join(os.environ.get("TMPDIR", "/tmp"), "starloom-cross-check-%d" % os.getpid())
    os.makedirs(work, exist_ok=True)
    vector_file = os.path.join(work, "ext_batch.txt")
    with open(vector_file, "w") as f:
        f.write("\n".join(ext_lines(args.ext_lines)) + "\n")

    cmds = commands(vector_file)
    jobs = [(i, side, cli) for i in range(len(cmds)) for side, cli in (("reference", reference), ("other", other))]
    results = {}
    start = time.monotonic()
    # The slow side (the emulated one) first, so that the long runs overlap.
    jobs.sort(key=lambda j: j[1] != "other")
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(run, cli, cmds[i][1], cmds[i][2], os.path.join(work, "%d-%s.png" % (i, side))): (i, side)
                   for i, side, cli in jobs}
        for fut in concurrent.futures.as_completed(futures):
            results[futures[fut]] = fut.result()

    passed = failed = 0
    slowest = []
    for i, (label, argv, _) in enumerate(cmds):
        ref_status, ref_out, ref_err, ref_s, ref_png = results[(i, "reference")]
        oth_status, oth_out, oth_err, oth_s, oth_png = results[(i, "other")]
        slowest.append((oth_s, label))
        problem = None
        if ref_status != 0:
            problem = "the reference exits with status %d: %s" % (ref_status, ref_err.decode(errors="replace").strip())
        elif not ref_out.strip():
            problem = "the reference prints nothing"
        elif oth_status != ref_status:
            problem = "exit status %d, the reference %d: %s" % (oth_status, ref_status,
                                                                oth_err.decode(errors="replace").strip())
        elif oth_out != ref_out:
            line, x, y = first_difference(ref_out, oth_out)
            problem = "output differs from line %d:\n    reference: %s\n    other:     %s" % (line, x, y)
        elif PNG_OUT in argv and (ref_png is None or oth_png != ref_png):
            problem = "the PNG file differs" if ref_png is not None else "the reference writes no PNG file"
        if problem:
            failed += 1
            print("DIFFERS: starloom-cli %s  [%s]\n  %s" % (" ".join(argv), label, problem))
        else:
            passed += 1
    slowest.sort(reverse=True)
    print("cross check: %d commands (ext batch of %d lines) in %.1f s; slowest on the other side: %s" %
          (len(cmds), args.ext_lines, time.monotonic() - start,
           ", ".join("%s %.1f s" % (label, s) for s, label in slowest[:3])))
    print("cross-check: %d passed, %d failed" % (passed, failed))
    if not args.work:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""The files the program writes, on an 800 x 600 screen:

1. With user-dirs.dirs naming ~/Bilder, F12 writes
   ~/Bilder/Starloom/Starloom-<date>-<time>.png: the star display as the
   screen shows it, both sides odd; the panel says where; a second F12 adds
   a file. Three taps of "." shorter than a frame, S held 2 s, "Quit/save":
   speed level 43, the view turned by 2 radians (by the key's time, not by
   frames).
2. --windowed with --save-file elsewhere: the window is 90 % of the screen,
   and closing it writes the same bytes back; nothing at the default place.
3. A save file of a newer version is left alone, with exit status 3.

usage: e2e_files.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import math
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, cli_fields, fail, newest_files, pixels, script_args, wait_until  # noqa: E402

DEFAULT_FORWARD = (0.11452456541239872, 0.9923381374686082, 0.04635887015917146)


def main():
    program, cli, shot_dir = script_args(__doc__, 3)
    with Rig(shot_dir) as rig:
        width, height = rig.size
        save_path = rig.save_path
        config = os.path.join(rig.home, "config")
        os.makedirs(config)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as dirs:
            dirs.write('XDG_PICTURES_DIR="$HOME/Bilder"\n')
        rig.env["XDG_CONFIG_HOME"] = config

        # 1. Screenshots.
        session = rig.start(program, [], "first")
        session.settled("first_at_rest")
        rig.key("F12")
        # The message area above the quit buttons says where it went, for ten seconds.
        told = rig.read_until("message", (width - 180, height - 170, width, height - 62), ["Screenshot", "Bilder"])
        print("panel:", " ".join(told.split()))
        pattern = os.path.join(rig.home, "Bilder", "Starloom", "Starloom-*.png")
        first = newest_files(pattern, 1, "a screenshot file " + pattern)[0]
        if len(os.path.basename(first)) != len("Starloom-2030-01-02-03-04-05.png"):
            fail("unexpected file name " + first)
        shutil.copy(first, os.path.join(shot_dir, "f12_picture.png"))
        shot_width, shot_height = struct.unpack(">II", open(first, "rb").read()[16:24])  # from the PNG header
        picture = pixels(first)
        screen = rig.shot("screen_after_f12")[1]
        # The star display's size: the screen less the panel, both sides odd.
        if shot_height != height - 1 or shot_width % 2 != 1 or not width // 2 < shot_width < width:
            fail("the screenshot is %dx%d on a %dx%d screen" % (shot_width, shot_height, width, height))
        # What the screen shows there, pixel for pixel (a star that changed in
        # between may account for a few).
        shown = b"".join(screen[y * width * 3:(y * width + shot_width) * 3] for y in range(shot_height))
        differing = sum(1 for i in range(0, len(shown), 3) if shown[i:i + 3] != picture[i:i + 3])
        if differing > shot_width * shot_height // 1000:
            fail("%d of %d pixels of the screenshot differ from the screen" % (differing, shot_width * shot_height))
        # Just right of it the panel begins: one flat colour down its middle
        # rows, unlike the display's last column.
        panel = {bytes(screen[(y * width + shot_width) * 3:(y * width + shot_width) * 3 + 3]) for y in range(200, 400)}
        if len(panel) != 1 or max(next(iter(panel))) < 20:
            fail("the column after the screenshot is not the panel's edge: %r" % sorted(panel)[:5])
        # A second F12, maybe within the same second: a second file, the first left alone.
        first_bytes = open(first, "rb").read()
        rig.key("F12")
        newest_files(pattern, 2, "a second screenshot file")
        if open(first, "rb").read() != first_bytes:
            fail("the second screenshot changed the first file")

        # Three taps of "." and S held, then Quit/save.
        for _ in range(3):
            rig.key("period")
        # One xdotool call holds the key for the time it sleeps, so that
        # starting the command costs the hold nothing.
        rig.key("s", hold=2)
        rig.quit(save=True)
        session.wait_exit()
        fields = cli_fields(cli, "savefile", save_path)
        if fields.get("speedLevel") != "43":
            fail("speed level %s saved after three taps of \".\", expected 43" % fields.get("speedLevel"))
        forward = [float(v) for v in fields.get("forward", "0 0 0").split()]
        turned = math.acos(max(-1.0, min(1.0, sum(a * b for a, b in zip(forward, DEFAULT_FORWARD)))))
        print("S held for 2 s turned the view by %.4f rad" % turned)
        # The program times a key by when it sees it, which on a loaded
        # machine can be a slow frame late at either end.
        if abs(turned - 2.0) > 0.5:
            fail("S held for 2 s turned the view by %.4f rad, not 2" % turned)
        first_bytes = open(save_path, "rb").read()

        # 2. --windowed and --save-file: the state comes back whole and is
        # written there again.
        elsewhere = os.path.join(rig.home, "elsewhere", "view.sav")
        os.makedirs(os.path.dirname(elsewhere))
        shutil.move(save_path, elsewhere)
        written = os.stat(elsewhere).st_mtime_ns
        session = rig.start(program, ["--windowed", "--save-file", elsewhere], "windowed", full_screen=False)
        expected = "Geometry: %dx%d" % (width * 9 // 10, height * 9 // 10)
        wait_until(lambda: expected in rig.run(["xdotool", "getwindowgeometry", str(session.window)]).stdout,
                   "--windowed gives the window " + expected)
        session.close()
        session.wait_exit()
        if os.stat(elsewhere).st_mtime_ns == written or open(elsewhere, "rb").read() != first_bytes:
            again = cli_fields(cli, "savefile", elsewhere)
            fail("closing the window did not write the whole state back to --save-file; changed fields: "
                 + ", ".join(n for n in fields if fields[n] != again.get(n)))
        if os.path.exists(save_path):
            fail("--save-file: the default save file was written too")

        # 3. A newer file is never written over; the exit status says so.
        newer = bytearray(first_bytes)
        newer[8] = 2
        open(save_path, "wb").write(bytes(newer))
        session = rig.start(program, [], "newer")
        session.close()
        told = session.wait_exit(3)
        if open(save_path, "rb").read() != bytes(newer) or "newer version" not in told:
            fail("the newer save file was written over, or nothing was said")
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Screenshots end to end.

1. Full screen on an 800 x 600 screen, with a user-dirs.dirs that puts the
   pictures folder at ~/Bilder. Once the star display has settled, F12 must
   write ~/Bilder/Starloom/Starloom-<date>-<time>.png: as large as the star
   display (both sides odd, the panel left out) and, pixel for pixel, what
   the screen shows there. The panel must say where it went. A second F12
   adds a second file and leaves the first alone.
2. --windowed on a 1280 x 1024 screen opens a 1200 x 800 window, and
   --save-file PATH makes closing the window save there.

usage: e2e_screenshot.py STARLOOM SHOT_DIR
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, fail, newest_files, pixels, require_tools, script_args, wait_until  # noqa: E402


def screenshot_run(program, shot_dir):
    with Rig(shot_dir) as rig:
        width, height = rig.size
        config = os.path.join(rig.home, "config")
        os.makedirs(config)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as dirs:
            dirs.write('XDG_PICTURES_DIR="$HOME/Bilder"\n')
        rig.env["XDG_CONFIG_HOME"] = config
        session = rig.start(program)
        session.settled()

        rig.key("F12")
        # The message area above the quit buttons says where it went (for ten
        # seconds): read it at once and often.
        told = rig.read_until("message", (width - 180, height - 170, width, height - 62), ["Screenshot", "Bilder"])
        pattern = os.path.join(rig.home, "Bilder", "Starloom", "Starloom-*.png")
        files = newest_files(pattern, 1, "a screenshot file " + pattern)
        name = os.path.basename(files[0])
        if len(name) != len("Starloom-2030-01-02-03-04-05.png"):
            fail("unexpected file name " + name)
        shutil.copy(files[0], os.path.join(shot_dir, "f12_picture.png"))
        size = subprocess.run(["identify", "-format", "%w %h", files[0]], capture_output=True, text=True,
                              check=True, timeout=60).stdout.split()
        shot_width, shot_height, picture = int(size[0]), int(size[1]), pixels(files[0])
        screen = rig.shot("screen_after_f12")[1]

        # The star display's size: the screen less the panel, both sides odd.
        if shot_height != height - 1 or shot_width % 2 != 1 or not width // 2 < shot_width < width:
            fail("the screenshot is %dx%d on a %dx%d screen" % (shot_width, shot_height, width, height))
        # What the screen shows there, pixel for pixel (a star that changed in
        # between may account for a few).
        differing = 0
        for y in range(shot_height):
            row = screen[y * width * 3:(y * width + shot_width) * 3]
            mine = picture[y * shot_width * 3:(y + 1) * shot_width * 3]
            if row != mine:
                differing += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] != mine[i:i + 3])
        if differing > shot_width * shot_height // 1000:
            fail("%d of %d pixels of the screenshot differ from the screen" % (differing, shot_width * shot_height))
        # Just right of it the panel begins: one flat colour down its middle
        # rows, unlike the display's last column.
        panel = {bytes(screen[(y * width + shot_width) * 3:(y * width + shot_width) * 3 + 3]) for y in range(200, 400)}
        if len(panel) != 1 or max(next(iter(panel))) < 20:
            fail("the column after the screenshot is not the panel's edge: %r" % sorted(panel)[:5])
        print("panel:", " ".join(told.split()))

        # A second F12, maybe within the same second: a second file, the first left alone.
        first_bytes = open(files[0], "rb").read()
        rig.key("F12")
        files = newest_files(pattern, 2, "a second screenshot file")
        if open(os.path.join(rig.home, "Bilder", "Starloom", name), "rb").read() != first_bytes:
            fail("the second screenshot changed the first file")
        session.close()
        session.wait_exit()
        print("F12 wrote %dx%d pictures: %s" % (shot_width, shot_height, ", ".join(map(os.path.basename, files))))


def windowed_run(program, shot_dir):
    with Rig(shot_dir, size=(1280, 1024)) as rig:
        save = os.path.join(rig.home, "elsewhere", "view.sav")
        session = rig.start(program, ["--windowed", "--save-file", save], "windowed", full_screen=False)
        # At most 1200x800 and 90% of the 1280x1024 screen.
        expected = "Geometry: %dx%d" % (min(1200, 1280 * 9 // 10), min(800, 1024 * 9 // 10))
        wait_until(lambda: expected in rig.run(["xdotool", "getwindowgeometry", str(session.window)]).stdout,
                   "--windowed gives the window " + expected)
        session.close()
        session.wait_exit()
        if not os.path.isfile(save) or os.path.getsize(save) != 179:
            fail("--save-file: closing the window did not save to " + save)
        if os.path.exists(rig.save_path):
            fail("--save-file: the default save file was written too")


def main():
    program, shot_dir = script_args(__doc__, 2)
    require_tools("Xvfb", "xdotool", "import", "convert", "identify", "tesseract")
    screenshot_run(program, shot_dir)
    windowed_run(program, os.path.join(shot_dir, "windowed"))
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

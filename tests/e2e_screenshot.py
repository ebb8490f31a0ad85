#!/usr/bin/env python3
"""Screenshots end to end: the real program under Xvfb with the CPU Vulkan
driver.

1. Full screen on an 800 x 600 screen, with a user-dirs.dirs that puts the
   pictures folder at ~/Bilder. Once the star display has settled, F12 must
   write ~/Bilder/Starloom/Starloom-<date>-<time>.png: as large as the star
   display (both sides odd, the panel left out) and, pixel for pixel, what
   the screen shows there. The panel must say where it went. A second F12
   adds a second file. This run has the Khronos validation layer: the
   read-back must not draw a complaint.
2. --windowed on a 1280 x 1024 screen opens a 1200 x 800 window, and
   --save-file PATH makes closing the window save there.

usage: e2e_screenshot.py STARLOOM SHOT_DIR
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import check_validation_output, enable_validation, fail, find_window, run, require_tools, screenshot, send_close, start_xvfb  # noqa: E402

WIDTH, HEIGHT = 800, 600


def png_rgb(path):
    """Width, height and RGB bytes of a PNG file, through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, check=True,
                          timeout=60).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                          timeout=60).stdout
    return int(size[0]), int(size[1]), data


def left_part(shot, columns):
    """The screen's first columns, row by row (stars only: the panel is at the right)."""
    return b"".join(shot[y * WIDTH * 3:(y * WIDTH + columns) * 3] for y in range(HEIGHT))


def wait_until_settled(env, shot_dir, deadline):
    """Screenshots until two in a row show the same star display."""
    previous = None
    count = 0
    while time.time() < deadline:
        count += 1
        shot = screenshot(env, os.path.join(shot_dir, "settling.png"))
        part = left_part(shot, WIDTH // 2)
        if part == previous:
            return count
        previous = part
        time.sleep(2)
    fail("the star display did not settle")


def ocr(path, x0, y0, x1, y1):
    crop = path.replace(".png", "_crop.png")
    subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (x1 - x0, y1 - y0, x0, y0), "+repage",
                    "-colorspace", "Gray", "-resize", "300%", crop], check=True, timeout=60)
    return subprocess.run(["tesseract", crop, "-", "--psm", "6"], capture_output=True, text=True,
                          timeout=120).stdout


def wait_for_files(pattern, count, deadline):
    while time.time() < deadline:
        files = sorted(glob.glob(pattern))
        if len(files) >= count:
            time.sleep(1)  # let the writer finish the file
            return files
        time.sleep(0.5)
    fail("no screenshot file %s after F12" % pattern)


def start(program, args, env, home, log_name):
    log = open(os.path.join(home, log_name), "w")
    return subprocess.Popen([program] + args, env=env, stdout=log, stderr=subprocess.STDOUT, cwd=home)


def stop(proc, env, window, what):
    send_close(env["DISPLAY"], window)
    try:
        code = proc.wait(timeout=90)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail(what + ": the program did not end after the window was closed")
    if code != 0:
        fail("%s: the program ended with status %d" % (what, code))


def screenshot_run(program, shot_dir, home):
    os.makedirs(home)
    xvfb, display = start_xvfb("%dx%d" % (WIDTH, HEIGHT))
    proc = None
    try:
        env = dict(os.environ)
        config = os.path.join(home, "config")
        os.makedirs(config)
        with open(os.path.join(config, "user-dirs.dirs"), "w") as dirs:
            dirs.write('XDG_PICTURES_DIR="$HOME/Bilder"\n')
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data"),
                    "XDG_CONFIG_HOME": config})
        env.pop("XDG_PICTURES_DIR", None)
        enable_validation(env, home)
        proc = start(program, [], env, home, "starloom.log")
        window = find_window(env, time.time() + 90)
        if window is None:
            fail("no Starloom window within 90 s")
        run(["xdotool", "windowfocus", str(window)], env, check=False)
        wait_until_settled(env, shot_dir, time.time() + 300)

        run(["xdotool", "key", "F12"], env)
        pattern = os.path.join(home, "Bilder", "Starloom", "Starloom-*.png")
        files = wait_for_files(pattern, 1, time.time() + 60)
        name = os.path.basename(files[0])
        if len(name) != len("Starloom-2030-01-02-03-04-05.png"):
            fail("unexpected file name " + name)
        # The panel's message area says where it went: wait for it.
        screen_path = os.path.join(shot_dir, "screen_after_f12.png")
        text = ""
        deadline = time.time() + 120
        while "Screenshot" not in text or "Starloom" not in text:
            if time.time() > deadline:
                fail("the panel does not say where the screenshot went: %r" % text)
            screen = screenshot(env, screen_path)
            text = " ".join(ocr(screen_path, WIDTH // 2, 0, WIDTH, HEIGHT).split())
        shutil.copy(files[0], os.path.join(shot_dir, "f12_picture.png"))
        width, height, picture = png_rgb(files[0])

        # The star display's size: the screen less the panel, both sides odd.
        if height != HEIGHT - 1 or width % 2 != 1 or not WIDTH // 2 < width < WIDTH:
            fail("the screenshot is %dx%d on a %dx%d screen" % (width, height, WIDTH, HEIGHT))
        # What the screen shows there, pixel for pixel (a star that changed in
        # between may account for a few).
        differing = 0
        for y in range(height):
            row = screen[y * WIDTH * 3:(y * WIDTH + width) * 3]
            mine = picture[y * width * 3:(y + 1) * width * 3]
            if row != mine:
                differing += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] != mine[i:i + 3])
        if differing > width * height // 1000:
            fail("%d of %d pixels of the screenshot differ from the screen" % (differing, width * height))
        # Just right of it the panel begins: one flat colour down its middle
        # rows, unlike the display's last column.
        panel = {bytes(screen[(y * WIDTH + width) * 3:(y * WIDTH + width) * 3 + 3]) for y in range(200, 400)}
        if len(panel) != 1 or max(next(iter(panel))) < 20:
            fail("the column after the screenshot is not the panel's edge: %r" % sorted(panel)[:5])

        print("panel:", text)

        # A second F12, maybe within the same second: a second file, the first left alone.
        first_bytes = open(files[0], "rb").read()
        run(["xdotool", "key", "F12"], env)
        files = wait_for_files(pattern, 2, time.time() + 60)
        if open(os.path.join(home, "Bilder", "Starloom", name), "rb").read() != first_bytes:
            fail("the second screenshot changed the first file")
        stop(proc, env, window, "full screen")
        proc = None
        with open(os.path.join(home, "starloom.log")) as log:
            log_text = log.read()
        check_validation_output(log_text)
        print("F12 wrote %dx%d pictures: %s" % (width, height, ", ".join(os.path.basename(f) for f in files)))
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
        xvfb.kill()


def windowed_run(program, home):
    os.makedirs(home)
    xvfb, display = start_xvfb("1280x1024")
    proc = None
    try:
        env = dict(os.environ)
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data")})
        save = os.path.join(home, "elsewhere", "view.sav")
        proc = start(program, ["--windowed", "--save-file", save], env, home, "windowed.log")
        window = find_window(env, time.time() + 90)
        if window is None:
            fail("no Starloom window within 90 s")
        # At most 1200x800 and 90% of the 1280x1024 screen.
        expected = "Geometry: %dx%d" % (min(1200, 1280 * 9 // 10), min(800, 1024 * 9 // 10))
        deadline = time.time() + 60
        geometry = ""
        while expected not in geometry:
            if time.time() > deadline:
                fail("--windowed gave the window %r, not %s" % (geometry, expected))
            time.sleep(0.5)
            geometry = run(["xdotool", "getwindowgeometry", str(window)], env).stdout
        stop(proc, env, window, "windowed")
        proc = None
        if not os.path.isfile(save) or os.path.getsize(save) != 179:
            fail("--save-file: closing the window did not save to " + save)
        if os.path.exists(os.path.join(home, "data", "tarnwick", "default.sav")):
            fail("--save-file: the default save file was written too")
        print("--windowed: 1200x800; --save-file saved to", save)
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
        xvfb.kill()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, shot_dir = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(shot_dir, exist_ok=True)
    require_tools("Xvfb", "xdotool", "import", "convert", "identify", "tesseract")
    home = tempfile.mkdtemp(prefix="starloom-shot-")
    try:
        screenshot_run(program, shot_dir, os.path.join(home, "full"))
        windowed_run(program, os.path.join(home, "windowed"))
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

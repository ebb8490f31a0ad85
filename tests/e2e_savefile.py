#!/usr/bin/env python3
"""The save file end to end: the real program under Xvfb with the CPU Vulkan
driver, on a small screen so that frames come quickly.

1. A fresh start: raise the speed level three times with ".", fly forwards,
   click "Quit/save". starloom-cli savefile must show speed level 43 and a
   position away from the default.
2. Start again and click "Quit/save" at once: the file must come back byte
   for byte (position, orientation, speed level and the rest were loaded).
3. Start again, press "." and click "Quit/nosave": the file is untouched.
4. A damaged save file: the program starts, draws its view from the defaults
   and exits cleanly; closing the window saves, the new file holds the
   defaults and the damaged one is kept beside it (default.sav.unreadable-...),
   as standard error says.
6. A save file of a newer version: closing the window leaves it as it was,
   and the exit status (3) says the state was not saved.

The quit buttons are found by pixel search: the two lowest bands of button
colour in the screenshot, "Quit/save" above "Quit/nosave".

usage: e2e_savefile.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import check_validation_output, enable_validation, fail, find_window, region_stats, run, require_tools, screenshot, send_close, start_xvfb  # noqa: E402

WIDTH, HEIGHT = 800, 600
DEFAULT_POSITION = {"positionX": "-7003708179394623", "positionY": "-24996773029325252",
                    "positionZ": "1127289819641451"}


def is_button(r, g, b):
    """Dear ImGui's dark style draws buttons blue over a grey panel (hovered
    or not); stars and the galaxy's light are grey or too sparse."""
    return b >= 120 and b - r >= 40


def button_run(xs):
    """The widest group of button pixels in a row whose gaps (letters of the
    label) stay narrow: (count, first column, last column)."""
    best, start, count = (0, 0, 0), None, 0
    for i, x in enumerate(xs):
        if i == 0 or x - xs[i - 1] > 8:
            start, count = x, 0
        count += 1
        if count > best[0]:
            best = (count, start, x)
    return best


def button_bands(shot):
    """Horizontal bands of rows holding a button, top to bottom, each as
    [first row, last row, middle column]. Stars are bluish too, but scattered."""
    bands = []
    for y in range(HEIGHT):
        row = y * WIDTH * 3
        xs = [x for x in range(WIDTH) if is_button(shot[row + 3 * x], shot[row + 3 * x + 1], shot[row + 3 * x + 2])]
        count, first, last = button_run(xs)
        if count < 30:
            continue
        if bands and bands[-1][1] == y - 1:
            bands[-1][1] = y
        else:
            bands.append([y, y, (first + last) // 2])
    return [b for b in bands if b[1] - b[0] >= 8]


def click(env, x, y):
    run(["xdotool", "mousemove", "--sync", str(x), str(y)], env)
    time.sleep(1.5)
    run(["xdotool", "mousedown", "1"], env)
    time.sleep(0.6)
    run(["xdotool", "mouseup", "1"], env)


def savefile(cli, path):
    result = subprocess.run([cli, "savefile", path], capture_output=True, text=True, timeout=60)
    fields = {}
    for line in result.stdout.splitlines():
        name, _, value = line.partition(" ")
        fields[name] = value
    return result.returncode, fields, result.stdout


class Session:
    """One run of the program on the shared X server."""

    def __init__(self, program, env, home, shot_dir, name):
        self.env, self.shot_dir, self.name = env, shot_dir, name
        self.log_path = os.path.join(home, name + ".log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([program], env=env, stdout=self.log, stderr=subprocess.STDOUT, cwd=home)
        self.window = find_window(env, time.time() + 90)
        if self.window is None:
            self.kill()
            fail(name + ": no Starloom window within 90 s")
        time.sleep(8)
        if self.proc.poll() is not None:
            fail("%s: starloom exited early with status %s" % (name, self.proc.returncode))
        # Without a window manager nothing gives the window the focus, and the
        # panel follows the mouse only in a focused window.
        run(["xdotool", "windowfocus", "--sync", str(self.window)], env, check=False)
        # Away from the buttons: a hovered button has another colour.
        run(["xdotool", "mousemove", "--sync", str(WIDTH // 4), str(HEIGHT // 2)], env)

    def shot(self, label):
        data = screenshot(self.env, os.path.join(self.shot_dir, "%s_%s.png" % (self.name, label)))
        if len(data) != WIDTH * HEIGHT * 3:
            fail("unexpected screenshot size")
        return data

    def key(self, name, times=1):
        for _ in range(times):
            run(["xdotool", "key", "--window", str(self.window), name], self.env)
            time.sleep(0.7)

    def quit_button(self, which):
        """Clicks "Quit/save" (which=0) or "Quit/nosave" (which=1)."""
        bands = button_bands(self.shot("before_" + ("quit_save" if which == 0 else "quit_nosave")))
        if len(bands) < 2:
            fail("%s: the quit buttons were not found (%d button bands)" % (self.name, len(bands)))
        first, last, middle = bands[-2 + which]
        print("%s: clicking %s at (%d, %d)" % (self.name, ["Quit/save", "Quit/nosave"][which], middle,
                                              (first + last) // 2))
        click(self.env, middle, (first + last) // 2)

    def wait_exit(self, expected=0):
        try:
            status = self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.kill()
            fail(self.name + ": starloom did not exit")
        self.log.close()
        output = open(self.log_path).read()
        if output.strip():
            print(self.name + " output:\n" + output)
        if status != expected:
            fail("%s: exit status %d, expected %d" % (self.name, status, expected))
        check_validation_output(output)
        return output

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    program, cli, shot_dir = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(shot_dir, exist_ok=True)
    require_tools("Xvfb", "xdotool", "import", "convert")
    home = tempfile.mkdtemp(prefix="starloom-e2e-save-")
    xvfb, display = start_xvfb("%dx%d" % (WIDTH, HEIGHT))
    session = None
    try:
        env = dict(os.environ)
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data")})
        enable_validation(env, home)
        save_path = os.path.join(home, "data", "tarnwick", "default.sav")

        # 1. Speed up, fly, Quit/save.
        session = Session(program, env, home, shot_dir, "first")
        session.key("period", 3)
        run(["xdotool", "keydown", "--window", str(session.window), "space"], env)
        time.sleep(1.0)
        run(["xdotool", "keyup", "--window", str(session.window), "space"], env)
        time.sleep(2)
        session.quit_button(0)
        session.wait_exit()
        status, fields, text = savefile(cli, save_path)
        print("after the first run:\n" + text)
        if status != 0:
            fail("starloom-cli savefile failed on the saved file: " + text)
        if fields.get("speedLevel") != "43":
            fail("speed level %s saved, expected 43" % fields.get("speedLevel"))
        moved = [n for n, v in DEFAULT_POSITION.items() if fields.get(n, "").split(" ")[-1] != v]
        if not moved:
            fail("the saved position is still the default one after flying")
        first_bytes = open(save_path, "rb").read()

        # 2. Start again and save at once: everything came back.
        session = Session(program, env, home, shot_dir, "second")
        session.quit_button(0)
        session.wait_exit()
        second_bytes = open(save_path, "rb").read()
        if second_bytes != first_bytes:
            _, again, text = savefile(cli, save_path)
            print("after the second run:\n" + text)
            changed = [n for n in fields if fields[n] != again.get(n)]
            fail("the state did not come back whole; changed fields: " + ", ".join(changed))
        print("second run: the file came back byte for byte (speed level 43, position %s)"
              % ", ".join(fields[n] for n in sorted(DEFAULT_POSITION)))

        # 3. Quit/nosave leaves the file alone.
        session = Session(program, env, home, shot_dir, "nosave")
        session.key("period", 2)
        session.quit_button(1)
        session.wait_exit()
        if open(save_path, "rb").read() != first_bytes:
            fail("Quit/nosave changed the save file")
        print("Quit/nosave: the file is unchanged")

        # 4. A damaged file: the program runs from the defaults.
        damaged = bytearray(first_bytes)
        damaged[0] ^= 0xFF
        open(save_path, "wb").write(bytes(damaged))
        session = Session(program, env, home, shot_dir, "damaged")
        shot = session.shot("view")
        centre_x = (WIDTH - 180) // 2
        _, _, green = region_stats(shot, WIDTH, centre_x - 40, centre_x + 40, HEIGHT // 2 - 40, HEIGHT // 2 + 40)
        mean, bright, _ = region_stats(shot, WIDTH, 0, WIDTH - 200, 0, HEIGHT)
        print("damaged file: mean %.2f, bright pixels %d, cross-hair pixels %d" % (mean, bright, green))
        if green < 20:
            fail("no cross-hair: the view was not drawn from the defaults")
        send_close(display, session.window)
        told = session.wait_exit()
        kept = [n for n in os.listdir(os.path.dirname(save_path)) if n.startswith("default.sav.unreadable-")]
        if len(kept) != 1 or open(os.path.join(os.path.dirname(save_path), kept[0]), "rb").read() != damaged:
            fail("the damaged save file was not kept whole beside the new one: %s" % kept)
        if "kept as " + os.path.join(os.path.dirname(save_path), kept[0]) not in told:
            fail("standard error does not say where the damaged file went")
        status, fields, text = savefile(cli, save_path)
        if status != 0 or fields.get("speedLevel") != "40" or any(
                fields.get(n) != "0 " + v for n, v in DEFAULT_POSITION.items()):
            print(text)
            fail("after a damaged file the program did not run from the defaults")
        print("damaged file: the program ran from the defaults and saved them on close; the old one is " + kept[0])

        # 5. A held key turns by its time, a quick tap is not lost. Each
        # xdotool call holds its key for the time it sleeps, so that starting
        # the command costs the hold nothing.
        session = Session(program, env, home, shot_dir, "input")
        run(["xdotool", "keydown", "--window", str(session.window), "s", "sleep", "2",
             "keyup", "--window", str(session.window), "s"], env)
        run(["xdotool", "keydown", "--window", str(session.window), "period", "sleep", "0.03",
             "keyup", "--window", str(session.window), "period"], env)
        session.quit_button(0)
        session.wait_exit()
        status, fields, text = savefile(cli, save_path)
        forward = [float(v) for v in fields.get("forward", "0 0 0").split()]
        start = (0.11452456541239872, 0.9923381374686082, 0.04635887015917146)
        turned = math.acos(max(-1.0, min(1.0, sum(a * b for a, b in zip(forward, start)))))
        print("S held for 2 s turned the view by %.4f rad (%.1f %% of 2); speed level %s after a 30 ms tap"
              % (turned, 50 * turned, fields.get("speedLevel")))
        if status != 0 or abs(turned - 2.0) > 0.08:
            fail("S held for 2 s turned the view by %.4f rad, not 2" % turned)
        if fields.get("speedLevel") != "41":
            fail("a quick tap of \".\" was lost: speed level %s, expected 41" % fields.get("speedLevel"))

        # 6. A newer file is never written over; the exit status says so.
        newer = bytearray(first_bytes)
        newer[8] = 2
        open(save_path, "wb").write(bytes(newer))
        session = Session(program, env, home, shot_dir, "newer")
        send_close(display, session.window)
        told = session.wait_exit(3)
        if open(save_path, "rb").read() != bytes(newer) or "newer version" not in told:
            fail("the newer save file was written over, or nothing was said")
        print("newer file: left as it was, exit status 3")
        print("PASS")
        return 0
    finally:
        if session is not None:
            session.kill()
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

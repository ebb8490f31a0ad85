#!/usr/bin/env python3
"""Star names and location texts end to end: the real program under Xvfb with
the CPU Vulkan driver, on a small screen so that frames come quickly.

1. starloom --at NAME, from a fresh start: the Navigation page's "Copy" puts
   on the clipboard the place 'starloom-cli locate NAME' gives (next to the
   star on the way from the default viewpoint, looking at it), to the bit.
2. starloom --at LOCATION: "Copy" gives exactly that text back.
3. A star's name typed into the Catalog page's "Find:" field, then "Find":
   the ship turns and flies there. Copied again, the place lies 0.1 AU from
   the star ('starloom-cli locate' gives its position), and a search there
   ('starloom-cli search') lists that star first.
4. A location text of a galaxy with another seed on the clipboard, "Paste":
   "Copy" gives the same text back, seed included.
Closing the window ends the program with status 0 each time.

Widgets are found by reading the panel: the screenshot's panel strip, enlarged,
goes through tesseract (words and their boxes). The clipboard is read and
written with xclip.

usage: e2e_places.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import difflib
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import check_validation_output, enable_validation, fail, find_window, run, require_tools, screenshot, send_close, start_xvfb  # noqa: E402

WIDTH, HEIGHT = 800, 600
PANEL = 200  # the panel strip at the right edge, wide enough for it at this size
SCALE = 3    # the panel is read enlarged: its font is 13 pixels high
FLY_TO_STOP = 1.5e6  # 0.1 AU in position units


def cli(program, *args):
    result = subprocess.run([program] + list(args), capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        fail("starloom-cli %s: status %d: %s" % (" ".join(args), result.returncode, result.stdout + result.stderr))
    return result.stdout


def fields(text):
    out = {}
    for line in text.splitlines():
        name, _, value = line.partition(" ")
        out[name] = value
    return out


def located(program, name, *extra):
    f = fields(cli(program, "locate", name, *extra))
    return [int(v) for v in f["position"].split()], f["location"]


def where(program, text):
    f = fields(cli(program, "where", text))
    return [int(f[axis].split()[0]) for axis in ("positionX", "positionY", "positionZ")], f["seed"]


def distance(a, b):
    return math.sqrt(sum(float(x - y) ** 2 for x, y in zip(a, b)))


class Session:
    def __init__(self, program, env, home, shot_dir, args):
        self.env, self.home, self.shot_dir = env, home, shot_dir
        self.log_path = os.path.join(home, "starloom-%d.log" % len(args[-1]))
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([program] + args, env=env, stdout=self.log, stderr=subprocess.STDOUT, cwd=home)
        self.window = find_window(env, time.time() + 90)
        if self.window is None:
            self.kill()
            fail("no Starloom window within 90 s")
        time.sleep(8)
        if self.proc.poll() is not None:
            fail("starloom exited early with status %s" % self.proc.returncode)
        # Without a window manager nothing gives the window the focus, and the
        # panel follows the mouse and the keys only in a focused window.
        run(["xdotool", "windowfocus", "--sync", str(self.window)], env, check=False)
        self.shots = 0

    def words(self, label):
        """The panel's words as (text, x, y) of their centres on the screen."""
        self.shots += 1
        path = os.path.join(self.shot_dir, "%02d_%s.png" % (self.shots, label))
        screenshot(self.env, path)
        big = os.path.join(self.home, "panel.png")
        subprocess.run(["convert", path, "-crop", "%dx%d+%d+0" % (PANEL, HEIGHT, WIDTH - PANEL), "+repage",
                        # Light letters alone, dark on white: the buttons' blue confuses the reading.
                        "-colorspace", "Gray", "-threshold", "65%", "-negate",
                        "-resize", "%d%%" % (100 * SCALE), big], check=True, timeout=60)
        tsv = subprocess.run(["tesseract", big, "-", "--psm", "11", "tsv"], capture_output=True, text=True,
                             timeout=120).stdout
        words = []
        for line in tsv.splitlines()[1:]:
            cols = line.split("\t")
            if len(cols) < 12 or not cols[11].strip():
                continue
            left, top, w, h = (int(c) for c in cols[6:10])
            words.append((cols[11].strip(), WIDTH - PANEL + (left + w / 2) / SCALE, (top + h / 2) / SCALE,
                          WIDTH - PANEL + (left + w) / SCALE))
        return words

    def find(self, label, text, below=0.0, wait=40):
        """The word that reads most like `text` (OCR confuses a few letters),
        looked for again while the program has not drawn it yet."""
        deadline = time.time() + wait
        while True:
            words = [w for w in self.words(label) if w[2] >= below]
            score = lambda w: difflib.SequenceMatcher(None, w[0].lower(), text.lower()).ratio()  # noqa: E731
            best = max(words, key=score, default=None)
            if best is not None and score(best) >= 0.75:
                return best
            if time.time() > deadline:
                fail("'%s' not found on the panel (%s); words: %s" % (text, label, [w[0] for w in words]))
            time.sleep(3)

    def click(self, x, y):
        run(["xdotool", "mousemove", "--sync", str(int(x)), str(int(y))], self.env)
        time.sleep(1.5)
        run(["xdotool", "mousedown", "1"], self.env)
        time.sleep(1.5)  # lavapipe draws about a frame a second: the button must see it
        run(["xdotool", "mouseup", "1"], self.env)
        time.sleep(2.5)

    def press(self, label, text, below=0.0):
        word = self.find(label, text, below)
        print("clicking '%s' (read as '%s') at (%d, %d)" % (text, word[0], word[1], word[2]))
        self.click(word[1], word[2])
        return word

    def page(self, name):
        """Chooses a page in the combo at the top of the panel (its third row)."""
        self.click(WIDTH - PANEL + 60, 64)
        self.press("combo_" + name, name, below=60)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def close(session, display):
    """Closes the window as a window manager does; the program must end cleanly."""
    send_close(display, session.window)
    try:
        status = session.proc.wait(timeout=60)
    except subprocess.TimeoutExpired:
        fail("starloom did not exit after the window was closed")
    session.log.close()
    output = open(session.log_path).read()
    if output.strip():
        print("starloom output:\n" + output)
    if status != 0:
        fail("exit status %d after closing the window" % status)
    check_validation_output(output)


def clipboard(env):
    result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=env, capture_output=True, text=True,
                            timeout=30)
    return result.stdout.strip()


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    program, cli_program, shot_dir = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(shot_dir, exist_ok=True)
    require_tools("Xvfb", "xdotool", "import", "convert", "tesseract", "xclip")
    home = tempfile.mkdtemp(prefix="starloom-e2e-places-")
    xvfb, display = start_xvfb("%dx%d" % (WIDTH, HEIGHT))
    session = None
    holder = None
    try:
        env = dict(os.environ)
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data")})
        enable_validation(env, home)

        # Three stars near the default viewpoint, by their names.
        names = [line.split()[0] for line in cli(cli_program, "search").splitlines()]
        first, second, third = names[10], names[60], names[30]
        _, first_text = located(cli_program, first)
        second_position, _ = located(cli_program, second)
        third_position, third_text = located(cli_program, third)

        # 1. --at a star's name, from a fresh start at the default viewpoint:
        # next to the star as 'starloom-cli locate' reckons it, to the bit.
        session = Session(program, env, home, shot_dir, ["--at", first])
        session.press("home", "Navigation", below=70)
        session.press("navigation", "Copy", below=70)
        copied = clipboard(env)
        if copied != first_text:
            fail("--at %s, then Copy gave %s, expected %s" % (first, copied, first_text))
        print("--at NAME: next to %s, as starloom-cli locate places it" % first)
        close(session, display)

        # 2. --at a location text, and Copy gives it back.
        print("starting next to %s, then finding %s (%.2f pc away)"
              % (third, second, distance(third_position, second_position) * 3.2407792894e-13))
        session = Session(program, env, home, shot_dir, ["--at", third_text])
        session.page("Navigation")
        session.press("navigation", "Copy", below=70)
        copied = clipboard(env)
        if copied != third_text:
            fail("--at %s, then Copy gave %s" % (third_text, copied))
        print("--at LOCATION: Copy gives the same text back")

        # 3. Find a star by its name.
        session.page("Catalog")
        label = session.find("catalog", "Find:", below=70)
        session.click(label[3] + 40, label[2])  # the field right of the label
        run(["xdotool", "type", "--delay", "120", second], env)
        time.sleep(2)
        session.press("typed", "Find", below=label[2] + 8)
        arrived = None
        deadline = time.time() + 120
        session.page("Navigation")
        while time.time() < deadline:
            time.sleep(5)
            session.press("flying", "Copy", below=70)
            place, _ = where(cli_program, clipboard(env))
            gap = distance(place, second_position)
            print("%.0f position units from %s" % (gap, second))
            if abs(gap - FLY_TO_STOP) < 1e4:
                arrived = place
                break
        if arrived is None:
            fail("the ship did not arrive next to %s" % second)
        nearest = cli(cli_program, "search", "--at", *(str(c) for c in arrived)).splitlines()[0].split()[0]
        if nearest != second:
            fail("a search where the ship stopped lists %s first, not %s" % (nearest, second))
        print("Find %s: the ship stopped 0.1 AU from it, and a search there lists it first" % second)

        # 4. Paste a place in another galaxy; Copy gives it back, seed and all.
        _, other_text = located(cli_program, first, "--seed", "5", "7")
        # xclip serves the text until the program takes the clipboard over
        # (-quiet keeps it in the foreground, so that it can be ended).
        holder = subprocess.Popen(["xclip", "-quiet", "-i", "-selection", "clipboard"], env=env,
                                  stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        holder.stdin.write(other_text.encode())
        holder.stdin.close()
        time.sleep(1)
        session.press("paste", "Paste", below=70)
        session.press("pasted", "Copy", below=70)
        copied = clipboard(env)
        if copied != other_text:
            fail("Paste %s, then Copy gave %s" % (other_text, copied))
        if where(cli_program, copied)[1] != "5 7":
            fail("the pasted galaxy seed did not take")
        print("Paste: Copy gives the pasted text back, galaxy seed 5 7")

        close(session, display)
        print("PASS")
        return 0
    finally:
        if session is not None:
            session.kill()
        xvfb.kill()
        xvfb.wait()
        if holder is not None and holder.poll() is None:
            holder.kill()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

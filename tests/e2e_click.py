#!/usr/bin/env python3
"""Point, click, remember, end to end: the real program under Xvfb with the
CPU Vulkan driver.

1. starloom --at NAME: a click at the centre of the star display, where the
   named star's disc is, selects it: its information block, read back as
   text, names it.
2. A drag with the left button turns the view: the disc follows the pointer.
3. The Navigation page's bookmark "Add" keeps the place under the selected
   star's name in bookmarks.txt beside the save file.
4. Started again next to another star: the bookmark is still listed, and its
   "Go" returns to the bookmarked place ("Copy" gives its location text).
Every step waits for what it checks, with a deadline.

usage: e2e_click.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import difflib
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (check_validation_output, enable_validation, fail, find_window, require_tools, run, wait_until,  # noqa: E402
                         screenshot, send_close, start_xvfb)

WIDTH, HEIGHT = 800, 600
PANEL = 200  # the panel strip at the window's right edge, and a little of the display
SCALE = 3    # text is read enlarged
STAR = "S-MNQW-1"


def cli(program, *args):
    result = subprocess.run([program] + list(args), capture_output=True, text=True, timeout=120)
    if result.returncode != 0:
        fail("starloom-cli %s: status %d: %s" % (" ".join(args), result.returncode, result.stdout + result.stderr))
    return result.stdout


def location_of(program, name):
    return [l.split()[1] for l in cli(program, "locate", name).splitlines() if l.startswith("location ")][0]


class Program:
    def __init__(self, starloom, env, home, shots, args):
        self.env, self.home, self.shots = env, home, shots
        self.count = 0
        self.log_path = os.path.join(home, "starloom-%d.log" % len(os.listdir(home)))
        self.log = open(self.log_path, "w")
        prefix = os.environ.get("STARLOOM_E2E_WRAP", "").split()
        self.proc = subprocess.Popen(prefix + [starloom, "--windowed"] + args, env=env, stdout=self.log,
                                     stderr=subprocess.STDOUT, cwd=home)
        self.window = find_window(env, time.time() + 90)
        if self.window is None:
            self.kill()
            fail("no Starloom window within 90 s")
        # Without a window manager nothing gives the window the focus.
        run(["xdotool", "windowfocus", "--sync", str(self.window)], env, check=False)
        shell = run(["xdotool", "getwindowgeometry", "--shell", str(self.window)], env).stdout
        g = dict(line.split("=") for line in shell.split())
        self.x, self.y, self.width, self.height = (int(g[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        self.panel = self.x + self.width - PANEL  # the panel, and a little of the display

    def shot(self, label):
        self.count += 1
        path = os.path.join(self.shots, "%02d_%s.png" % (self.count, label))
        return path, screenshot(self.env, path)

    def words(self, label, x0, y0, w, h):
        """The words of a region as (text, x, y) of their centres on the screen."""
        path, _ = self.shot(label)
        big = os.path.join(self.home, "region.png")
        subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (w, h, x0, y0), "+repage",
                        "-colorspace", "Gray", "-threshold", "65%", "-negate", "-resize", "%d%%" % (100 * SCALE),
                        big], check=True, timeout=60)
        tsv = subprocess.run(["tesseract", big, "-", "--psm", "11", "tsv"], capture_output=True, text=True,
                             timeout=120).stdout
        out = []
        for line in tsv.splitlines()[1:]:
            cols = line.split("\t")
            if len(cols) < 12 or not cols[11].strip():
                continue
            left, top, ww, hh = (int(c) for c in cols[6:10])
            out.append((cols[11].strip(), x0 + (left + ww / 2) / SCALE, y0 + (top + hh / 2) / SCALE))
        return out

    def panel_word(self, label, text, below=0.0, seconds=60):
        def look():
            words = [w for w in self.words(label, self.panel, self.y, PANEL, self.height) if w[2] >= below]
            score = lambda w: difflib.SequenceMatcher(None, w[0].lower(), text.lower()).ratio()  # noqa: E731
            best = max(words, key=score, default=None)
            return best if best is not None and score(best) >= 0.75 else None
        return wait_until(look, "'%s' on the panel (%s)" % (text, label), seconds)

    def click(self, x, y):
        run(["xdotool", "mousemove", "--sync", str(int(x)), str(int(y))], self.env)
        run(["xdotool", "click", "1"], self.env)

    def press(self, label, text, below=0.0):
        word = self.panel_word(label, text, below)
        self.click(word[1], word[2])
        return word

    def page(self, name, seconds=120):
        """Chooses a page in the combo at the top of the panel, again until
        the combo shows it (a click can reach a list that is still appearing)."""
        def similar(word, text):
            return difflib.SequenceMatcher(None, word.lower(), text.lower()).ratio() >= 0.75

        def shown():
            self.click(self.panel + 80, self.y + 63)  # the page combo
            # Its list is up when it shows its last entry; the entry is the
            # lowest word of that name (a page may show the name too).
            deadline = time.time() + 15
            words = []
            while time.time() < deadline and not any(similar(w[0], "Licenses") for w in words):
                words = self.words("combo_" + name, self.panel, self.y, PANEL, self.height)
            entries = [w for w in words if similar(w[0], name)]
            if not entries:
                return False
            entry = max(entries, key=lambda w: w[2])
            self.click(entry[1], entry[2])
            deadline = time.time() + 15
            while time.time() < deadline:
                row = self.words("page", self.panel, self.y + 50, PANEL, 30)
                if any(similar(w[0], name) for w in row):
                    return True
            return False
        wait_until(shown, "the %s page" % name, seconds)

    def scroll_page(self, steps):
        """The wheel over the panel scrolls its page (and leaves the speed alone)."""
        run(["xdotool", "mousemove", "--sync", str(self.panel + 100), str(self.y + self.height // 2)], self.env)
        run(["xdotool", "click", "--repeat", str(abs(steps)), "5" if steps > 0 else "4"], self.env)
        # Away from the page, so that no entry shows the pointer's highlight.
        run(["xdotool", "mousemove", "--sync", str(self.panel + 100), str(self.y + 10)], self.env)

    def close(self, display):
        send_close(display, self.window)
        try:
            status = self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            fail("starloom did not exit after the window was closed")
        self.log.close()
        output = open(self.log_path).read()
        if status != 0:
            fail("exit status %d after closing the window: %s" % (status, output))
        check_validation_output(output)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def bright_centre(data):
    """The centre of the bright pixels of the star display (the disc)."""
    sx = sy = n = 0
    for y in range(0, HEIGHT, 2):
        row = y * WIDTH * 3
        for x in range(0, WIDTH - PANEL, 2):
            i = row + 3 * x
            if data[i] + data[i + 1] + data[i + 2] > 600:
                sx, sy, n = sx + x, sy + y, n + 1
    return (sx / n, sy / n, n) if n > 200 else None


def right_edge(data, y, x):
    """Where the bright disc that covers (x, y) ends on the right."""
    row = y * WIDTH * 3
    bright = lambda x: sum(data[row + 3 * x:row + 3 * x + 3]) > 600  # noqa: E731
    if not bright(x):
        return None
    while x + 1 < WIDTH and bright(x + 1):
        x += 1
    return x


def same_name(read, name):
    """A name as the text recognition reads it: it drops hyphens and mistakes
    Q and 0 for O."""
    norm = lambda t: t.upper().replace("-", "").replace("Q", "O").replace("0", "O")  # noqa: E731
    return norm(read) == norm(name)


def clipboard(env):
    return subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=env, capture_output=True, text=True,
                          timeout=30).stdout.strip()


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    starloom, starloom_cli, shots = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(shots, exist_ok=True)
    require_tools("Xvfb", "xdotool", "import", "convert", "tesseract", "xclip")
    home = tempfile.mkdtemp(prefix="starloom-e2e-click-")
    xvfb, display = start_xvfb("%dx%d" % (WIDTH, HEIGHT))
    program = None
    try:
        env = dict(os.environ)
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data")})
        enable_validation(env, home)
        marks = os.path.join(home, "data", "tarnwick", "bookmarks.txt")

        # 1. Next to the star, looking at it: its disc fills the centre.
        program = Program(starloom, env, home, shots, ["--at", STAR])
        centre = wait_until(lambda: bright_centre(program.shot("start")[1]), "the star's disc", 120)
        print("the disc is drawn round (%.0f, %.0f)" % centre[:2])
        program.click(centre[0], centre[1])
        block = (0, 0, (WIDTH - PANEL) // 2, HEIGHT // 2)
        wait_until(lambda: any(same_name(w[0], STAR) for w in program.words("info", *block)),
                   "the information block to name " + STAR, 90)
        print("a click on the disc: the information block names", STAR)

        # 2. A drag turns the view: the disc's right edge follows the pointer.
        before = right_edge(program.shot("before_drag")[1], int(centre[1]), int(centre[0]))
        x0, y0 = centre[0] + 60, centre[1] - 40
        run(["xdotool", "mousemove", "--sync", str(int(x0)), str(int(y0))], env)
        run(["xdotool", "mousedown", "1"], env)
        for k in range(1, 9):
            run(["xdotool", "mousemove", "--sync", str(int(x0 + 10 * k)), str(int(y0 + 5 * k))], env)
        run(["xdotool", "mouseup", "1"], env)
        after = wait_until(lambda: (lambda e: e if e and abs(e - before - 80) <= 8 else None)(
                           right_edge(program.shot("dragged")[1], int(centre[1]) + 40, int(centre[0]) + 80)),
                           "the disc to follow the drag", 90)
        print("a drag of (+80, +40) moved the disc's edge from %d to %d" % (before, after))

        # 3. A bookmark of this place, named after the selected star.
        program.page("Navigation")
        program.scroll_page(10)
        program.press("navigation", "Add", below=program.y + 100)
        line = wait_until(lambda: os.path.exists(marks) and [l for l in open(marks, encoding="utf-8")
                                                             if l.startswith(STAR + "\t")],
                          "the bookmark in " + marks, 30)[0]
        kept = line.rstrip("\n").split("\t")[1]
        print("Add: bookmarks.txt holds", STAR)
        program.close(display)

        # 4. Elsewhere, next to another star: the bookmark's Go returns.
        other = cli(starloom_cli, "search").splitlines()[40].split()[0]
        program = Program(starloom, env, home, shots, ["--at", location_of(starloom_cli, other)])
        program.page("Navigation")
        program.scroll_page(10)
        entry = program.press("bookmarks", STAR, below=program.y + 100)
        program.press("chosen", "Go", below=entry[2] + 5)

        def arrived():
            program.scroll_page(-10)
            program.press("went", "Copy", below=program.y + 100)
            return clipboard(env) == kept
        wait_until(arrived, "Go to bring back the bookmarked place", 90)
        program.shot("went")
        print("after a restart the bookmark is listed, and its Go returns to the place")
        program.close(display)
        program = None
        print("PASS")
        return 0
    finally:
        if program is not None:
            program.kill()
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

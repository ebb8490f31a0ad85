"""What the end-to-end tests of the real program share.

A Rig is one private X server (Xvfb -displayfd, so several tests can run at
once) with a temporary home; every process started through it ends with it.
A Session is one run of the program in the rig, under the validation layer.
Every wait is for the condition it checks (wait_until) with a deadline of
minutes: on two busy cores a frame of the CPU Vulkan driver can take seconds.
A tool missing (tools/install-deps.sh installs them) fails where it is run.
"""
import ctypes
import difflib
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

DEADLINE = 300  # seconds: what any one condition is given before it fails

# The Khronos validation layer, with its synchronisation checks (SYNC-... hazards).
VALIDATION_LAYER = "VK_LAYER_KHRONOS_validation"
SYNCHRONIZATION_VALIDATION = "VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT"
LAYER_MANIFEST = "/usr/share/vulkan/explicit_layer.d/VkLayer_khronos_validation.json"


def fail(message):
    print("FAIL:", message, file=sys.stderr)
    raise SystemExit(1)


def script_args(usage, count):
    if len(sys.argv) != count + 1:
        print(usage, file=sys.stderr)
        raise SystemExit(2)
    return [os.path.abspath(a) for a in sys.argv[1:]]


def wait_until(probe, what, seconds=DEADLINE, interval=0.5):
    """probe()'s first true value; fails at the deadline naming `what` (a text or a function)."""
    deadline = time.monotonic() + seconds
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            fail("%s: not within %d s" % (what() if callable(what) else what, seconds))
        time.sleep(interval)


def flat(text):
    return " ".join(text.split())


def cli_fields(cli, *args):
    """What starloom-cli prints, as a dictionary of its "name value" lines."""
    result = subprocess.run([cli] + list(args), capture_output=True, text=True, timeout=DEADLINE)
    if result.returncode != 0:
        fail("starloom-cli %s: status %d: %s" % (" ".join(args), result.returncode, result.stdout + result.stderr))
    return dict(line.partition(" ")[::2] for line in result.stdout.splitlines())


def place_of(cli, text):
    """The position a location text names (integer position units) and its seed."""
    fields = cli_fields(cli, "where", text)
    return [int(fields[axis].split()[0]) for axis in ("positionX", "positionY", "positionZ")], fields["seed"]


def pixels(path):
    return subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                          timeout=DEADLINE).stdout


def region_stats(data, width, x0, x1, y0, y1, step=1):
    """Mean brightness, bright-pixel count and green-only pixel count."""
    total = bright = green = count = 0
    for y in range(y0, y1, step):
        row = y * width * 3
        for x in range(x0, x1, step):
            r, g, b = data[row + 3 * x], data[row + 3 * x + 1], data[row + 3 * x + 2]
            total += r + g + b
            count += 1
            bright += r + g + b > 300
            green += g > 150 and r < 60 and b < 60
    return total / (3.0 * count), bright, green


class Rig:
    """An X server and a temporary home; leaving the `with` ends every process started through it."""

    def __init__(self, shot_dir, size=(800, 600), validation=True):
        self.shot_dir, self.size, self.validation = os.path.abspath(shot_dir), size, validation
        self.children, self.sessions, self.shots = [], [], 0
        # The panel at the right edge, with a margin (its width depends on the font).
        self.panel = (size[0] - 200, 0, size[0], size[1])

    def __enter__(self):
        os.makedirs(self.shot_dir, exist_ok=True)
        for old in glob.glob(os.path.join(self.shot_dir, "*.png")):
            os.remove(old)
        # Xvfb writes the number of the display it took to the pipe.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % self.size, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.children.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip()
        if not number:
            xvfb.kill()
            xvfb.wait()
            fail("Xvfb did not start")
        self.display = ":" + number.decode()
        self.home = tempfile.mkdtemp(prefix="starloom-e2e-")
        self.env = dict(os.environ)
        self.env.update({"DISPLAY": self.display, "HOME": self.home,
                         "XDG_DATA_HOME": os.path.join(self.home, "data")})
        for name in ("XDG_CONFIG_HOME", "XDG_PICTURES_DIR", "VK_INSTANCE_LAYERS"):
            self.env.pop(name, None)
        if self.validation:
            # The layer reads its settings from the working directory; complaints go to standard output.
            if not os.path.exists(LAYER_MANIFEST):
                fail("the validation layer is not installed (tools/install-deps.sh installs it)")
            self.env.update({"VK_INSTANCE_LAYERS": VALIDATION_LAYER, "VK_LAYER_ENABLES": SYNCHRONIZATION_VALIDATION})
            with open(os.path.join(self.home, "vk_layer_settings.txt"), "w") as settings:
                settings.write("khronos_validation.report_flags = error,warn,perf\n"
                               "khronos_validation.debug_action = VK_DBG_LAYER_ACTION_LOG_MSG\n"
                               "khronos_validation.log_filename = stdout\n"
                               "khronos_validation.enables = %s\n" % SYNCHRONIZATION_VALIDATION)
        return self

    def __exit__(self, kind, value, traceback):
        for session in self.sessions:
            if session.proc.poll() is None and kind is not None:
                print("%s was still running; its output so far:\n%s" % (session.name, session.output()[-3000:]))
        for child in reversed(self.children):
            if child.poll() is None:
                child.kill()
            child.wait()
        shutil.rmtree(self.home, ignore_errors=True)
        return False

    @property
    def save_path(self):
        return os.path.join(self.home, "data", "tarnwick", "default.sav")

    def spawn(self, cmd, **kwargs):
        child = subprocess.Popen(cmd, env=self.env, **kwargs)
        self.children.append(child)
        return child

    def run(self, cmd, check=True):
        result = subprocess.run(cmd, env=self.env, capture_output=True, text=True, timeout=DEADLINE)
        if check and result.returncode != 0:
            fail("%s: status %d: %s" % (" ".join(cmd), result.returncode, result.stdout + result.stderr))
        return result

    def start(self, program, args=(), name="starloom", full_screen=True):
        return Session(self, program, list(args), name, full_screen)

    def shot(self, label):
        """A screenshot of the whole screen in the shot folder: (path, RGB bytes)."""
        self.shots += 1
        path = os.path.join(self.shot_dir, "%02d_%s.png" % (self.shots, label))
        self.run(["import", "-window", "root", path])
        data = pixels(path)
        if len(data) != self.size[0] * self.size[1] * 3:
            fail("a screenshot of %d bytes on a %dx%d screen" % (len(data), *self.size))
        return path, data

    def read(self, label, box, words=False, picture=None):
        """Text in a box (x0, y0, x1, y1) of a new screenshot or a picture, light letters alone, enlarged (the
        panel's buttons and the stars confuse a plain reading); with `words`, (word, centre x, centre y, right)."""
        picture = picture or self.shot(label)[0]
        scratch = os.path.splitext(picture)[0] + ("_words.png" if words else "_text.png")
        x0, y0, x1, y1 = box
        subprocess.run(["convert", picture, "-crop", "%dx%d+%d+%d" % (x1 - x0, y1 - y0, x0, y0), "+repage",
                        "-colorspace", "Gray", "-threshold", "65%", "-negate", "-resize", "300%", scratch],
                       check=True, timeout=DEADLINE)
        args = ["--psm", "11", "tsv"] if words else ["--psm", "6"]
        text = subprocess.run(["tesseract", scratch, "-"] + args, capture_output=True, text=True,
                              timeout=DEADLINE).stdout
        if not words:
            return text
        found = []
        for line in text.splitlines()[1:]:
            cols = line.split("\t")
            if len(cols) < 12 or not cols[11].strip():
                continue
            left, top, w, h = (int(c) for c in cols[6:10])
            found.append((cols[11].strip(), x0 + (left + w / 2) / 3, y0 + (top + h / 2) / 3, x0 + (left + w) / 3))
        return found

    def read_until(self, label, box, needles, seconds=DEADLINE):
        """Waits for the needles in a box. A thread keeps taking pictures of the box and each new one is
        read in turn, so a message shown for some seconds is seen even when a reading takes longer."""
        x0, y0, x1, y1 = box
        pictures, read, text, stop = [], [0], [""], threading.Event()

        def take():
            while not stop.wait(0.5):
                picture = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (
                    x1 - x0, y1 - y0, x0, y0), "ppm:-"], env=self.env, capture_output=True, timeout=DEADLINE).stdout
                if picture and picture != (pictures or [b""])[-1]:
                    pictures.append(picture)

        def probe():
            for picture in pictures[read[0]:]:
                read[0] += 1
                self.shots += 1
                path = os.path.join(self.shot_dir, "%02d_%s.ppm" % (self.shots, label))
                with open(path, "wb") as f:
                    f.write(picture)
                text[0] = self.read(label, (0, 0, x1 - x0, y1 - y0), picture=path)
                if all(n in flat(text[0]) for n in needles):
                    return True
        taker = threading.Thread(target=take, daemon=True)
        taker.start()
        try:
            wait_until(probe, lambda: "%s: %r on the screen, read: %r" % (label, needles, flat(text[0])[:300]),
                       seconds)
        finally:
            stop.set()
            taker.join()
        return text[0]

    def clipboard(self):
        return self.run(["xclip", "-o", "-selection", "clipboard"], check=False).stdout.strip()

    def offer_clipboard(self, text):
        """xclip serves the text until the program takes the clipboard over."""
        holder = self.spawn(["xclip", "-quiet", "-i", "-selection", "clipboard"], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        holder.stdin.write(text.encode())
        holder.stdin.close()
        wait_until(lambda: self.clipboard() == text, "the clipboard holds %r" % text)

    def xdotool(self, *args):
        self.run(["xdotool"] + [str(a) for a in args])

    def click(self, x, y):
        """A click shorter than a frame; the pointer then leaves (a hovered button reads badly)."""
        self.xdotool("mousemove", "--sync", int(x), int(y), "mousedown", 1, "sleep", 0.03, "mouseup", 1,
                     "sleep", 0.03, "mousemove", 1, 1)

    def quit(self, save=True):
        """Clicks "Quit/save" or, below it, "Quit/nosave" (the panel's bottom right)."""
        self.click(self.size[0] - 127, self.size[1] - (57 if save else 28))

    def key(self, name, hold=0.03):
        self.xdotool("keydown", name, "sleep", hold, "keyup", name)


class Session:
    """One run of the program in a rig, from its window to its end."""

    def __init__(self, rig, program, args, name, full_screen):
        self.rig, self.name = rig, name
        self.log_path = os.path.join(rig.home, name + ".log")
        self.started = time.monotonic()
        with open(self.log_path, "w") as log:
            self.proc = rig.spawn([program] + args, stdout=log, stderr=subprocess.STDOUT, cwd=rig.home)
        rig.sessions.append(self)

        def window():
            if self.proc.poll() is not None:
                fail("%s: starloom exited with status %d before its window showed:\n%s"
                     % (name, self.proc.returncode, self.output()))
            ids = rig.run(["xdotool", "search", "--name", "^Starloom$"], check=False).stdout.split()
            return int(ids[0]) if ids else None
        self.window = wait_until(window, name + ": the Starloom window")
        # Once the panel (at the top right) is drawn, a click finds its buttons.
        width = rig.size[0]
        if full_screen:
            wait_until(lambda: window() and region_stats(rig.shot(name + "_start")[1], width, width - 180, width,
                                                         0, 60)[1] >= 50, name + ": the program draws its window")

        # Without a window manager nothing gives the window the keyboard focus.
        def focused():
            rig.run(["xdotool", "windowfocus", str(self.window)], check=False)
            return rig.run(["xdotool", "getwindowfocus"], check=False).stdout.strip() == str(self.window)
        wait_until(focused, name + ": the window has the keyboard focus")

    def output(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def settled(self, label="settled"):
        """The screen once the star display has stayed the same for 3 s (the star field complete)."""
        width, height = self.rig.size
        last = [None, 0.0]

        def probe():
            data = self.rig.shot(label)[1]
            display = b"".join(data[y * width * 3:(y * width + width - 200) * 3] for y in range(height))
            if display != last[0]:
                last[:] = display, time.monotonic()
            return time.monotonic() - last[1] >= 3 and data
        return wait_until(probe, self.name + ": the star display settles")

    def find(self, label, text, below=0.0, box=None, seconds=DEADLINE):
        """The word in the box (the panel) reading most like `text`, once drawn: (word, x, y, right)."""
        found = [None]

        def probe():
            words = [w for w in self.rig.read(label, box or self.rig.panel, words=True) if w[2] >= below]
            # OCR confuses a few letters of the panel's font: the word reading most alike.
            alike = [(difflib.SequenceMatcher(None, w[0].lower(), text.lower()).ratio(), w) for w in words]
            best = max(alike, key=lambda a: a[0], default=(0, None))
            found[0] = [w[0] for w in words]
            return best[1] if best[0] >= 0.75 else None
        return wait_until(probe, lambda: "%s: '%s' on the screen, words: %s" % (label, text, found[0]), seconds)

    def press(self, label, text, below=0.0, box=None):
        word = self.find(label, text, below, box)
        print("clicking '%s' (read as '%s') at (%d, %d)" % (text, word[0], word[1], word[2]))
        self.rig.click(word[1], word[2])
        return word

    def page(self, word):
        """Chooses the page with `word` in its name from the page combo; returns once it shows."""
        width = self.rig.size[0]
        self.rig.click(width - 130, 64)
        self.find("pages", "Credits", below=75)  # the list's last entry
        self.press("page_" + word, word, below=75)
        self.find("page_shown", word, box=(width - 200, 50, width, 78))

    def copy(self):
        """The Navigation page's "Copy": the place's text, once it is on the clipboard."""
        placeholder = "(nothing copied yet)"
        self.rig.offer_clipboard(placeholder)
        self.press("copy", "Copy", below=70)

        def probe():
            text = self.rig.clipboard()
            return text if text not in ("", placeholder) else None
        return wait_until(probe, self.name + ": Copy puts the place on the clipboard")

    def close(self):
        """WM_DELETE_WINDOW as a window manager sends it (the event as the longs of its 64-bit
        layout: type, serial, send_event, display, window, message type, format, data)."""
        x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XInternAtom.restype = ctypes.c_ulong
        dpy = ctypes.c_void_p(x11.XOpenDisplay(self.rig.display.encode()))
        if not dpy:
            fail("cannot open display " + self.rig.display)

        def atom(name):
            return ctypes.c_long(x11.XInternAtom(dpy, name, 0)).value
        event = (ctypes.c_long * 24)(33, 0, 0, 0, self.window, atom(b"WM_PROTOCOLS"), 32, atom(b"WM_DELETE_WINDOW"))
        x11.XSendEvent(dpy, ctypes.c_ulong(self.window), 0, ctypes.c_long(0), event)
        x11.XFlush(dpy)
        x11.XCloseDisplay(dpy)

    def wait_exit(self, expected=0, validation=True):
        """The program's output once it ends with status `expected` and no complaint of the layer."""
        try:
            status = self.proc.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            fail(self.name + ": starloom did not exit")
        output = self.output()
        if output.strip():
            print("%s output:\n%s" % (self.name, output))
        if status != expected:
            fail("%s: exit status %d, expected %d" % (self.name, status, expected))
        complaints = ("Validation Error", "Validation Warning", "VUID", "UNASSIGNED", "SYNC-")
        problems = [line.strip() for line in output.splitlines() if validation and any(c in line for c in complaints)]
        if problems:
            fail("the validation layer reported %d problems, first: %s" % (len(problems), problems[0]))
        return output


def newest_files(pattern, count, what):
    """The files matching the pattern once there are `count` and none still grows."""
    sizes = [None]

    def probe():
        files = sorted(glob.glob(pattern))
        now = [os.path.getsize(f) for f in files]
        ready = len(files) >= count and now == sizes[0] and all(now)
        sizes[0] = now
        return files if ready else None
    return wait_until(probe, what)

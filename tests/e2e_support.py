"""What the end-to-end tests of the real program share: a private X server,
commands with its display, the program's window, screenshots and their pixel
statistics, and closing the window the way a window manager does."""
import ctypes
import os
import shutil
import subprocess
import sys
import time


def fail(message):
    print("FAIL:", message, file=sys.stderr)
    raise SystemExit(1)


def require_tools(*tools):
    """Fails at once, naming the first missing command."""
    for tool in tools:
        if shutil.which(tool) is None:
            fail(tool + " is not installed (tools/install-deps.sh installs it)")


# What the Khronos validation layer checks in every run of the tests: the API's
# rules and, with this, the synchronisation between commands (hazards such as
# a write after a write that no barrier orders are reported as SYNC-...).
VALIDATION_LAYER = "VK_LAYER_KHRONOS_validation"
SYNCHRONIZATION_VALIDATION = "VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT"


def enable_validation(env, folder):
    """The validation layer, synchronisation checks included, for a run whose
    working directory is `folder` (the layer reads its settings from there):
    errors, warnings and performance warnings go to standard output, where
    check_validation_output looks for them."""
    env["VK_INSTANCE_LAYERS"] = VALIDATION_LAYER
    env["VK_LAYER_ENABLES"] = SYNCHRONIZATION_VALIDATION
    with open(os.path.join(folder, "vk_layer_settings.txt"), "w") as settings:
        settings.write("khronos_validation.report_flags = error,warn,perf\n"
                       "khronos_validation.debug_action = VK_DBG_LAYER_ACTION_LOG_MSG\n"
                       "khronos_validation.log_filename = stdout\n"
                       "khronos_validation.enables = %s\n" % SYNCHRONIZATION_VALIDATION)


def check_validation_output(text):
    """Fails when the Khronos validation layer's output holds a complaint."""
    problems = [line.strip() for line in text.splitlines()
                if "Validation Error" in line or "Validation Warning" in line or "VUID" in line
                or "UNASSIGNED" in line or "SYNC-" in line]
    if problems:
        fail("the validation layer reported %d problems, first: %s" % (len(problems), problems[0]))


def start_xvfb(size="1280x1024"):
    """Xvfb picks a free display itself and reports it through a pipe."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        xvfb.kill()
        fail("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def run(cmd, env, check=True):
    return subprocess.run(cmd, env=env, check=check, capture_output=True, text=True, timeout=60)


def find_window(env, deadline):
    while time.time() < deadline:
        result = run(["xdotool", "search", "--name", "^Starloom$"], env, check=False)
        ids = result.stdout.split()
        if ids:
            return int(ids[0])
        time.sleep(0.5)
    return None


def screenshot(env, path):
    run(["import", "-window", "root", path], env)
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], env=env, capture_output=True,
                          check=True, timeout=60).stdout
    return data


def region_stats(data, width, x0, x1, y0, y1):
    """Mean brightness, bright-pixel count and green-only pixel count."""
    total = 0
    bright = 0
    green = 0
    count = 0
    for y in range(y0, y1):
        row = y * width * 3
        for x in range(x0, x1):
            r, g, b = data[row + 3 * x], data[row + 3 * x + 1], data[row + 3 * x + 2]
            total += r + g + b
            count += 1
            if r + g + b > 300:
                bright += 1
            if g > 150 and r < 60 and b < 60:
                green += 1
    return total / (3.0 * count), bright, green


def send_close(display, window):
    """WM_DELETE_WINDOW as a ClientMessage, as a window manager sends it."""
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class XEvent(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        fail("cannot open display " + display)
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    event.xclient.data[1] = 0  # CurrentTime
    x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
    x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)

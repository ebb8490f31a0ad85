#!/usr/bin/env python3
"""The real program's window on a 1280 x 1024 screen: at rest (the star field
complete) it uses under 2 % of one core (its CPU time in /proc over 10 s);
it shows stars, background light and the cross-hair; a key going down at
rest wakes it at once and Space moves the view; C drops the cross-hair; an
unmapped window draws nothing, even with a key held; closing the window as
a window manager does (WM_DELETE_WINDOW) ends it with status 0.

usage: e2e_window.py STARLOOM SHOT_DIR [--no-device | --tsan]
  --no-device  point the Vulkan loader at no driver and expect exit status
               1 with the fatal-error text on standard error
  --tsan       a ThreadSanitizer build (without the validation layer): fail on
               a race with a frame of the program's own in the racing
               accesses' stacks; reports wholly inside the CPU Vulkan driver
               (whose locking it cannot see) are listed and tolerated.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, fail, region_stats, wait_until  # noqa: E402

WIDTH, HEIGHT = 1280, 1024


def program_reports(log_dir, program):
    """ThreadSanitizer's reports as (ours, driver's): ours have a frame of the program in a reported
    access's stack, above the sections that say where a heap block, a mutex or a thread came from."""
    ours, driver = [], []
    frame = "(%s+" % os.path.basename(program)
    for entry in sorted(os.listdir(log_dir)):
        for block in open(os.path.join(log_dir, entry), errors="replace").read().split("=================="):
            if "WARNING: ThreadSanitizer" in block:
                accesses = re.split(r"\n\s*(?:Location is|Thread T|Main thread|Mutex M[^\n]*created at)", block)[0]
                (ours if frame in accesses else driver).append(block.strip())
    return ours, driver


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_share(proc, seconds):
    """The share of one core the process uses over the next `seconds`."""
    start_wall, start_cpu = time.monotonic(), cpu_seconds(proc.pid)
    time.sleep(seconds)
    return (cpu_seconds(proc.pid) - start_cpu) / (time.monotonic() - start_wall)


def wait_for_rest(proc, what, quiet_share=0.02, span=2.0):
    """Waits until the process has used under quiet_share of one core over the last `span` seconds."""
    samples = [(time.monotonic(), cpu_seconds(proc.pid))]

    def probe():
        if proc.poll() is not None:
            fail("starloom exited early with status %s" % proc.returncode)
        now = (time.monotonic(), cpu_seconds(proc.pid))
        samples.append(now)
        while len(samples) > 2 and now[0] - samples[1][0] >= span:
            samples.pop(0)
        first = samples[0]
        return now[0] - first[0] >= span and (now[1] - first[1]) / (now[0] - first[0]) < quiet_share
    wait_until(probe, what, seconds=900, interval=0.25)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    tsan = "--tsan" in sys.argv
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    program, shot_dir = os.path.abspath(args[0]), os.path.abspath(args[1])
    with Rig(shot_dir, size=(WIDTH, HEIGHT), validation=not tsan and "--no-device" not in sys.argv) as rig:
        if "--no-device" in sys.argv:
            rig.env["VK_ICD_FILENAMES"] = rig.env["VK_DRIVER_FILES"] = os.path.join(rig.home, "no-such-driver.json")
            result = rig.run([program], check=False)
            print(result.stderr)
            told = "Error:" in result.stderr and "Cannot run because your graphics card" in result.stderr
            if result.returncode != 1 or not told:
                fail("exit status %d without a Vulkan device (1 expected), the fatal-error text on standard error: %s"
                     % (result.returncode, told))
            print("PASS")
            return 0
        tsan_dir = os.path.join(rig.home, "tsan")
        if tsan:
            os.makedirs(tsan_dir)
            # The worker hand-off locks each partner's mutex while holding its
            # own, by design (the partner always waits at that moment); the
            # lock-order check would report that, races are what is checked.
            rig.env["TSAN_OPTIONS"] = ("halt_on_error=0:exitcode=0:detect_deadlocks=0:log_path="
                                       + os.path.join(tsan_dir, "report"))
        session = rig.start(program)
        proc = session.proc
        wait_for_rest(proc, "starloom comes to rest (its star field complete)")
        print("at rest %.1f s after launch" % (time.monotonic() - session.started))
        # At rest it waits for events.
        share = cpu_share(proc, 10)
        print("at rest: %.2f %% of one core" % (100 * share))
        if share > 0.02:
            fail("starloom used %.1f %% of one core at rest" % (100 * share))

        _, shot = rig.shot("default_view")
        display_right = WIDTH - 200  # the panel is at the right edge
        centre = (display_right // 2, HEIGHT // 2)
        mean, bright, _ = region_stats(shot, WIDTH, 0, display_right, 0, HEIGHT)
        _, _, green = region_stats(shot, WIDTH, centre[0] - 60, centre[0] + 60, centre[1] - 60, centre[1] + 60)
        print("default view: mean %.2f, bright pixels %d, cross-hair pixels %d" % (mean, bright, green))
        if green < 40:
            fail("no cross-hair at the display centre")
        if mean < 2.0:
            fail("no background light (mean brightness %.2f)" % mean)
        if bright < 20:
            fail("no stars (%d bright pixels)" % bright)

        # A key at rest wakes the program within the first second; the view moves while it is held.
        before = cpu_seconds(proc.pid)
        rig.xdotool("keydown", "space")
        woke = cpu_share(proc, 1.0)
        print("CPU share in the first second after the key went down: %.3f" % woke)
        if woke < 0.05:
            fail("starloom did not wake up when a key went down at rest")

        def moved():  # a sample of the star display's pixels changes clearly; the foot of the display is
            # left out: the key also takes the first start's flight hint away
            after = rig.shot("flying")[1]
            return sum(1 for i in range(0, len(shot), 3 * 97) if i // 3 % WIDTH < display_right
                       and i // 3 // WIDTH < HEIGHT - 120 and abs(shot[i] - after[i]) > 8) >= 10
        wait_until(moved, "the view moves while Space is held")
        rig.xdotool("keyup", "space")
        print("CPU time while flying: %.1f s" % (cpu_seconds(proc.pid) - before))

        # C toggles the cross-hair off.
        rig.key("c")
        wait_until(lambda: region_stats(rig.shot("no_crosshair")[1], WIDTH, centre[0] - 60, centre[0] + 60,
                                        centre[1] - 60, centre[1] + 60)[2] <= green // 4,
                   "the cross-hair goes after pressing C")

        # A hidden window draws nothing, even with a key held down.
        wait_for_rest(proc, "starloom comes back to rest after flying")
        # (An unmapped window has no focus: the key goes to it directly.)
        rig.xdotool("windowunmap", "--sync", session.window)
        rig.xdotool("keydown", "--window", session.window, "space")
        hidden = cpu_share(proc, 4)
        rig.xdotool("keyup", "--window", session.window, "space")
        rig.xdotool("windowmap", "--sync", session.window)
        print("hidden, Space held: %.2f %% of one core" % (100 * hidden))
        if hidden > 0.02:
            fail("starloom used %.1f %% of one core while its window was hidden" % (100 * hidden))

        session.close()
        session.wait_exit(validation=not tsan)
        if tsan:
            ours, driver = program_reports(tsan_dir, program)
            print("ThreadSanitizer: %d report(s) inside the driver only, %d involving the program"
                  % (len(driver), len(ours)))
            for report in driver[:3]:
                print(report.splitlines()[1] if len(report.splitlines()) > 1 else report)
            if ours:
                print(ours[0])
                fail("ThreadSanitizer reported %d race(s) in the program's own code" % len(ours))
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

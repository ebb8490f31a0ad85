#!/usr/bin/env python3
"""End-to-end run of the real program under Xvfb with the CPU Vulkan driver.

Starts its own X server on a free display, launches starloom with a fresh
HOME and XDG_DATA_HOME, waits for the window and for the program to come to
rest (the star field complete: it must then use less than 2 % of one core,
measured from its CPU time in /proc over 10 s), takes screenshots and checks
them by pixel statistics, drives the keyboard with xdotool (a key pressed at
rest must move the view at once), then closes the window the way a window
manager does (a WM_DELETE_WINDOW client message) and expects a clean exit
with status 0. An unmapped window must draw nothing, even with a key held.

usage: e2e_window.py STARLOOM SHOT_DIR [--expect-sky] [--validation] [--no-device] [--tsan]
  --expect-sky   also require visible stars and background light, and a
                 changed view after flying (needs the star-field engine)
  --validation   run with the Khronos validation layer and fail on any
                 error or warning it reports
  --no-device    point the Vulkan loader at no driver and expect exit
                 status 1 with the fatal-error text on standard error
  --tsan         the program is a ThreadSanitizer build: collect its reports
                 and fail on any race with a frame of the program's own in
                 the racing accesses' stacks. Reports wholly inside the CPU
                 Vulkan driver (not built with ThreadSanitizer, so its own
                 locking is invisible to it) are listed and tolerated.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import check_validation_output, enable_validation, fail, find_window, region_stats, run, require_tools, screenshot, send_close, start_xvfb  # noqa: E402


def program_reports(log_dir, program):
    """Splits ThreadSanitizer logs into reports; returns (ours, driver's).

    A report is ours when a frame of the racing (or otherwise reported)
    accesses lies in the program itself; the stacks that only say where a
    thread, a mutex or a heap block came from do not count."""
    ours, driver = [], []
    name = os.path.basename(program)
    for entry in sorted(os.listdir(log_dir)):
        text = open(os.path.join(log_dir, entry), errors="replace").read()
        for block in text.split("==================")[0:]:
            if "WARNING: ThreadSanitizer" not in block:
                continue
            counted = True
            in_program = False
            for line in block.splitlines():
                stripped = line.strip()
                if not stripped:
                    continue
                if (stripped.startswith("Thread T") or stripped.startswith("Location is")
                        or stripped.startswith("Mutex M") and "created at" in stripped
                        or stripped.startswith("Main thread")):
                    counted = False
                elif not stripped.startswith("#"):
                    counted = True
                elif counted and ("(" + name + "+") in stripped:
                    in_program = True
            (ours if in_program else driver).append(block.strip())
    return ours, driver


def cpu_seconds(pid):
    """User plus system CPU time of a process, all its threads, from /proc."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_for_rest(proc, deadline, quiet_share=0.02, span=2.0):
    """Waits until the process has used less than quiet_share of one core over
    the last `span` seconds; returns the time that quiet span began, or None."""
    samples = [(time.time(), cpu_seconds(proc.pid))]
    while time.time() < deadline:
        time.sleep(0.25)
        if proc.poll() is not None:
            fail("starloom exited early with status %s" % proc.returncode)
        now = (time.time(), cpu_seconds(proc.pid))
        samples.append(now)
        while len(samples) > 2 and now[0] - samples[1][0] >= span:
            samples.pop(0)
        first = samples[0]
        if now[0] - first[0] >= span and (now[1] - first[1]) / (now[0] - first[0]) < quiet_share:
            return first[0]
    return None


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    expect_sky = "--expect-sky" in sys.argv
    validation = "--validation" in sys.argv
    tsan = "--tsan" in sys.argv
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    program, shot_dir = os.path.abspath(args[0]), os.path.abspath(args[1])
    os.makedirs(shot_dir, exist_ok=True)
    require_tools("Xvfb", "xdotool", "import", "convert")

    home = tempfile.mkdtemp(prefix="starloom-e2e-")
    xvfb, display = start_xvfb()
    proc = None
    try:
        env = dict(os.environ)
        env.update({"DISPLAY": display, "HOME": home, "XDG_DATA_HOME": os.path.join(home, "data")})
        if "--no-device" in sys.argv:
            env["VK_ICD_FILENAMES"] = os.path.join(home, "no-such-driver.json")
            env["VK_DRIVER_FILES"] = env["VK_ICD_FILENAMES"]
            result = subprocess.run([program], env=env, capture_output=True, text=True, timeout=120, cwd=home)
            print(result.stderr)
            if result.returncode != 1:
                fail("exit status %d without a Vulkan device, expected 1" % result.returncode)
            if "Error:" not in result.stderr or "Cannot run because your graphics card" not in result.stderr:
                fail("no fatal-error text on standard error")
            print("PASS")
            return 0
        if validation:
            enable_validation(env, home)
        tsan_dir = os.path.join(home, "tsan")
        if tsan:
            os.makedirs(tsan_dir)
            # The worker hand-off locks each partner's mutex while holding its
            # own, by design (the partner always waits at that moment); the
            # lock-order check would report that, races are what is checked.
            env["TSAN_OPTIONS"] = "halt_on_error=0:exitcode=0:detect_deadlocks=0:log_path=" + os.path.join(tsan_dir, "report")
        log_path = os.path.join(home, "starloom.log")
        log = open(log_path, "w")
        launch = time.time()
        proc = subprocess.Popen([program], env=env, stdout=log, stderr=subprocess.STDOUT, cwd=home)
        window = find_window(env, time.time() + 90)
        if window is None:
            fail("no Starloom window within 90 s")
        # The star field fills and the program comes to rest. A generous bound:
        # under lavapipe on two cores this takes a few seconds, with the
        # validation layer or ThreadSanitizer several times as long.
        fill_bound = 300 if tsan else 120 if validation else 60
        rest = wait_for_rest(proc, launch + fill_bound)
        if rest is None:
            fail("starloom did not come to rest within %d s of its launch" % fill_bound)
        print("at rest %.1f s after launch (star field complete)" % (rest - launch))
        # At rest it waits for events: CPU time must grow by less than 2 % of
        # the wall time.
        start_wall, start_cpu = time.time(), cpu_seconds(proc.pid)
        time.sleep(10)
        wall, used = time.time() - start_wall, cpu_seconds(proc.pid) - start_cpu
        print("at rest: %.3f s of CPU in %.1f s (%.2f %% of one core)" % (used, wall, 100 * used / wall))
        if used > 0.02 * wall:
            fail("starloom used %.1f %% of one core at rest" % (100 * used / wall))

        width, height = 1280, 1024
        shot = screenshot(env, os.path.join(shot_dir, "default_view.png"))
        if len(shot) != width * height * 3:
            fail("unexpected screenshot size")
        # The panel is at the right edge; the star display is the rest.
        display_right = width - 200
        centre = (display_right // 2, height // 2)
        mean, bright, _ = region_stats(shot, width, 0, display_right, 0, height)
        _, _, green = region_stats(shot, width, centre[0] - 60, centre[0] + 60, centre[1] - 60, centre[1] + 60)
        _, panel_bright, _ = region_stats(shot, width, display_right + 20, width, 0, 60)
        print("default view: mean %.2f, bright pixels %d, cross-hair pixels %d" % (mean, bright, green))
        if green < 40:
            fail("no cross-hair at the display centre")
        if panel_bright < 50:
            fail("no control panel text at the top right")
        if expect_sky:
            if mean < 2.0:
                fail("no background light (mean brightness %.2f)" % mean)
            if bright < 20:
                fail("no stars (%d bright pixels)" % bright)

        # Fly forwards from rest: the key wakes the program at once (it draws
        # frames again within the first second), and the view moves while the
        # key is held. lavapipe's frames take most of a second each, longer
        # on a loaded machine, so the picture is given a generous while.
        def changed_pixels(picture):
            return sum(1 for i in range(0, len(picture), 3 * 97) if abs(picture[i] - shot[i]) > 8)

        run(["xdotool", "windowactivate", "--sync", str(window)], env, check=False)
        before = cpu_seconds(proc.pid)
        pressed = time.time()
        run(["xdotool", "keydown", "--window", str(window), "space"], env)
        time.sleep(max(0.0, pressed + 1.0 - time.time()))
        woke = cpu_seconds(proc.pid) - before
        print("CPU time in the first second after the key went down: %.3f s" % woke)
        if woke < 0.05:
            fail("starloom did not wake up when a key went down at rest")
        moved_after = None
        while expect_sky and moved_after is None and time.time() - pressed < 60:
            if changed_pixels(screenshot(env, os.path.join(shot_dir, "flying.png"))) >= 10:
                moved_after = time.time() - pressed
        run(["xdotool", "keyup", "--window", str(window), "space"], env)
        if expect_sky:
            if moved_after is None:
                fail("the view did not change within 60 s of holding Space")
            print("the view had moved %.1f s after the key went down" % moved_after)
        time.sleep(8)
        moved = screenshot(env, os.path.join(shot_dir, "after_flying.png"))
        if expect_sky:
            diff = changed_pixels(moved)
            print("pixels changed after flying (sampled): %d" % diff)
            if diff < 10:
                fail("the view did not change after holding Space")

        # C toggles the cross-hair off.
        run(["xdotool", "key", "--window", str(window), "c"], env)
        time.sleep(8)
        plain = screenshot(env, os.path.join(shot_dir, "no_crosshair.png"))
        _, _, green_after = region_stats(plain, width, centre[0] - 60, centre[0] + 60, centre[1] - 60, centre[1] + 60)
        print("cross-hair pixels after C: %d" % green_after)
        if green_after > green // 4:
            fail("the cross-hair is still drawn after pressing C")

        # A hidden window draws nothing, even with a key held down.
        if wait_for_rest(proc, time.time() + fill_bound) is None:
            fail("starloom did not come back to rest after the cross-hair toggle")
        run(["xdotool", "windowunmap", "--sync", str(window)], env)
        run(["xdotool", "keydown", "--window", str(window), "space"], env)
        start_wall, start_cpu = time.time(), cpu_seconds(proc.pid)
        time.sleep(4)
        wall, used = time.time() - start_wall, cpu_seconds(proc.pid) - start_cpu
        run(["xdotool", "keyup", "--window", str(window), "space"], env)
        run(["xdotool", "windowmap", "--sync", str(window)], env)
        print("hidden, Space held: %.3f s of CPU in %.1f s" % (used, wall))
        if used > 0.02 * wall:
            fail("starloom used %.1f %% of one core while its window was hidden" % (100 * used / wall))

        send_close(display, window)
        try:
            status = proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            fail("starloom did not exit after the window was closed")
        log.close()
        output = open(log_path).read()
        sys.stdout.write(output)
        if status != 0:
            fail("exit status %d after closing the window" % status)
        if validation:
            check_validation_output(output)
            if not os.path.exists("/usr/share/vulkan/explicit_layer.d/VkLayer_khronos_validation.json"):
                fail("the validation layer is not installed")
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
    finally:
        if proc is not None and proc.poll() is None:
            proc.kill()
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())

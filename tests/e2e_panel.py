#!/usr/bin/env python3
"""The control panel and its text blocks in the real program, on a 1024 x 768
screen, read back by OCR and pixel statistics: a damaged save file's message
on the Navigation page; Exposure "Auto" changes the star display's brightness
and settles; the GPU page names the device the Vulkan loader reports; the
licence text scrolls; Search, a click on the third line (the star
starloom-cli finds third nearest) turns its label to the centre; a larger
"Font Sz Disp" makes larger labels; "Go" stops 0.1 AU (1.5e6 position units)
short of the star; a name typed into "Find:" and Enter find it.

usage: e2e_panel.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import math
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, fail, flat, place_of, region_stats, script_args, wait_until  # noqa: E402

WIDTH, HEIGHT = 1024, 768
# The panel is 2 x 8 pixels of padding and 23 characters of 7 pixels wide,
# one more when the rest of the window would be even.
LEFT = WIDTH - (177 if (WIDTH - 177) % 2 == 1 else 178)
# Places in the panel, relative to its left edge and the window's top, at
# the default control font (Dear ImGui's 13 pixel font).
SUB_PAGE_COMBO = (47, 92)
# The Catalog page's row of buttons below the "Find:" field.
SEARCH, GO = (32, 238), (127, 238)
FIND_FIELD = (100, 180)
FONT_DISPLAY_PLUS = (159, 149)
EXPOSURE_COMBO = (47, 272)
MESSAGE_AREA = (LEFT, HEIGHT - 140, WIDTH, HEIGHT - 62)
TEXT_AREA = (0, 0, 480, HEIGHT)  # the text blocks, about 64 characters wide
FLY_TO_STOP = 1.5e6  # 0.1 AU in position units


def label_box(data, x0, y0, x1, y1):
    """The label-coloured pixels in a region (green, or the selected star's
    yellow): (count, height of their bounding box)."""
    ys = [y for y in range(y0, y1) for x in range(x0, x1)
          if data[(y * WIDTH + x) * 3 + 1] > 120 and data[(y * WIDTH + x) * 3 + 2] < 90]
    return len(ys), (max(ys) - min(ys) + 1) if ys else 0


def display_mean(rig, name):
    """The mean level of the star display (left of the panel)."""
    return region_stats(rig.shot(name)[1], WIDTH, 40, LEFT - 40, 40, HEIGHT - 40, step=4)[0]


def main():
    program, cli, shot_dir = script_args(__doc__, 3)
    with Rig(shot_dir, size=(WIDTH, HEIGHT)) as rig:
        os.makedirs(os.path.dirname(rig.save_path))
        with open(rig.save_path, "wb") as out:
            out.write(b"NOTASAVE" + bytes(171))  # a wrong magic number
        session = rig.start(program)

        def click(place):
            rig.click(LEFT + place[0], place[1])

        def choose(combo, entry, last):
            """Opens a combo of the panel and, once its list shows (its last
            entry read), chooses the entry with the word `entry`."""
            click(combo)
            session.find("list", last, below=combo[1] + 10)
            session.press("entry_" + entry, entry, below=combo[1] + 10)

        # The damaged file's message on the Navigation page.
        session.page("Navigation")
        rig.read_until("navigation", (LEFT, 380, WIDTH, 440), ["invalid save file"])

        # Automatic exposure: the sky's brightness changes, then settles.
        session.page("Tweaks")
        fixed = display_mean(rig, "exposure_fixed") if session.settled("tweaks") else 0
        choose(EXPOSURE_COMBO, "Auto", "Auto")
        now = wait_until(lambda: (lambda m: abs(m - fixed) >= 0.1 * fixed and m)(display_mean(rig, "exposure_moving")),
                         "Auto exposure changes the star display's brightness (%.1f fixed)" % fixed)
        levels = [now]

        def settling():
            levels.append(display_mean(rig, "exposure_settling"))
            return abs(levels[-1] - levels[-2]) <= 0.02 * levels[-2]
        wait_until(settling, lambda: "Auto exposure settles: %s" % ["%.1f" % m for m in levels[-5:]], interval=2)
        print("exposure: mean level %.1f fixed, %.1f automatic" % (fixed, levels[-1]))

        # The GPU page names the device the Vulkan loader reports.
        session.page("Information")
        choose(SUB_PAGE_COMBO, "GPU", "GPU")
        summary = subprocess.run(["vulkaninfo", "--summary"], env=rig.env, capture_output=True, text=True,
                                 timeout=300).stdout
        name, version = re.search(r"deviceName\s*=\s*(.+)", summary), re.search(r"apiVersion\s*=\s*([0-9.]+)", summary)
        # OCR reads "ll" in the driver's name as it pleases: compare what follows it.
        facts = ["Vulkan: " + version.group(1)] if version else []
        facts += [name.group(1).split("(")[-1].split(",")[0].strip()] if name else []
        rig.read_until("gpu", TEXT_AREA, ["GPU Information", "Vulkan:", "Device:"] + facts)

        # The licences, and their scrolling.
        session.page("Licenses")
        first = rig.read_until("licences", TEXT_AREA, ["Starloom", "Dear ImG"])  # "ImGui" reads as "ImGul" too
        rig.xdotool("mousemove", 200, 300, "click", "--repeat", 25, "--delay", 100, 5)
        wait_until(lambda: flat(rig.read("licences_scrolled", TEXT_AREA))[:200] != flat(first)[:200],
                   "the licence text scrolls")

        # The catalog: the stars the engine finds at this place.
        expected = [line.split(",") for line in subprocess.run(
            [cli, "search", "--csv"], capture_output=True, text=True, timeout=600, check=True).stdout.split("\n")
            if line]
        names = [row[0] for row in expected]
        session.page("Catalog")
        click(SEARCH)
        session.find("search", names[2], below=253)
        # Selecting the third star turns the view until its label is at the centre (Go below finds it there).
        click((67, 381))  # two lines a star, below the column header and "(unselected)"
        cx, cy = (LEFT - 1) // 2, HEIGHT // 2
        count, height = wait_until(lambda: (lambda box: box[0] >= 30 and box)(
            label_box(rig.shot("turned")[1], cx - 120, cy - 10, cx + 120, cy + 60)),
            "a label beside the selected star at the centre")
        print("label at the centre: %d pixels, %d pixels high" % (count, height))

        # A larger display font makes larger labels.
        session.page("Interface")
        for _ in range(6):
            click(FONT_DISPLAY_PLUS)
        wait_until(lambda: (lambda box: box[0] > count and box[1] > height)(
            label_box(rig.shot("larger_labels")[1], cx - 250, cy - 10, cx + 250, cy + 120)),
            "the labels grow with the display font size")

        # Go: the ship flies to the selected star and stops 0.1 AU short.
        star = [int(v) for v in expected[2][2:5]]
        session.page("Navigation")
        start = place_of(cli, session.copy())[0]
        session.page("Catalog")
        click(GO)
        session.page("Navigation")
        last = [start]

        def stopped():  # two copies in a row name the place where the ship stops
            place = place_of(cli, session.copy())[0]
            print("at", place)
            done = place != start and place == last[0]
            last[0] = place
            return place if done else None
        gap = math.dist(wait_until(stopped, "the ship flies and stops"), star)
        if abs(gap - FLY_TO_STOP) > 1e4:
            fail("Go stopped %.0f position units from the star, not 0.1 AU (1.5e6)" % gap)
        # Find the star the ship is next to.
        session.page("Catalog")
        click(FIND_FIELD)
        rig.xdotool("type", "--delay", 50, names[2])
        rig.key("Return")
        rig.read_until("find_message", MESSAGE_AREA, ["Flying to"])
        rig.quit(save=True)
        session.wait_exit()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

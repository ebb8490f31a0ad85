#!/usr/bin/env python3
"""Places, clicks and the clipboard in the real program:

1. starloom --at NAME: a click on the star's disc selects it (its
   information block names it); a drag turns the view with the pointer.
2. Navigation's bookmark "Add" keeps the place under the star's name in
   bookmarks.txt: the place 'starloom-cli locate NAME' gives; "Quit/nosave"
   then writes no save file.
3. Started again --at another star's location text: the bookmark's "Go"
   returns to its place, "Back" to the place --at gave, to the bit; "Paste"
   of another seed's location text, then "Copy" gives it back.

usage: e2e_click.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, cli_fields, fail, place_of, script_args, wait_until  # noqa: E402

STAR = "S-MNQW-1"


def bright_centre(data, width, display_right):
    spots = [(x, y) for y in range(0, len(data) // (3 * width), 2) for x in range(0, display_right, 2)
             if sum(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) > 600]
    if len(spots) <= 200:
        return None
    return sum(x for x, _ in spots) / len(spots), sum(y for _, y in spots) / len(spots)


def right_edge(data, width, x, y):
    def bright(x):
        return sum(data[(y * width + x) * 3:(y * width + x) * 3 + 3]) > 600
    if not bright(x):
        return None
    while x + 1 < width and bright(x + 1):
        x += 1
    return x


def same_name(read, name):
    """A name as OCR reads it: it drops hyphens and mistakes Q and 0 for O."""
    def norm(text):
        return text.upper().replace("-", "").replace("Q", "O").replace("0", "O")
    return norm(read) == norm(name)


def main():
    program, cli, shot_dir = script_args(__doc__, 3)
    with Rig(shot_dir) as rig:
        width, height = rig.size
        display_right = width - 200
        marks = os.path.join(os.path.dirname(rig.save_path), "bookmarks.txt")

        def scroll_page(steps):
            """The wheel scrolls the panel's page; the pointer then leaves it (no highlight)."""
            rig.xdotool("mousemove", "--sync", width - 100, height // 2,
                        "click", "--repeat", abs(steps), 5 if steps > 0 else 4, "mousemove", width - 100, 10)

        # 1. Next to the star, looking at it: a click on its disc selects it.
        session = rig.start(program, ["--at", STAR], "at_star")
        x, y = wait_until(lambda: bright_centre(rig.shot("start")[1], width, display_right), "the star's disc")
        # The pointer stays on the display: Dear ImGui learns only in the next
        # frame that it left a window of the panel, and until then a press
        # belongs to that window, not to the drag below.
        rig.xdotool("mousemove", "--sync", int(x), int(y), "click", 1)
        block = (0, 0, display_right // 2, height // 2)
        wait_until(lambda: any(same_name(w[0], STAR) for w in rig.read("info", block, words=True)),
                   "the information block names " + STAR)

        # A drag of (+80, +40): the disc's right edge follows while the button stays down.
        before = right_edge(rig.shot("before_drag")[1], width, int(x), int(y))
        steps = []
        for k in range(1, 9):
            steps += ["mousemove", "--sync", int(x + 60 + 10 * k), int(y - 40 + 5 * k)]
        rig.xdotool("mousemove", "--sync", int(x + 60), int(y - 40), "mousedown", 1, *steps)

        def followed():
            edge = right_edge(rig.shot("dragged")[1], width, int(x) + 80, int(y) + 40)
            return edge is not None and abs(edge - before - 80) <= 8
        wait_until(followed, "the disc follows the drag from its edge at %s" % before)
        rig.xdotool("mouseup", 1)

        # 2. A bookmark of this place, named after the selected star.
        session.page("Navigation")
        scroll_page(10)
        session.press("add", "Add", below=100)
        line = wait_until(lambda: os.path.exists(marks) and [entry for entry in open(marks, encoding="utf-8")
                                                             if entry.startswith(STAR + "\t")],
                          "the bookmark in " + marks)[0]
        kept = line.rstrip("\n").split("\t")[1]
        arrival = place_of(cli, cli_fields(cli, "locate", STAR)["location"])[0]
        if place_of(cli, kept)[0] != arrival:
            fail("--at %s put the ship at %s, not at %s" % (STAR, place_of(cli, kept)[0], arrival))
        rig.quit(save=False)
        session.wait_exit()
        if os.path.exists(rig.save_path):
            fail("Quit/nosave wrote a save file")

        # 3. Next to another star. (Copy's message changes the page's height: it
        # comes only after the presses on the page scrolled to its end.)
        other = list(cli_fields(cli, "search"))[40].split()[0]
        other_text = cli_fields(cli, "locate", other)["location"]
        session = rig.start(program, ["--at", other_text], "elsewhere")
        session.page("Navigation")
        scroll_page(10)
        entry = session.press("bookmarks", STAR, below=100)
        session.press("chosen", "Go", below=entry[2] + 5)
        scroll_page(-10)
        wait_until(lambda: session.copy() == kept, "Go brings back the bookmarked place " + kept)
        session.press("back", "Back", below=70)
        wait_until(lambda: session.copy() == other_text, "Back returns to the place --at gave: " + other_text)
        seeded = cli_fields(cli, "locate", other, "--seed", "5", "7")["location"]
        rig.offer_clipboard(seeded)
        session.press("paste", "Paste", below=70)
        session.find("pasted", "Moved", below=height - 140)
        copied = session.copy()
        if copied != seeded:
            fail("Paste %s, then Copy gave %s" % (seeded, copied))
        session.close()
        session.wait_exit()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

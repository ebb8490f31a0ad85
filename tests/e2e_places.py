#!/usr/bin/env python3
"""Star names and location texts end to end, on a small screen so that frames
come quickly:

1. starloom --at NAME, from a fresh start: the Navigation page's "Copy" puts
   on the clipboard the place 'starloom-cli locate NAME' gives (next to the
   star on the way from the default viewpoint, looking at it), to the bit.
2. starloom --at LOCATION: "Copy" gives exactly that text back.
3. A star's name typed into the Catalog page's "Find:" field, then "Find":
   the ship flies there and stops 0.1 AU from the star ('starloom-cli
   locate' gives its position), and a search there lists that star first.
4. A location text of a galaxy with another seed on the clipboard, "Paste":
   "Copy" gives the same text back, seed included.
Closing the window ends the program with status 0 each time.

usage: e2e_places.py STARLOOM STARLOOM_CLI SHOT_DIR
"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import Rig, cli_fields, distance, fail, place_of, require_tools, script_args  # noqa: E402

FLY_TO_STOP = 1.5e6  # 0.1 AU in position units


def located(cli, name, *extra):
    fields = cli_fields(cli, "locate", name, *extra)
    return [int(v) for v in fields["position"].split()], fields["location"]


def main():
    program, cli, shot_dir = script_args(__doc__, 3)
    require_tools("Xvfb", "xdotool", "import", "convert", "tesseract", "xclip")
    with Rig(shot_dir) as rig:
        # Three stars near the default viewpoint, by their names.
        names = [line.split()[0] for line in cli_fields(cli, "search").keys()]
        first, second, third = names[10], names[60], names[30]
        _, first_text = located(cli, first)
        second_position, _ = located(cli, second)
        third_position, third_text = located(cli, third)

        # 1. --at a star's name: next to the star as 'starloom-cli locate'
        # reckons it, to the bit.
        session = rig.start(program, ["--at", first], "at_name")
        session.press("home", "Navigation", below=70)
        copied = session.copy()
        if copied != first_text:
            fail("--at %s, then Copy gave %s, expected %s" % (first, copied, first_text))
        session.close()
        session.wait_exit()

        # 2. --at a location text, and Copy gives it back.
        session = rig.start(program, ["--at", third_text], "at_location")
        session.page("Navigation")
        copied = session.copy()
        if copied != third_text:
            fail("--at %s, then Copy gave %s" % (third_text, copied))

        # 3. Find a star by its name, 'distance' away.
        print("next to %s, finding %s (%.2f pc away)"
              % (third, second, distance(third_position, second_position) * 3.2407792894e-13))
        session.page("Catalog")
        label = session.find("catalog", "Find:", below=70)
        rig.click(label[3] + 40, label[2])  # the field right of the label
        rig.xdotool("type", "--delay", 50, second)
        session.press("find", "Find", below=label[2] + 8)
        session.page("Navigation")
        arrived = session.flight_end(cli, third_position)
        gap = distance(arrived, second_position)
        if abs(gap - FLY_TO_STOP) > 1e4:
            fail("Find %s: the ship stopped %.0f position units from it, not 0.1 AU" % (second, gap))
        nearest = cli_fields(cli, "search", "--at", *(str(c) for c in arrived))
        if next(iter(nearest)) != second:
            fail("a search where the ship stopped lists %s first, not %s" % (next(iter(nearest)), second))

        # 4. Paste a place in another galaxy; Copy gives it back, seed and all.
        _, other_text = located(cli, first, "--seed", "5", "7")
        rig.offer_clipboard(other_text)
        session.press("paste", "Paste", below=70)
        session.find("pasted", "Moved", below=rig.size[1] - 140)
        copied = session.copy()
        if copied != other_text:
            fail("Paste %s, then Copy gave %s" % (other_text, copied))
        if place_of(cli, copied)[1] != "5 7":
            fail("the pasted galaxy seed did not take")
        session.close()
        session.wait_exit()
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())

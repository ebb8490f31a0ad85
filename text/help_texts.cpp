#include "text/help_texts.h"

// Two-column lists: the first row's tabs set tab stop "a" past the widest
// term of the list; the following rows go to it with "|<a".

namespace {

const char* const HOME =
    "|i0|#4Overview\n"
    "|i4Starloom lets you fly through a spiral galaxy of some 400 billion stars. None of them is stored: "
    "each star, with its place, mass, colour, brightness and name, is worked out from the region of space "
    "around it when it is needed, so the same place always shows the same stars.\n"
    "|i4The menu at the top of the panel chooses a page; the \"?\" button beside it shows the help for "
    "that page, here in the star display.\n"
    "\n"
    "|#4Home|#-4\t\t\t\t\t\t\t\t\t\t\t\t\t|>aThis overview.\n"
    "|#4Controls|#-4|<aThe keys that move and turn you.\n"
    "|#4Navigation|#-4|<aDirection buttons, your position, speed and heading; save, load and reset.\n"
    "|#4Display|#-4|<aThe faintest stars shown and the view angle.\n"
    "|#4Catalog|#-4|<aFind the nearest stars, label them, read about one and fly to it.\n"
    "|#4User Interface|#-4|<aThe side of the panel and the font sizes.\n"
    "|#4Display Tweaks|#-4|<aBackground, star shape, brightness, memory and timing.\n"
    "|#4Information|#-4|<aRoad map, star counts, platform, GPU, change log and known bugs.\n"
    "|#4Licenses|#-4|<aThe licences of the software and the typeface Starloom is made with.\n"
    "|#4Credits|#-4|<aWho made Starloom.\n";

const char* const CONTROLS =
    "|i0|#4Controls Help\n"
    "|i4The keys act on the star display while the panel does not have the keyboard.\n"
    "\n"
    "|i0|#2Movement controls\n"
    "|i4|#4Space|#-4\t\t\t\t\t\t\t\t\t|>aMove forward at the current speed.\n"
    "|#4L-Ctrl|#-4|<aMove forward, as Space.\n"
    "|#4L-Alt|#-4|<aMove back.\n"
    "|#4S / W|#-4|<aPitch up / down.\n"
    "|#4A / D|#-4|<aRoll left / right.\n"
    "|#4X / Z|#-4|<aYaw left / right.\n"
    "|#4I / M|#-4|<aSlide up / down.\n"
    "|#4J / K|#-4|<aSlide left / right.\n"
    "|#4CapsLock|#-4|<aFine control: while Caps Lock is on, pitch, roll and yaw are 10 times slower.\n"
    "\n"
    "|i0|#2Other controls\n"
    "|i4|#4,|#-4|<aSlower: one speed level down, about half the speed.\n"
    "|#4.|#-4|<aFaster: one speed level up, about twice the speed (at most level 50).\n"
    "|#4C|#-4|<aShow or hide the cross-hair at the centre of the display.\n"
    "|#4=|#-4|<aSwitch between full screen and a window.\n"
    "|#4F12|#-4|<aSave a screenshot of the star display in the Starloom folder of your pictures folder; "
    "the panel shows where it went.\n"
    "|#4Backspace|#-4|<aBack to the place before the last jump (Go, Find, Paste, Load, Reset, a bookmark).\n"
    "\n"
    "|i0|#2Mouse\n"
    "|i4|#4Drag|#-4|<aWith the left button held in the star display: turn the view; the star under the "
    "pointer stays under it.\n"
    "|#4Shift+Drag|#-4|<aRoll the view about its centre.\n"
    "|#4Wheel|#-4|<aFaster or slower by a speed level a step.\n"
    "|#4Ctrl+Wheel|#-4|<aWiden or narrow the view angle by a degree a step.\n"
    "|#4Click|#-4|<aSelect the star under the pointer: it is marked and named, the information block "
    "describes it and the Catalog page's \"Go\" flies to it. A click on empty sky clears the selection.\n"
    "|i4The mouse leaves the view alone while the pointer is over the panel; Caps Lock makes turning 10 times finer.\n"
    "\n"
    "|i4Ten speed levels make a factor of 1000; the Navigation page shows the speed in parsecs per second.\n";

const char* const NAVIGATION =
    "|i0|#4Navigation Help\n"
    "|i4To reach a star, first fly towards the region you want, then open the Catalog page and search: "
    "it lists the stars nearest to you. Select one to turn towards it and press \"Go\" to fly there; the "
    "flight stops a little short of the star.\n"
    "\n"
    "|i4|#4Arrows|#-4\t\t\t\t\t\t\t\t\t\t\t|>aWhile held: up and down pitch the view, left and right roll it, as the keys do.\n"
    "|#4Go|#-4|<aWhile held: flies forward at 50 times the speed shown under \"s\", for crossing long distances.\n"
    "|#4x, y, z|#-4|<aYour position in parsecs from the centre of the galaxy.\n"
    "|#4s|#-4|<aYour speed in parsecs per second; \"-\" and \"+\" change the speed level, as \",\" and \".\" do.\n"
    "|#4Head|#-4|<aThe heading of the view in the plane of the galaxy, 0 to 360 degrees.\n"
    "|#4Mark|#-4|<aHow far the view points above (+) or below (-) that plane, in degrees.\n"
    "|#4Tilt|#-4|<aThe roll of the view about its direction, -180 to 180 degrees.\n"
    "|#4Star Density|#-4|<aThe relative density of stars at your position, as the galaxy model gives it.\n"
    "|#4Save|#-4|<aStores your position, view and settings in the save file.\n"
    "|#4Load|#-4|<aReturns to what was saved last.\n"
    "|#4Reset|#-4|<aReturns to the starting place and the default settings.\n"
    "|#4Back|#-4|<aReturns to the place before the last jump (Go, Find, Paste, Load, Reset, a bookmark), up to "
    "50 steps; Backspace does the same. \"Forward\" goes where Back came from.\n"
    "|#4Bookmarks|#-4|<a\"Add\" keeps the current place under the selected star's name (or \"Place N\"); "
    "\"Go\" returns to the chosen one, \"Delete\" forgets it; \"Name\" and \"Rename\" rename it and "
    "\"Note\" keeps a line about it. \"Show on the sky\" marks each in sky blue with its name. They live in "
    "bookmarks.txt beside the save file, one a line: name, tab, location text, and a tab and the note.\n"
    "\n"
    "|i4The save file is also written when you leave with \"Quit/save\" or close the window; \"Quit/nosave\" "
    "leaves without writing it. A failed save or load is reported below the buttons.\n";

const char* const DISPLAY =
    "|i0|#4Display Help\n"
    "|i4|#4Max Magnitude|#-4\t\t|>aThe dimmest apparent (visual) magnitude of the stars "
    "that are displayed, 4 to 16. Larger numbers show fainter stars: more of them, and more work "
    "to generate them.\n"
    "|#4View angle|#-4|<aThe field of view, 1 to 90 degrees. A small angle magnifies, like a telescope, "
    "and shows fainter stars in a smaller part of the sky.\n";

const char* const CATALOG =
    "|i0|#4Catalog Help\n"
    "|i4The catalog finds the 100 stars nearest to you, including those whose region the display has "
    "not generated yet. For now it searches by distance only.\n"
    "\n"
    "|i4|#4Search|#-4\t\t\t\t\t|>aFinds the nearest stars and lists them, nearest first, and marks "
    "them in the display.\n"
    "|#4Clear|#-4|<aEmpties the list and removes the marks.\n"
    "|#4Text|#-4|<aWhat is written beside each marked star: nothing, its name or its distance in "
    "parsecs; a second line can be chosen once the first is set.\n"
    "|#4List|#-4|<aSelecting a star turns the view towards it.\n"
    "|#4Go|#-4|<aFlies to the selected star.\n"
    "|#4i|#-4|<aShows the selected star's position, distance, type, magnitude, temperature, colour "
    "and radius.\n"
    "\n"
    "|i4A star's name is its octree level's letter, the code of its region and its number there.\n";

const char* const USER_INTERFACE =
    "|i0|#4User Interface Help\n"
    "|i4|#4Controls|#-4\t\t\t\t\t\t\t\t\t|>aPuts the panel at the left or the right edge of the window.\n"
    "|#4Font Sz Ctrl|#-4|<aThe size of the panel's text, 1 to 4.\n"
    "|#4Font Sz Disp|#-4|<aThe size of the text in the star display (labels, help and information "
    "pages), 0 to 18.\n"
    "|#4Reset Fonts|#-4|<aReturns both to their defaults, 1 and 3.\n";

const char* const DISPLAY_TWEAKS =
    "|i0|#4Display Tweaks Help\n"
    "|i4|#4Background|#-4\t\t\t\t\t\t\t\t\t\t|>aThe diffuse light of the galaxy: none, low quality (worked out "
    "per vertex) or normal (per pixel).\n"
    "|#4Star Shape|#-4|<aStars drawn as sharp circles or fuzzy discs.\n"
    "|#4Brightness|#-4|<aMultiplies the brightness of the star display, 1 to 10.\n"
    "|#4Exposure|#-4|<aFixed shows the light as Brightness sets it. Auto follows the light of the view "
    "within about a second, as an eye adapts, so that the galaxy seen from afar is as clear as the sky "
    "within it; Brightness then brightens or dims what it settles to.\n"
    "|#4Light Colour|#-4|<aThe colour of the galaxy's diffuse light: Even gives it the colour of all its "
    "stars together; Populations gives each part the colour of the stars that still shine there, the "
    "old core yellower, the young arms bluer.\n"
    "\n"
    "|i4The settings below these change how much work the program does; set too high, they can make "
    "it slow or unstable. Times are in seconds, \"m\" stands for milliseconds.\n"
    "\n"
    "|i4|#4Max stars gen|#-4|<aThe most stars kept in memory.\n"
    "|#4Max stars gc|#-4|<aThe most stars held by the GPU (fixed for now).\n"
    "|#4Max Voxels|#-4|<aThe most regions of space (voxels) kept in memory.\n"
    "|#4Frame Timeout|#-4|<aThe time one star-generation pass may take before it goes on at the "
    "next frame.\n"
    "|#4Frame Lookahead|#-4|<aHow far ahead along your motion the stars are generated, as a time at the "
    "current speed.\n"
    "\n"
    "|i4Lowering Max stars gen or Max Voxels discards all stars and generates them again.\n";

const char* const INFORMATION =
    "|i0|#4Information Help\n"
    "|i4The menu on this page chooses what is shown:\n"
    "\n"
    "|i4|#4Road Map|#-4\t\t\t\t\t\t\t|>aWhere Starloom is going.\n"
    "|#4Star Counts|#-4|<aHow many stars each part of the galaxy holds, in billions.\n"
    "|#4Platform|#-4|<aThe version, the operating system, whether this is a debugging build, and the "
    "processor.\n"
    "|#4GPU|#-4|<aThe graphics device, its memory and the display's size.\n"
    "|#4Change Log|#-4|<aWhat each version brought.\n"
    "|#4Known Bugs|#-4|<aWhat does not work as it should yet.\n"
    "\n"
    "|i4A screenshot of the Platform and GPU pages helps with bug reports.\n";

const char* const TEXTS[HELP_PAGE_COUNT] = {HOME,    CONTROLS,       NAVIGATION,     DISPLAY,
                                            CATALOG, USER_INTERFACE, DISPLAY_TWEAKS, INFORMATION};

}  // namespace

const char* helpText(int page) { return page >= 0 && page < HELP_PAGE_COUNT ? TEXTS[page] : nullptr; }

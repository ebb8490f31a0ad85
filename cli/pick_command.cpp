// starloom-cli pick: the star a click on the star display selects;
// starloom-cli bookmarks: the bookmarks beside the save file.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli.h"
#include "numeric/constants.h"
#include "star_session.h"
#include "starfield/locate.h"
#include "starfield/location_text.h"
#include "starfield/pick.h"
#include "state/bookmarks.h"
#include "state/save_file.h"
#include "state/settings.h"

const char* const PICK_HELP =
    "usage: starloom-cli pick X Y [--at LOCATION-OR-NAME] [--size WxH] [--save-file PATH]\n\n"
    "Fills the star field at a place as the program does (the default settings:\n"
    "magnitude 12, view angle 45 degrees, brightness 1) and prints the star that\n"
    "a click at pixel (X, Y) of a star display of WxH pixels (default 1920x1080,\n"
    "the size of 'starloom --render') selects, through the program's own pick:\n"
    "  drawn AS X Y RADIUS       point, near or disc; where it is drawn and its\n"
    "                            radius, pixels\n"
    "  distance PARSECS          from the viewpoint (%.10f)\n"
    "and then the lines 'locate' prints for its name (name, position, ...,\n"
    "stars). The place is a location text, a bookmark of the bookmarks.txt\n"
    "beside the save file (--save-file, default the save folder's), or a star's\n"
    "name (0.1 AU short of it, looking at it, as 'locate' gives it); default\n"
    "the viewpoint of a new save file. No star there prints 'none' and exits\n"
    "with status 1; a malformed command line prints 'error: ...' and exits\n"
    "with status 2.\n";

const char* const BOOKMARKS_HELP =
    "usage: starloom-cli bookmarks [--save-file PATH]\n"
    "       starloom-cli bookmarks add NAME LOCATION-OR-STAR [NOTE] [--save-file PATH]\n"
    "       starloom-cli bookmarks remove NAME [--save-file PATH]\n\n"
    "The bookmarks of bookmarks.txt beside the save file (--save-file, default\n"
    "the save folder's $XDG_DATA_HOME/tarnwick/). Without a subcommand, one line\n"
    "each: NAME<TAB>X Y Z (parsecs, %.6f)<TAB>NOTE. 'add' keeps a place (a\n"
    "location text, or a star's name: 0.1 AU short of it, looking at it, in the\n"
    "galaxy of seed 1 3) under a new name, with an optional one-line note;\n"
    "'remove' forgets one. Lines of the file that cannot be read are reported on\n"
    "standard error and kept as they are. A refused change or a file that cannot\n"
    "be written prints 'error: ...' and exits with status 2.\n";

namespace {

// The place a text names: a location text, a bookmark (when `marks` is
// given) or a star of the galaxy of the default seed.
bool placeOf(const Galaxy& galaxy, const std::string& text, const BookmarkFile* marks, Location& place,
             std::string& error) {
    if (decodeLocation(text, place, error)) return true;
    if (marks != nullptr) {
        if (const Bookmark* mark = findBookmark(*marks, pastedText(text))) {
            return decodeLocation(mark->location, place, error);
        }
    }
    StarName name;
    std::string nameError;
    if (!parseStarName(text, name, nameError)) {
        error = pastedText(text).rfind("starloom", 0) == 0 ? error
                : marks != nullptr ? "neither a location text, a bookmark nor a star name: " + nameError
                                   : "neither a location text nor a star name: " + nameError;
        return false;
    }
    LocatedStar located;
    GenerationWorkspace ws;
    const GalaxySeed seed;
    if (!locateStar(galaxy, seed, channelConstantsFor(DEFAULT_WAVELENGTHS), name, located, error, ws)) return false;
    Viewpoint view{};
    for (int a = 0; a < 3; ++a) view.position[a] = {0, DEFAULT_VIEWPOINT[a]};
    view.forward = DEFAULT_FORWARD;
    view.up = DEFAULT_UP;
    const int64_t target[3] = {located.found.star.x, located.found.star.y, located.found.star.z};
    arriveNextTo(view, target);
    place = Location{{view.position[0], view.position[1], view.position[2]}, view.forward, view.up, seed};
    return true;
}

bool parseSize(const char* text, int& width, int& height) {
    unsigned w = 0, h = 0;
    char end = 0;
    if (std::sscanf(text, "%ux%u%c", &w, &h, &end) != 2 || w < 1 || h < 1 || w > 16384 || h > 16384) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string bookmarksFile(const std::string& saveFile) { return bookmarksPath(dataFolderOf(saveFile)); }

}  // namespace

int runPick(int argc, char** argv) {
    double coordinate[2];
    int given = 0;
    std::string at, saveFile;
    int width = 1920, height = 1080;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--at") == 0 && i + 1 < argc) {
            at = argv[++i];
        } else if (std::strcmp(argv[i], "--save-file") == 0 && i + 1 < argc) {
            saveFile = argv[++i];
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            if (!parseSize(argv[++i], width, height)) {
                std::printf("error: --size takes WxH, each 1..16384\n");
                return 2;
            }
        } else if (given < 2 && parseDouble(argv[i], coordinate[given]) && std::isfinite(coordinate[given])) {
            ++given;
        } else {
            std::printf("error: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (given != 2) {
        std::printf("error: pick takes the pixel X Y\n");
        return 2;
    }
    StarSession session;
    Location place{{{0, DEFAULT_VIEWPOINT[0]}, {0, DEFAULT_VIEWPOINT[1]}, {0, DEFAULT_VIEWPOINT[2]}},
                   DEFAULT_FORWARD, DEFAULT_UP, GalaxySeed{}};
    if (!at.empty()) {
        BookmarkFile marks;
        std::vector<std::string> problems;
        loadBookmarks(bookmarksFile(saveFile), marks, problems);
        std::string error;
        if (!placeOf(session.galaxy, at, &marks, place, error)) {
            std::printf("error: --at: %s\n", error.c_str());
            return 2;
        }
    }
    const Settings defaults;
    session.input.limits = computeViewLimits(session.galaxy, defaults.maxMagnitude, defaults.viewAngle, height);
    session.input.settings.seed = place.seed;
    const int64_t position[3] = {place.position[0].integer, place.position[1].integer, place.position[2].integer};
    session.runToCompletion(position);

    PickView view;
    view.display = DisplayView{place.forward, place.up, defaults.viewAngle, width, height};
    for (int a = 0; a < 3; ++a) view.eye[a] = position[a];
    view.luminosityConst = pointLuminosityConstant(session.input.limits.limitScale, defaults.brightness);
    view.maximumCircleSize = defaults.maximumCircleSize;
    view.foregroundRadiusFactor = toDouble(SUN_RADIUS);
    PickedStar picked;
    if (!pickStar(*session.field, view, coordinate[0], coordinate[1], picked)) {
        std::printf("none\n");
        return 1;
    }
    static const char* const AS[] = {"none", "point", "near", "disc"};
    std::printf("drawn %s %.2f %.2f %.2f\n", AS[static_cast<int>(picked.as)], picked.x, picked.y, picked.radius);
    std::printf("distance %.10f\n", std::sqrt(picked.found.distanceSquared) * UNIT_PARSECS_DOUBLE);
    // The facts of the star from its name alone: the same star, found again.
    LocatedStar located;
    GenerationWorkspace ws;
    StarName name;
    std::string error;
    if (!parseStarName(picked.found.name, name, error) ||
        !locateStar(session.galaxy, place.seed, session.input.channels, name, located, error, ws)) {
        std::printf("name %s\nerror: %s\n", picked.found.name, error.c_str());
        return 1;
    }
    printLocatedStar(session.galaxy, place.seed, located);
    return 0;
}

int runBookmarks(int argc, char** argv) {
    std::string saveFile;
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save-file") == 0 && i + 1 < argc) {
            saveFile = argv[++i];
        } else {
            words.emplace_back(argv[i]);
        }
    }
    const std::string path = bookmarksFile(saveFile);
    BookmarkFile marks;
    std::vector<std::string> problems;
    loadBookmarks(path, marks, problems);
    for (const std::string& p : problems) std::fprintf(stderr, "starloom-cli: %s\n", p.c_str());
    if (words.empty()) {
        for (const Bookmark* mark : bookmarkList(marks)) {
            Location place;
            std::string error;
            decodeLocation(mark->location, place, error);
            std::printf("%s\t%.6f %.6f %.6f", mark->name.c_str(),
                        static_cast<double>(place.position[0].integer) * UNIT_PARSECS_DOUBLE,
                        static_cast<double>(place.position[1].integer) * UNIT_PARSECS_DOUBLE,
                        static_cast<double>(place.position[2].integer) * UNIT_PARSECS_DOUBLE);
            if (!mark->note.empty()) std::printf("\t%s", mark->note.c_str());
            std::printf("\n");
        }
        return 0;
    }
    std::string error;
    if (words[0] == "add" && (words.size() == 3 || words.size() == 4)) {
        const Galaxy galaxy = buildGalaxy();
        Location place;
        if (!placeOf(galaxy, words[2], nullptr, place, error)) {
            std::printf("error: %s\n", error.c_str());
            return 2;
        }
        if (!addBookmark(marks, {words[1], encodeLocation(place), words.size() == 4 ? words[3] : ""}, error)) {
            std::printf("error: %s\n", error.c_str());
            return 2;
        }
    } else if (words[0] == "remove" && words.size() == 2) {
        if (!removeBookmark(marks, words[1])) {
            std::printf("error: no bookmark is named \"%s\"\n", words[1].c_str());
            return 2;
        }
    } else {
        std::printf("error: bookmarks takes nothing, 'add NAME LOCATION-OR-STAR [NOTE]' or 'remove NAME'\n");
        return 2;
    }
    // The data folder, as the program makes it when it starts.
    if (const std::string folder = dataFolderOf(saveFile); !folder.empty()) {
        std::error_code ignored;  // a folder that cannot be made shows as the write's failure
        std::filesystem::create_directories(folder, ignored);
    }
    const WriteResult written = saveBookmarks(path, marks);
    if (!written.ok) {
        std::printf("error: %s\n", written.error.c_str());
        return 2;
    }
    return 0;
}

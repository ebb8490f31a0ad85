#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"

namespace {

constexpr CliValueOption AT[] = {{"--at", 3}, {nullptr, 0}};
constexpr CliValueOption LOCATE_OPTIONS[] = {{"--seed", 2}, {nullptr, 0}};
constexpr CliValueOption PASS_OPTIONS[] = {{"--at", 3}, {"--max-stars", 1}, {"--max-voxels", 1},
                                           {"--timeout-ms", 1}, {"--threads", 1}, {nullptr, 0}};
constexpr CliValueOption PICK_OPTIONS[] = {{"--at", 1}, {"--size", 1}, {"--save-file", 1}, {nullptr, 0}};
constexpr CliValueOption SAVE_FILE_OPTION[] = {{"--save-file", 1}, {nullptr, 0}};
constexpr CliValueOption TEXTBLOCK_OPTIONS[] = {{"--at", 3}, {"--width", 1}, {"--size", 1}, {"--png", 1}, {nullptr, 0}};

const CliCommand COMMANDS[] = {
    {"ext", "evaluate ExtFloat operations, one line or a batch from standard input", EXT_HELP, runExt},
    {"constants", "print every ExtFloat start-up constant", CONSTANTS_HELP, runConstants},
    {"populations", "print the stellar population table", POPULATIONS_HELP, runPopulations},
    {"name", "print the lattice index and name code of a lattice point", NAME_HELP, runName},
    {"galaxy", "print the galaxy components and their star totals", GALAXY_HELP, runGalaxy},
    {"density", "print every galaxy component's density at a position", DENSITY_HELP, runDensity},
    {"voxel", "print the stars of one tier of one voxel", VOXEL_HELP, runVoxel},
    {"pass", "run star-field passes at a viewpoint until complete and print the counts", PASS_HELP, runPass,
     PASS_OPTIONS},
    {"search", "print the 100 stars nearest to a viewpoint", SEARCH_HELP, runSearch, AT},
    {"locate", "find a star from its catalogue name and print where it is and its facts", LOCATE_HELP, runLocate,
     LOCATE_OPTIONS},
    {"where", "decode a location text", WHERE_HELP, runWhere},
    {"pick", "print the star a click at a pixel of the star display selects", PICK_HELP, runPick, PICK_OPTIONS},
    {"bookmarks", "list, add or remove the bookmarks beside the save file", BOOKMARKS_HELP, runBookmarks,
     SAVE_FILE_OPTION},
    {"star", "print the properties of a population's star at a uniform draw", STAR_HELP, runStar},
    {"savefile", "print every field of a save file, or why the program would not load it", SAVEFILE_HELP,
     runSavefile},
    {"textblock", "draw a help, information, licence or star text block into a PNG", TEXTBLOCK_HELP, runTextblock,
     TEXTBLOCK_OPTIONS},
};

void printOverview(FILE* out) {
    std::fprintf(out,
                 "usage: starloom-cli COMMAND [ARGS...]\n"
                 "       starloom-cli COMMAND --help\n\n"
                 "Starloom's engine without a window: its number type, constants, galaxy and save files.\n\n"
                 "commands:\n");
    for (const CliCommand& c : COMMANDS) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
}

// Standard output is buffered: a failed write (a full disk, a closed pipe)
// shows only when it is flushed. A command whose output did not arrive has
// failed, whatever it returned.
int finish(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "starloom-cli: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return status;
}

int dispatch(int argc, char** argv) {
    // Malformed command lines print an "error: " line on standard output, as
    // every command does, with the overview on standard error; status 2.
    if (argc < 2) {
        std::printf("error: no command given\n");
        printOverview(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "help") == 0) {
        printOverview(stdout);
        return 0;
    }
    for (const CliCommand& c : COMMANDS) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        if (wantsHelp(argc - 2, argv + 2, c.valued)) {
            std::fputs(c.help, stdout);
            return 0;
        }
        return c.run(argc - 2, argv + 2);
    }
    std::printf("error: unknown command '%s'\n", argv[1]);
    printOverview(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) { return finish(dispatch(argc, argv)); }

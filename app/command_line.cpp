#include "app/command_line.h"

#include <cstring>

const char* const COMMAND_LINE_USAGE =
    "usage: starloom [--at LOCATION-OR-STAR-NAME]\n"
    "  --at TEXT   start at a location text (starloom1:..., from the Navigation\n"
    "              page's Copy) or next to a star of the catalogue (e.g. M-CFXT-12),\n"
    "              0.1 AU short of it, looking at it\n";

bool parseCommandLine(int argc, char** argv, CommandLine& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--at") == 0) {
            if (i + 1 >= argc) {
                error = "--at needs a location text or a star name";
                return false;
            }
            options.at = argv[++i];
        } else {
            error = std::string("unknown argument '") + arg + "'";
            return false;
        }
    }
    return true;
}

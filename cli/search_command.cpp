// starloom-cli search: the 100 stars nearest to a place.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "numeric/constants.h"
#include "star_session.h"
#include "starfield/search.h"

const char* const SEARCH_HELP =
    "usage: starloom-cli search [--at X Y Z] [--csv]\n\n"
    "Runs star-field passes at the position (signed 64-bit position units; the\n"
    "default is the default viewpoint) until complete, as the program does before\n"
    "a search, then searches the 100 stars nearest to it and prints them nearest\n"
    "first, one line each:\n"
    "  NAME DISTANCE X Y Z POPULATION EXISTING\n"
    "(with --csv: the same fields separated by commas).\n"
    "DISTANCE is in parsecs (%.8f), X Y Z the star's position, POPULATION its\n"
    "population index 0..6 and EXISTING 1 when the star was already held by the\n"
    "star field, 0 when the search generated it.\n";

int runSearch(int argc, char** argv) {
    int64_t at[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
    bool csv = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--at") == 0) {
            if (!parseAt(argc, argv, i, at)) return 2;
        } else if (std::strcmp(argv[i], "--csv") == 0) {
            csv = true;
        } else {
            std::printf("error: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    StarSession session;
    session.runToCompletion(at);
    searchNearest(*session.field, session.input.settings.seed, at[0], at[1], at[2]);
    const char* format = csv ? "%s,%.8f,%" PRId64 ",%" PRId64 ",%" PRId64 ",%u,%u\n"
                             : "%s %.8f %" PRId64 " %" PRId64 " %" PRId64 " %u %u\n";
    const std::vector<SearchResult>& results = session.field->searchResults;
    for (const SearchResult& r : results) {
        const double parsecs = std::sqrt(r.distanceSquared) * UNIT_PARSECS_DOUBLE;
        std::printf(format, r.name, parsecs, r.star.x, r.star.y, r.star.z, unsigned{r.star.population},
                    unsigned{r.existing});
    }
    return 0;
}

// starloom-cli locate: a star from its name alone; starloom-cli where: what a
// location text holds.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "numeric/constants.h"
#include "galaxy/galaxy_build.h"
#include "starfield/locate.h"
#include "starfield/location_text.h"
#include "starfield/search.h"

const char* const LOCATE_HELP =
    "usage: starloom-cli locate NAME [--seed FIRST SECOND]\n\n"
    "Finds the star of a full catalogue name (as the Catalog page lists it, e.g.\n"
    "S-MNQW-1: level letter, voxel code, star number) in the galaxy of the seed\n"
    "(default 1 3), anywhere in the galaxy, by generating only its voxel, and\n"
    "prints one line each:\n"
    "  name NAME\n"
    "  position X Y Z            position units (10 km), signed 64-bit\n"
    "  parsecs X Y Z             the same in parsecs (%.10f)\n"
    "  population N NAME\n"
    "  mass|radius|temperature|luminosity|absMagnitude 0xWORD VALUE\n"
    "                            solar masses, solar radii, kelvin, solar\n"
    "                            luminosities, magnitudes (VALUE with %.10g)\n"
    "  spectralClass N TEXT\n"
    "  voxel L X Y Z             the voxel's level and grid corner\n"
    "  tiers FIRST LAST          the generation tiers the voxel holds\n"
    "  stars N                   the stars in the voxel\n"
    "  location TEXT             the place 0.1 AU short of the star on the way\n"
    "                            from the default viewpoint, looking at it\n"
    "                            (what 'starloom --at NAME' starts at from there)\n"
    "A malformed name, or one that names no star, prints 'error: ...' and exits\n"
    "with status 2.\n";

const char* const WHERE_HELP =
    "usage: starloom-cli where LOCATION\n\n"
    "Decodes a location text (starloom1:...) and prints one line each:\n"
    "  positionX|positionY|positionZ INTEGER 0xFRACTION PARSECS\n"
    "                            the 128-bit coordinate: integer part (position\n"
    "                            units), fraction (16 hex digits), parsecs (%.10f)\n"
    "  forward X Y Z             unit view direction (%.17g)\n"
    "  up X Y Z                  unit up vector (%.17g)\n"
    "  seed FIRST SECOND         the galaxy seed\n"
    "A malformed, cut or changed text prints 'error: ...' and exits with status 2.\n";

void printLocatedStar(const Galaxy& galaxy, GalaxySeed seed, const LocatedStar& located) {
    const SearchResult& r = located.found;
    const StarRecord& s = r.star;
    const PopulationTable& table = galaxy.components[0].populations;
    const StarProperties p = foundStarProperties(table, seed, r);
    std::printf("name %s\n", r.name);
    std::printf("position %" PRId64 " %" PRId64 " %" PRId64 "\n", s.x, s.y, s.z);
    std::printf("parsecs %.10f %.10f %.10f\n", static_cast<double>(s.x) * UNIT_PARSECS_DOUBLE,
                static_cast<double>(s.y) * UNIT_PARSECS_DOUBLE, static_cast<double>(s.z) * UNIT_PARSECS_DOUBLE);
    std::printf("population %u %s\n", unsigned{s.population}, table.populations[s.population].name.c_str());
    printWordField("mass", p.mass);
    printWordField("radius", p.radius);
    printWordField("temperature", p.temperature);
    printWordField("luminosity", p.luminosity);
    printWordField("absMagnitude", p.absMagnitude);
    std::printf("spectralClass %u %s\n", p.spectralClass, spectralClassName(p));
    std::printf("voxel %u %d %d %d\n", unsigned{r.level}, static_cast<int32_t>(located.corner[0]),
                static_cast<int32_t>(located.corner[1]), static_cast<int32_t>(located.corner[2]));
    std::printf("tiers %u %d\n", unsigned{r.firstTier}, located.lastTier);
    std::printf("stars %u\n", located.voxelStars);

}

int runLocate(int argc, char** argv) {
    const char* name = nullptr;
    GalaxySeed seed;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seed") == 0) {
            uint64_t words[2];
            for (uint64_t& w : words) {
                ++i;
                if (i >= argc || !parseUint64(argv[i], w) || w > UINT32_MAX) {
                    std::printf("error: --seed takes two unsigned 32-bit integers\n");
                    return 2;
                }
            }
            seed.first = static_cast<uint32_t>(words[0]);
            seed.second = static_cast<uint32_t>(words[1]);
        } else if (name == nullptr) {
            name = argv[i];
        } else {
            std::printf("error: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (name == nullptr) {
        std::printf("error: locate takes a star name\n");
        return 2;
    }
    StarName parsed;
    std::string error;
    if (!parseStarName(name, parsed, error)) {
        std::printf("error: %s\n", error.c_str());
        return 2;
    }
    const Galaxy galaxy = buildGalaxy();
    LocatedStar located;
    GenerationWorkspace ws;
    if (!locateStar(galaxy, seed, channelConstantsFor(DEFAULT_WAVELENGTHS), parsed, located, error, ws)) {
        std::printf("error: %s\n", error.c_str());
        return 2;
    }
    printLocatedStar(galaxy, seed, located);
    const StarRecord& s = located.found.star;
    Viewpoint view{};
    for (int a = 0; a < 3; ++a) view.position[a] = {0, DEFAULT_VIEWPOINT[a]};
    view.forward = DEFAULT_FORWARD;
    view.up = DEFAULT_UP;
    const int64_t target[3] = {s.x, s.y, s.z};
    arriveNextTo(view, target);
    const Location place{{view.position[0], view.position[1], view.position[2]}, view.forward, view.up, seed};
    std::printf("location %s\n", encodeLocation(place).c_str());
    return 0;
}

int runWhere(int argc, char** argv) {
    if (argc != 1) {
        std::printf("error: where takes one location text\n");
        return 2;
    }
    Location place;
    std::string error;
    if (!decodeLocation(argv[0], place, error)) {
        std::printf("error: %s\n", error.c_str());
        return 2;
    }
    const char* axes[3] = {"positionX", "positionY", "positionZ"};
    for (int a = 0; a < 3; ++a) {
        const FixedCoord& c = place.position[a];
        const double parsecs =
            (static_cast<double>(c.integer) + std::ldexp(static_cast<double>(c.fraction), -64)) * UNIT_PARSECS_DOUBLE;
        std::printf("%s %" PRId64 " 0x%016" PRIX64 " %.10f\n", axes[a], c.integer, c.fraction, parsecs);
    }
    std::printf("forward %.17g %.17g %.17g\n", place.forward.x, place.forward.y, place.forward.z);
    std::printf("up %.17g %.17g %.17g\n", place.up.x, place.up.y, place.up.z);
    std::printf("seed %u %u\n", place.seed.first, place.seed.second);
    return 0;
}

// starloom-cli star: the properties of one star of a population.
#include <cstdio>
#include <stdexcept>

#include "cli.h"
#include "galaxy/populations.h"
#include "numeric/constants.h"

const char* const STAR_HELP =
    "usage: starloom-cli star POP U\n\n"
    "POP is a population index 0..6 (see 'starloom-cli populations'). U is the\n"
    "uniform draw within the population: either a decimal in [0, 1), converted\n"
    "to ExtFloat with fromDouble (exact for doubles, truncated to the 47\n"
    "fraction bits of the word), or an ExtFloat word '0x' + 16 hex digits, used\n"
    "as it is. Prints one 'FIELD 0xWORD VALUE' line each (VALUE = toDouble,\n"
    "%.10g) for draw, mass, radius, luminosity, temperature, absMagnitude and\n"
    "massToLight, then 'spectralClass N TEXT'.\n";

int runStar(int argc, char** argv) {
    if (argc != 2) {
        std::printf("error: star takes two arguments POP U\n");
        return 2;
    }
    PopulationTable table;
    buildPopulations(table);
    int32_t pop = 0;
    if (!parseInt32(argv[0], pop) || pop < 0 || static_cast<uint32_t>(pop) >= table.count) {
        std::printf("error: POP ('%s') must be a population index 0..%u\n", argv[0], table.count - 1);
        return 2;
    }
    ExtFloat u;
    bool valid = false;
    if (parseWord(argv[1], u)) {
        // A word is held to the same range as a decimal.
        valid = !u.isInvalid() && u >= ExtFloat{} && u < ONE;
    } else {
        double d = 0;
        valid = parseDouble(argv[1], d) && d >= 0.0 && d < 1.0;
        if (valid) u = xf::fromDouble(d);
    }
    if (!valid) {
        std::printf("error: U ('%s') must be a decimal in [0, 1) or an ExtFloat word in [0, 1)\n", argv[1]);
        return 2;
    }
    StarProperties star = starFromDraw(table, u, static_cast<uint32_t>(pop));
    completeStar(star);
    std::printf("population %d %s\n", pop, table.populations[pop].name.c_str());
    printWordField("draw", u);
    printWordField("mass", star.mass);
    printWordField("radius", star.radius);
    printWordField("luminosity", star.luminosity);
    printWordField("temperature", star.temperature);
    printWordField("absMagnitude", star.absMagnitude);
    printWordField("massToLight", star.massToLight);
    std::printf("spectralClass %u %s\n", star.spectralClass, spectralClassName(star));
    return 0;
}

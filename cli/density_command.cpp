// starloom-cli density: every galaxy component's relative density at a point.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"

const char* const DENSITY_HELP =
    "usage: starloom-cli density X Y Z\n\n"
    "X, Y, Z are signed 64-bit position units (10 000 m). Prints, for every\n"
    "galaxy component, its relative density at the point (32.32 fixed point,\n"
    "relative to the local density near the Sun):\n"
    "  component SLOT KIND D F\n"
    "with D the 32.32 value in decimal and F the same as an exact decimal\n"
    "fraction, then 'sum D F' for the total of all components. The arms are\n"
    "looked up through the plane tree from its root.\n";

int runDensity(int argc, char** argv) {
    if (argc != 3) {
        std::printf("error: density takes three arguments X Y Z\n");
        return 2;
    }
    int64_t p[3];
    for (int i = 0; i < 3; ++i) {
        if (!parseInt64(argv[i], p[i])) {
            std::printf("error: argument %d ('%s') is not a signed 64-bit integer\n", i + 1, argv[i]);
            return 2;
        }
    }
    const Galaxy galaxy = buildGalaxy();
    const GalaxyComponent* components = galaxy.components.get();
    const uint32_t count = galaxy.count;
    const PlaneTree& planeTree = galaxy.tree;

    for (uint32_t k = 0; k < count; ++k) {
        const GalaxyComponent& c = components[k];
        const uint64_t d = pointDensity(c, planeTree, PLANE_ROOT, 1, p[0], p[1], p[2]);
        std::printf("component %u %s %" PRIu64 " %s\n", k, COMPONENT_KIND_NAMES[c.kind], d, formatFixed32(d).c_str());
    }
    const uint64_t sum = totalDensity(components, count, planeTree, p[0], p[1], p[2]);
    std::printf("sum %" PRIu64 " %s\n", sum, formatFixed32(sum).c_str());
    return 0;
}

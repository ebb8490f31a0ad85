// starloom-cli galaxy: the six galaxy components, their star totals, and on
// request the arm elements and the plane tree's statistics.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "cli.h"
#include "galaxy/arms.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"

const char* const GALAXY_HELP =
    "usage: starloom-cli galaxy [--elements] [--tree]\n\n"
    "Builds the galaxy and prints one line per component:\n"
    "  component SLOT shape S kind K density D (F) radiusXY RXY radiusZ RZ totalStars N\n"
    "(S: 0 arms, 1 ellipsoid, 2 sphere; K: Core, Arms, Disc, Halo, Rogue; D the\n"
    "32.32 density at the centre in decimal and F the same as an exact decimal\n"
    "fraction; radii in high words of 2^32 units), then the star total of each\n"
    "kind as 'kind NAME N' in the order Core, Arms, Disc, Halo, Rogue, and\n"
    "'total N' for their sum.\n\n"
    "  --elements  adds one line per arm element: 'element K arm A' followed by\n"
    "              every fixed-point field as 'name value' and 'stars N'\n"
    "  --tree      adds the plane tree's statistics: 'tree nodes N leaves L\n"
    "              emptyLeaves E depth D leafElementRefs R elementCopies C'\n"
    "              (R: elements over all leaves; C: element copies stored,\n"
    "              leaves with the same elements share them), 'leafElements\n"
    "              min A mean B max C' over the leaves holding elements, and\n"
    "              one 'elementsPerLeaf K LEAVES' line per element count\n";

std::string formatFixed32(uint64_t value) {
    std::string text = std::to_string(value >> 32) + ".";
    uint64_t frac = value & 0xFFFFFFFFull;
    if (frac == 0) return text + "0";
    // Every 32-bit binary fraction has an exact decimal expansion of at most 32 digits.
    while (frac != 0) {
        frac *= 10;
        text += static_cast<char>('0' + (frac >> 32));
        frac &= 0xFFFFFFFFull;
    }
    return text;
}

namespace {

void printElements(const GalaxyComponent& arms) {
    for (size_t k = 0; k < arms.elements.size(); ++k) {
        const ArmElement& e = arms.elements[k];
        std::printf("element %zu arm %u x0 %" PRId64 " y0 %" PRId64 " width0 %d thick0 %d invWidth0 %d invThick0 %d"
                    " d0 %" PRId64 " dx %" PRId64 " dy %" PRId64 " dWidth %d dThick %d dInvWidth %d dInvThick %d"
                    " dd %" PRId64 " lengthSq %" PRId64 " invLength2 %" PRId64 " n0x %d n0y %d n1x %d n1y %d"
                    " stars %" PRIu64 "\n",
                    k, arms.armPath[k].arm, e.x0, e.y0, e.width0, e.thick0, e.invWidth0, e.invThick0, e.d0, e.dx,
                    e.dy, e.dWidth, e.dThick, e.dInvWidth, e.dInvThick, e.dd, e.lengthSq, e.invLength2, e.n0x, e.n0y,
                    e.n1x, e.n1y, toUint64(armStepStars(arms.armPath[k])));
    }
}

void walkDepth(const PlaneTree& tree, uint32_t index, int level, int& depth) {
    const PlaneNode& n = tree.nodes[index];
    if (n.leaf) {
        if (level > depth) depth = level;
        return;
    }
    for (uint32_t c : n.child) walkDepth(tree, c, level + 1, depth);
}

void printTree(const PlaneTree& tree) {
    size_t leaves = 0, emptyLeaves = 0, filled = 0, references = 0, minCount = ~size_t{0}, maxCount = 0;
    std::map<unsigned, size_t> histogram;
    for (const PlaneNode& n : tree.nodes) {
        if (!n.leaf) continue;
        ++leaves;
        if (n.elementCount == 0) {
            ++emptyLeaves;
            continue;
        }
        ++filled;
        references += n.elementCount;
        minCount = std::min<size_t>(minCount, n.elementCount);
        maxCount = std::max<size_t>(maxCount, n.elementCount);
        ++histogram[n.elementCount];
    }
    int depth = 0;
    walkDepth(tree, PLANE_ROOT, 1, depth);
    std::printf("tree nodes %zu leaves %zu emptyLeaves %zu depth %d leafElementRefs %zu elementCopies %zu\n",
                tree.nodes.size(), leaves, emptyLeaves, depth, references, tree.elements.size());
    if (filled == 0) minCount = 0;
    std::printf("leafElements min %zu mean %.3f max %zu\n", minCount,
                filled ? static_cast<double>(references) / static_cast<double>(filled) : 0.0, maxCount);
    for (const auto& [count, number] : histogram) std::printf("elementsPerLeaf %u %zu\n", count, number);
}

}  // namespace

int runGalaxy(int argc, char** argv) {
    bool elements = false, tree = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--elements") == 0) {
            elements = true;
        } else if (std::strcmp(argv[i], "--tree") == 0) {
            tree = true;
        } else {
            std::printf("error: unknown option '%s'\n", argv[i]);
            return 2;
        }
    }
    const Galaxy galaxy = buildGalaxy();
    const GalaxyComponent* components = galaxy.components.get();
    const uint32_t count = galaxy.count;
    const PlaneTree& planeTree = galaxy.tree;

    for (uint32_t k = 0; k < count; ++k) {
        const GalaxyComponent& c = components[k];
        std::printf("component %u shape %u kind %s density %" PRIu64 " (%s) radiusXY %" PRIu64 " radiusZ %" PRIu64
                    " totalStars %" PRIu64 "\n",
                    k, c.shape, COMPONENT_KIND_NAMES[c.kind], c.density, formatFixed32(c.density).c_str(), c.radiusXY,
                    c.radiusZ, c.totalStars);
    }
    const auto totals = kindTotals(components, count);
    uint64_t sum = 0;
    for (int k = 0; k < COMPONENT_KIND_COUNT; ++k) {
        std::printf("kind %s %" PRIu64 "\n", COMPONENT_KIND_NAMES[k], totals[k]);
        sum += totals[k];
    }
    std::printf("total %" PRIu64 "\n", sum);

    for (uint32_t k = 0; k < count; ++k)
        if (elements && components[k].shape == SHAPE_ARMS) printElements(components[k]);
    if (tree) printTree(planeTree);
    return 0;
}

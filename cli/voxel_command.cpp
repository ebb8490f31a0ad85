// starloom-cli voxel: the stars of one tier of one voxel.
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "cli.h"
#include "galaxy/galaxy_build.h"
#include "starfield/star_field.h"
#include "starfield/star_generation.h"

const char* const VOXEL_HELP =
    "usage: starloom-cli voxel L X Y Z T\n\n"
    "Prints the stars of tier T of the voxel of level L (1..18) whose grid corner\n"
    "(the top 32 bits of its minimum position, signed) is (X, Y, Z), generated as\n"
    "the star field would: its component mask, plane node and component\n"
    "densities are worked out from the root down as when the voxel is created.\n"
    "The corner must be a multiple of the voxel's edge 2^(32-L) and L + T at most\n"
    "18. One line per star, in generation order:\n"
    "  x,y,z,population,drawIndex,r,g,b,luminosityCode,key,radius\n"
    "with key and radius printed with %.9g. A voxel no component reaches prints\n"
    "nothing.\n";

int runVoxel(int argc, char** argv) {
    if (argc != 5) {
        std::printf("error: voxel takes five arguments L X Y Z T\n");
        return 2;
    }
    int32_t level = 0, tier = 0;
    int64_t corner[3];
    if (!parseInt32(argv[0], level) || level < 1 || level > DEEPEST_LEVEL) {
        std::printf("error: level '%s' is not an integer 1..18\n", argv[0]);
        return 2;
    }
    for (int a = 0; a < 3; ++a) {
        if (!parseInt64(argv[1 + a], corner[a]) || corner[a] < INT32_MIN || corner[a] > INT32_MAX) {
            std::printf("error: corner '%s' is not a signed 32-bit integer\n", argv[1 + a]);
            return 2;
        }
        const int64_t edge = int64_t{1} << (32 - level);
        const int64_t rootCorner = static_cast<int32_t>(ROOT_CORNER);
        const bool aligned = level == 1 ? corner[a] == rootCorner : corner[a] % edge == 0;
        if (!aligned || corner[a] < rootCorner || corner[a] >= -rootCorner) {
            std::printf("error: corner '%s' is not a voxel corner of level %d\n", argv[1 + a], level);
            return 2;
        }
    }
    if (!parseInt32(argv[4], tier) || tier < 0 || tier > DEEPEST_LEVEL - level) {
        std::printf("error: tier '%s' is not an integer 0..%d\n", argv[4], DEEPEST_LEVEL - level);
        return 2;
    }

    const Galaxy galaxy = buildGalaxy();
    // Walk down from the root, choosing at each level the octant that holds the corner.
    ChildPlan plan;
    plan.x = plan.y = plan.z = ROOT_CORNER;
    plan.level = 1;
    plan.node = PLANE_ROOT;
    plan.components = static_cast<uint16_t>((1u << galaxy.count) - 1);
    uint64_t densities[GALAXY_MAX_COMPONENTS] = {};
    if (level == 1) {
        // The star field never generates the root's own stars; shown here as a
        // voxel of every component that reaches it.
        plan.components = 0;
        for (uint32_t c = 0; c < galaxy.count; ++c) {
            densities[c] = cellDensity(galaxy.components[c], galaxy.tree.nodes[PLANE_ROOT], 1,
                                       static_cast<int32_t>(plan.x), static_cast<int32_t>(plan.y),
                                       static_cast<int32_t>(plan.z));
            if (densities[c] != 0) plan.components |= static_cast<uint16_t>(1u << c);
        }
    }
    for (int l = 2; l <= level; ++l) {
        const int64_t half = int64_t{1} << (32 - l);
        int octant = 0;
        if (corner[0] >= static_cast<int32_t>(plan.x) + half) octant |= 4;
        if (corner[1] >= static_cast<int32_t>(plan.y) + half) octant |= 2;
        if (corner[2] >= static_cast<int32_t>(plan.z) + half) octant |= 1;
        if (!planChild(galaxy, parentOf(plan), octant, plan, densities)) return 0;
    }
    const VoxelRequest request = voxelRequestFor(plan, densities, GalaxySeed{});
    std::vector<StarRecord> stars;
    generateTier(galaxy, request, tier, channelConstantsFor(DEFAULT_WAVELENGTHS), stars);
    for (const StarRecord& s : stars) {
        std::printf("%" PRId64 ",%" PRId64 ",%" PRId64 ",%u,%u,%u,%u,%u,%u,%.9g,%.9g\n", s.x, s.y, s.z,
                    unsigned{s.population}, unsigned{s.drawIndex}, unsigned{s.colour[0]}, unsigned{s.colour[1]},
                    unsigned{s.colour[2]}, s.luminosityCode, static_cast<double>(s.key),
                    static_cast<double>(s.radius));
    }
    return 0;
}

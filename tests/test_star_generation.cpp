// Star generation: the stars of a few voxels pinned, and the properties that
// tie every star to its tier's random stream, its voxel and the galaxy's
// density.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "starfield/foreground.h"
#include "starfield/star_field.h"
#include "tests/galaxy_fixture.h"

namespace {

struct PinnedVoxel {
    int level;
    int32_t x, y, z;
    int tier;
    size_t count;
    uint64_t hash;      // FNV-1a of the voxel's lines as starloom-cli voxel prints them
    const char* first;  // the first of those lines
};

// Golden values: what the engine generated when they were pinned, written by
// tools/golden_stars.py from `starloom-cli voxel`. Any change to seeds,
// streams, Poisson counts, rejection or appearance changes them; regenerate
// only for a deliberate change of what the engine computes.
// BEGIN GOLDEN
constexpr PinnedVoxel PINNED[] = {
    {16, -1638400, -5832704, 262144, 1, 11, 0x7987DF093AD09464ull,
     "-6960829381643613,-24853376863340210,1259187671380391,5,0,75,99,127,4292525056,43.7624092,1.80627286"},
    {16, -1638400, -5832704, 262144, 2, 23471, 0x780DF495BDB90D7Bull,
     "-6959258080595530,-25028947996876700,1171640075781835,0,0,127,68,23,4285256704,0.00373870414,0.311896235"},
    {12, -2097152, -6291456, 0, 3, 1725, 0xF2725357104FA325ull,
     "-4703892507249711,-24343031885751697,9720048151467,5,0,56,82,127,4294591360,579.46106,3.22187996"},
    {8, 0, 0, 0, 3, 1176, 0xAD4C92A9BE2A3C4Eull,
     "2214827205278814,592718554539265,2292427297383830,5,0,47,74,127,1767552,12167.4795,7.43594885"},
    {3, 536870912, 536870912, 536870912, 12, 105, 0x32ED2B00152E4590ull,
     "2474830471036732324,3653223897120818094,2918412698966910846,5,0,59,86,127,4294068224,292.10022,2.73248196"},
};
// END GOLDEN

uint64_t fnv1a(const std::string& s, uint64_t h = 0xCBF29CE484222325ull) {
    for (unsigned char c : s) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

std::string starLine(const StarRecord& s) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%" PRId64 ",%" PRId64 ",%" PRId64 ",%u,%u,%u,%u,%u,%u,%.9g,%.9g\n", s.x, s.y, s.z,
                  unsigned{s.population}, unsigned{s.drawIndex}, unsigned{s.colour[0]}, unsigned{s.colour[1]},
                  unsigned{s.colour[2]}, s.luminosityCode, static_cast<double>(s.key), static_cast<double>(s.radius));
    return buf;
}

// The voxel of the given level holding the corner, planned from the root down
// as the star field creates voxels; its densities in `dens`.
ChildPlan planVoxel(const PinnedVoxel& p, uint64_t* dens) {
    const Galaxy& view = builtGalaxy();
    VoxelParent parent = rootParent(view.count);
    ChildPlan plan;
    const int64_t corner[3] = {p.x, p.y, p.z};
    for (int l = 2; l <= p.level; ++l) {
        const int64_t half = int64_t{1} << (32 - l);
        const uint32_t at[3] = {parent.x, parent.y, parent.z};
        int octant = 0;
        for (int a = 0; a < 3; ++a)
            if (corner[a] >= static_cast<int32_t>(at[a]) + half) octant |= 4 >> a;
        EXPECT_TRUE(planChild(view, parent, octant, plan, dens)) << "level " << l;
        parent = parentOf(plan);
    }
    return plan;
}

std::vector<StarRecord> tierStars(const PinnedVoxel& p, VoxelRequest& request, uint64_t* dens) {
    request = voxelRequestFor(planVoxel(p, dens), dens, GalaxySeed{});
    std::vector<StarRecord> stars;
    generateTier(builtGalaxy(), request, p.tier, channelConstantsFor(DEFAULT_WAVELENGTHS), stars);
    return stars;
}

// The pinned voxels keep their stars. Every star lies inside its voxel, at
// a point where one of the voxel's components has positive density. The
// galaxy-cube corner voxel straddles the rogue sphere, whose density is so
// low that its rejection threshold is always zero there: only the density
// test itself keeps stars off the outside part.
TEST(StarGenerationGolden, PinnedVoxelsKeepTheirStarsInsideWhereTheDensityIsPositive) {
    const Galaxy& g = builtGalaxy();
    for (const PinnedVoxel& p : PINNED) {
        SCOPED_TRACE("voxel level " + std::to_string(p.level) + " tier " + std::to_string(p.tier));
        uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
        VoxelRequest r;
        const std::vector<StarRecord> stars = tierStars(p, r, dens);
        ASSERT_EQ(stars.size(), p.count);
        uint64_t h = 0xCBF29CE484222325ull;
        for (const StarRecord& s : stars) h = fnv1a(starLine(s), h);
        EXPECT_EQ(starLine(stars[0]), std::string(p.first) + "\n");
        EXPECT_EQ(h, p.hash);
        const int64_t edge = int64_t{1} << (32 - r.level);
        const int32_t corner[3] = {p.x, p.y, p.z};
        for (const StarRecord& s : stars) {
            const int64_t at[3] = {s.x >> 32, s.y >> 32, s.z >> 32};
            for (int a = 0; a < 3; ++a) ASSERT_TRUE(at[a] >= corner[a] && at[a] < corner[a] + edge) << starLine(s);
            uint64_t density = 0;
            for (uint32_t c = 0; c < g.count; ++c)
                if (r.components & (1u << c)) density += pointDensity(g.components[c], g.tree, r.node, r.level, s.x, s.y, s.z);
            ASSERT_GT(density, 0u) << starLine(s);
        }
    }
}

// A tier's stars come from its own stream: tier 0 from the voxel's seed,
// every later tier from XXH64 of the seed's and the tier's little-endian
// bytes. Positions are candidates of four draws each (x, y, z, then the
// rejection draw) taken in order from the stream's start; a star's radius is
// its appearance draw from the same start; the draw indices of a population
// group run on by one, and every group starts on a multiple of four.
TEST(StarGeneration, PositionsAndAppearanceComeFromTheTiersStream) {
    const Galaxy& g = builtGalaxy();
    for (int pi : {1, 2}) {
        for (int tier = 0; tier <= 3; ++tier) {
            PinnedVoxel p = PINNED[pi];
            p.tier = tier;
            uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
            VoxelRequest r;
            const std::vector<StarRecord> stars = tierStars(p, r, dens);
            unsigned char key[16] = {};
            for (int i = 0; i < 8; ++i) key[i] = static_cast<unsigned char>(r.seed >> (8 * i));
            key[8] = static_cast<unsigned char>(tier);
            const uint64_t seed = tier == 0 ? r.seed : XXH64(key, sizeof key, 0);
            EXPECT_EQ(tierSeed(r.seed, tier), seed);
            uint64_t state = seed;
            const uint32_t corner[3] = {r.x, r.y, r.z};
            size_t found = 0;
            for (int candidate = 0; candidate < 1000000 && found < stars.size(); ++candidate) {
                int64_t at[3];
                for (int a = 0; a < 3; ++a)
                    at[a] = static_cast<int64_t>((wyhashDraw(state) >> r.level) + (static_cast<uint64_t>(corner[a]) << 32));
                wyhashDraw(state);
                const StarRecord& s = stars[found];
                if (s.x == at[0] && s.y == at[1] && s.z == at[2]) ++found;
            }
            ASSERT_EQ(found, stars.size()) << "level " << p.level << " tier " << tier;
            for (size_t i = 0, expectedIndex = 0; i < stars.size(); ++i, ++expectedIndex) {
                const StarRecord& s = stars[i];
                if (i > 0 && s.population != stars[i - 1].population) expectedIndex = (expectedIndex + 3) & ~size_t{3};
                ASSERT_EQ(s.drawIndex, expectedIndex) << "star " << i;
                const BandAppearance band = bandAppearance(g.components[0].populations.populations[s.population], p.level + tier);
                ASSERT_EQ(s.radius, drawRadius(band, appearanceDraw(seed, s.drawIndex))) << "star " << i;
            }
        }
    }
}

// The foreground radius recomputes a star's radius from its appearance draw
// (in ExtFloat, so within the float display laws' 0.2%). The record does not
// say which tier the star came from, so the radius must come out right for
// stars of each of the voxel's tiers, the last one too.
TEST(StarGeneration, ForegroundRadiusFindsTheTierOfEveryStar) {
    const Galaxy& g = builtGalaxy();
    uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
    const ChildPlan plan = planVoxel(PINNED[2], dens);
    const int firstTier = 1, lastTier = 4;  // the star field would make tier 0 only; any range works
    GenerationWorkspace ws;
    const size_t n = generateVoxelStars(g, voxelRequestFor(plan, dens, GalaxySeed{}), firstTier, lastTier,
                                        channelConstantsFor(DEFAULT_WAVELENGTHS), ws);
    const ForegroundVoxel fv{plan.x, plan.y, plan.z, plan.level, firstTier, lastTier};
    ASSERT_GT(n, 5000u);
    for (size_t i = 0; i < n; i += 5) {
        const StarRecord& s = ws.unsorted[i];
        const double r = foregroundRadius(g.components[0].populations, GalaxySeed{}, s, fv);
        ASSERT_NEAR(r, s.radius, 4e-3 * s.radius) << "star " << i;
    }
}

}  // namespace

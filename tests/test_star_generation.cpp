// Star generation: voxel and tier seeds, the stars of a few voxels pinned, the
// foreground radius, and the stars' appearance.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "numeric/constants.h"
#include "starfield/appearance.h"
#include "starfield/foreground.h"
#include "starfield/star_field.h"
#include "starfield/voxel_random.h"
#include "tests/galaxy_fixture.h"

namespace {

// The hashed key written out byte by byte from its definition.
uint64_t seedFromBytes(uint64_t lane1, uint64_t lane2, uint32_t first) {
    unsigned char key[16];
    for (int i = 0; i < 8; ++i) {
        key[i] = static_cast<unsigned char>(lane1 >> (8 * i));
        key[8 + i] = static_cast<unsigned char>(lane2 >> (8 * i));
    }
    return XXH64(key, 16, first);
}

TEST(VoxelSeed, KeyMixesCornerLevelAndGalaxySeed) {
    // x = 5, y = -1: 5 + 0xF8000000 + 0xFFFFFFFF = 0xF8000004 (mod 2^32), sign-extended.
    EXPECT_EQ(voxelSeed(5, 0xFFFFFFFFu, 7, 4, GalaxySeed{}), seedFromBytes(0xFFFFFFFFF8000004ull, 3 + 4 + 7, 1));
    // x = 0x100, y = 64: 0x100 + 0x200000000 mod 2^32 (= 0) + 2 = 0x102; z is taken as unsigned.
    EXPECT_EQ(voxelSeed(0x100, 64, 0xC0000000u, 1, GalaxySeed{9, 11}),
              seedFromBytes(0x102, 11ull + 1 + 0xC0000000ull, 9));
    // Tier 0 draws from the voxel's seed, later tiers from XXH64 of seed and tier.
    EXPECT_EQ(tierSeed(0x1234, 0), 0x1234u);
    EXPECT_EQ(tierSeed(0x1234, 3), seedFromBytes(0x1234, 3, 0));
}

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

TEST(StarGenerationGolden, PinnedVoxelsKeepTheirStars) {
    for (const PinnedVoxel& p : PINNED) {
        SCOPED_TRACE("voxel level " + std::to_string(p.level) + " tier " + std::to_string(p.tier));
        uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
        std::vector<StarRecord> stars;
        generateTier(builtGalaxy(), voxelRequestFor(planVoxel(p, dens), dens, GalaxySeed{}), p.tier,
                     channelConstantsFor(DEFAULT_WAVELENGTHS), stars);
        ASSERT_EQ(stars.size(), p.count);
        uint64_t h = 0xCBF29CE484222325ull;
        for (const StarRecord& s : stars) h = fnv1a(starLine(s), h);
        EXPECT_EQ(starLine(stars[0]), std::string(p.first) + "\n");
        EXPECT_EQ(h, p.hash);
    }
}

// The foreground radius recomputes a star's radius (within the float laws'
// 0.2%) without knowing its tier: right for each of the voxel's tiers.
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

// Over many decades, with the exponential's underflow and overflow.
TEST(FastMath, LogExpAndPowerAreClose) {
    for (double x = 1e-30; x < 1e30; x *= 1.37) EXPECT_NEAR(fastLog(float(x)), std::log(float(x)), 0.01) << x;
    EXPECT_NEAR(fastLog(1.0f), 0.0f, 0.01f);
    for (float y = -120; y < 120; y += 0.173f) EXPECT_NEAR(fastExp2(y) / std::exp2(y), 1.0, 0.005) << y;
    EXPECT_EQ(fastExp2(-200.0f), 0.0f);
    EXPECT_TRUE(std::isinf(fastExp2(200.0f)));
    EXPECT_NEAR(fastPow(8.0f, 1.0f / 3.0f), 2.0f, 0.02f);
    EXPECT_NEAR(fastPow(0.5f, 2.0f), 0.25f, 0.003f);
    EXPECT_NEAR(fastPow(123.0f, 0.0f), 1.0f, 0.002f);
}

TEST(LuminosityCode, ExponentAndRoundedMantissa) {
    const std::pair<float, uint32_t> rows[] = {
        {1024.0f, 1024u << 7},                         // 2^10: biased exponent 137, mantissa 0
        {3072.0f, (1u << 19) + (1536u << 7)},          // 1.5 * 2^11: one exponent up, mantissa half
        {std::bit_cast<float>((137u << 23) | 0x1000u), 1024u << 7},    // 1024.5 ties to the even 1024
        {std::bit_cast<float>((137u << 23) | 0x3000u), 1026u << 7},    // 1025.5 ties to the even 1026
        {std::bit_cast<float>((137u << 23) | 0x7FFFFFu), 2048u << 7},  // the top rounds up at the same exponent
        {1.0f, static_cast<uint32_t>(-10) * (1u << 19) + (1024u << 7)},  // wraps modulo 2^32, as the shader expects
    };
    for (auto [key, code] : rows) EXPECT_EQ(luminosityCode(key), code) << key;
}

// Four at a time gives exactly the one-by-one values, for bands of very
// different stars and channel intensity factors no wavelength gives (negative:
// ratios far beyond 32 bits; zero: 0/0), whose levels are fixed at the
// four-lane conversion's 0 on every processor. A star far too cold (f4 = 1:
// every e^a overflows, all intensities underflow) is white. What a star of
// real channels gets is pinned by the golden voxels.
TEST(Appearance, FourAtATimeGivesExactlyTheOneByOneValues) {
    ChannelConstants c = channelConstantsFor(DEFAULT_WAVELENGTHS);
    ChannelConstants negative = c, dark = c;
    negative.intensity[0] = negative.intensity[2] = -1.0f;
    negative.intensity[1] = -1e-30f;
    dark.intensity[0] = dark.intensity[1] = dark.intensity[2] = 0.0f;
    for (const ChannelConstants* channels : {&c, &negative, &dark}) {
        for (float f2 : {0.3f, 0.8f, 1.7f}) {
            for (float f4 : {1.0f / 2500.0f, 1.0f / 5778.0f, 1.0f / 40000.0f, 0.01f, 1.0f}) {
                BandAppearance b;
                const float f[5] = {-0.5f, 37.0f, f2, 0.5f, f4};  // R = (u f1 + f3)^f2, 1/T = f4 R^f0
                std::copy(f, f + 5, b.f);
                b.hidden = 0.25f;
                b.band = std::ldexp(0.5f, -31);
                StarRecord group[23], single;
                appearanceOfGroup(group, 23, 4, 0xfeedull, b, *channels);
                for (uint32_t j = 0; j < 23; ++j) {
                    const uint32_t r = appearanceDraw(0xfeedull, 4 + j);
                    appearanceOfStar(single, 4 + j, r, b, *channels);
                    ASSERT_EQ(std::memcmp(&single, &group[j], sizeof single), 0) << j;
                    ASSERT_EQ(single.drawIndex, 4 + j);
                    const uint8_t* rgb = single.colour;
                    if (f4 == 1.0f) {
                        ASSERT_TRUE(rgb[0] == 127 && rgb[1] == 127 && rgb[2] == 127) << j;
                    } else if (channels != &c && f4 != 0.01f) {  // 0.01: cold enough for some channels to overflow
                        ASSERT_TRUE(rgb[0] == 0 && rgb[1] == (channels == &dark ? 0 : 127) && rgb[2] == 0) << j;
                    }
                }
            }
        }
    }
}

// A star's point record is its near record from the origin (whose shift is
// checked with the near records) with the whole luminosity code above the shift.
TEST(PointRecord, TheNearRecordFromTheOriginWithTheWholeLuminosityCode) {
    const int64_t origin[3] = {0, 0, 0};
    for (const int64_t x : {int64_t{0}, int64_t{1} << 40, -(int64_t{5} << 50)}) {
        const StarRecord s{x / 7, -x / 3, x, ~0u, 0, 0, 0, {1, 2, 3}, 0, 0x123456u};
        const PointRecord point = makePointRecord(s), near = makeNearRecord(s, origin);
        EXPECT_TRUE(point.w[0] == near.w[0] && point.w[1] == near.w[1] && point.w[2] == near.w[2]) << x;
        EXPECT_EQ(point.w[3], (0x123456u << 6) + (near.w[3] & 63)) << x;
    }
}

}  // namespace

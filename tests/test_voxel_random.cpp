#include <gtest/gtest.h>

#include <xxhash.h>

#include "starfield/voxel_random.h"

namespace {

TEST(Wyhash, DrawsMatchAnIndependentBigIntegerComputation) {
    // Reference values from an arbitrary-precision evaluation of the step
    // (state += P; t = s*A; m = hi^lo; t = m*B; hi^lo).
    uint64_t s = 0;
    EXPECT_EQ(wyhashDraw(s), 0x5c71580fe1214a64ull);
    EXPECT_EQ(wyhashDraw(s), 0xb8e2b01fc24294c8ull);
    EXPECT_EQ(wyhashDraw(s), 0x94a4a556cbbc9f73ull);
    EXPECT_EQ(s, 3 * WYHASH_INCREMENT);
    s = 12345;
    EXPECT_EQ(wyhashDraw(s), 0x76de61a9cd9e845cull);
}

TEST(Wyhash, AppearanceDrawIsRandomAccessIntoTheStream) {
    const uint64_t seed = 0x0123456789abcdefull;
    uint64_t s = seed;
    for (uint32_t pair = 0; pair < 50; ++pair) {
        const uint64_t m = wyhashDraw(s);
        EXPECT_EQ(appearanceDraw(seed, 2 * pair), static_cast<uint32_t>(m) >> 1);
        EXPECT_EQ(appearanceDraw(seed, 2 * pair + 1), static_cast<uint32_t>(m >> 32) >> 1);
    }
    EXPECT_LT(appearanceDraw(seed, 7), 1u << 31);
}

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
    // Every input changes the stream.
    const GalaxySeed g{};
    const uint64_t base = voxelSeed(100, 200, 300, 10, g);
    EXPECT_EQ(base, voxelSeed(100, 200, 300, 10, g));
    for (uint64_t other : {voxelSeed(101, 200, 300, 10, g), voxelSeed(100, 201, 300, 10, g), voxelSeed(100, 200, 301, 10, g),
                           voxelSeed(100, 200, 300, 11, g), voxelSeed(100, 200, 300, 10, GalaxySeed{2, 3}),
                           voxelSeed(100, 200, 300, 10, GalaxySeed{1, 4})})
        EXPECT_NE(base, other);
}

}  // namespace

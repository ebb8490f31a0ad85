// The random streams of star generation.
//
// Every random number that decides a star comes from the wyhash64 step,
// started at a seed that depends only on the voxel's grid corner, its level and
// the galaxy seed. The same voxel therefore always gets the same stream, on
// every machine, whatever was generated before it.
#pragma once

#include <cstdint>

#include "galaxy/galaxy.h"

// The increment of the wyhash64 state (wyhashDraw, galaxy/galaxy.h); one draw
// advances the state by it.
inline constexpr uint64_t WYHASH_INCREMENT = 0x60bee2bee120fc15ull;

// The galaxy seed: two words saved with the viewpoint. The first seeds XXH64,
// the second enters the hashed key.
struct GalaxySeed {
    uint32_t first = 1;
    uint32_t second = 3;
    friend bool operator==(const GalaxySeed&, const GalaxySeed&) = default;
};

// The start of the random stream of the voxel of the given level whose grid
// corner is (x, y, z).
uint64_t voxelSeed(uint32_t x, uint32_t y, uint32_t z, int level, GalaxySeed seed);

// The start of the streams of one tier of a voxel. Tier 0 uses the voxel's
// seed itself; every later tier hashes the tier in, so that its stars do not
// replay the positions and draws of the tiers before it (with one shared
// stream, the first stars of every tier would sit exactly on top of each other).
uint64_t tierSeed(uint64_t voxelSeed, int tier);

// The 31-bit appearance draw of the star with draw index i: draw number
// i / 2 + 1 of the stream, its low half for even i and its high half for odd i,
// shifted right by one. Random access, so that a star's draw can be recomputed
// from its draw index alone.
constexpr uint32_t appearanceDraw(uint64_t seed, uint32_t drawIndex) {
    uint64_t state = seed + static_cast<uint64_t>(drawIndex >> 1) * WYHASH_INCREMENT;
    const uint64_t m = wyhashDraw(state);
    const uint32_t half = (drawIndex & 1) ? static_cast<uint32_t>(m >> 32) : static_cast<uint32_t>(m);
    return half >> 1;
}

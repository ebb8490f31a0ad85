// Star generation in a voxel: how many stars of each population a tier of a
// voxel holds, where they are, and how they look. Deterministic: everything is
// drawn from the voxel's random stream (seeded by its corner, its level and the
// galaxy seed), with integer arithmetic for what decides the stars.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "galaxy/galaxy.h"
#include "starfield/appearance.h"
#include "starfield/star_record.h"
#include "starfield/voxel_random.h"

inline constexpr int DEEPEST_LEVEL = 18;
// A tier never holds more stars than this.
inline constexpr uint32_t MAX_TIER_STARS = 65472;

// What generation needs to know about one voxel.
struct VoxelRequest {
    uint32_t x = 0, y = 0, z = 0;  // minimum corner, grid units (two's complement)
    int level = 1;
    uint16_t components = 0;       // bit c: component c contributes stars
    uint32_t node = PLANE_ROOT;    // plane node covering the voxel
    const uint64_t* cellDensity = nullptr;  // per component, 32.32; read for the bits of `components`
    uint64_t seed = 0;             // voxelSeed of the voxel
};

// A population's display floats for band k.
BandAppearance bandAppearance(const StarPopulation& pop, int k);

// Appends the stars of tier `tier` of the voxel to `out`, in population order,
// with their display values computed for the given channel constants.
// At most MAX_TIER_STARS are made.
void generateTier(const Galaxy& galaxy, const VoxelRequest& voxel, int tier, const ChannelConstants& channels,
                  std::vector<StarRecord>& out);

// Fills the display values of the stars of one tier (`stars`, `count`) that
// generation left in population groups: the first star of each group holds the
// index one past the group's end in its luminosity code.
void computeAppearance(StarRecord* stars, uint32_t count, const PopulationTable& table, int level, int tier,
                       uint64_t seed, const ChannelConstants& channels);

// The Poisson mean (32.32) of one population and component in tier `tier`:
// the component's cellDensity (32.32) times the population's cellCountFixed
// for the band (32.32), over the 8^tier band cubes that fill the voxel.
// Saturates at the largest 64-bit value.
uint64_t tierMean(uint64_t density, uint64_t cellCount, int tier);

// The last tier a voxel holds, from its first tier and the sum of its
// components' densities: min(18 - level, max(32 - bitlength(total), firstTier) / 3),
// but never below the first tier.
int lastTierFor(int level, int firstTier, uint64_t totalDensity);

// Working arrays of generateVoxelStars, kept between calls to avoid allocations.
struct GenerationWorkspace {
    std::vector<StarRecord> unsorted;  // the tiers concatenated, in generation order
    std::vector<uint64_t> order;       // sort keys: descending brightness key, then generation index
};

// All tiers firstTier..lastTier of a voxel, concatenated, in ws.unsorted; then
// their order by key, descending (ties keep generation order), in ws.order.
// Returns the number of stars.
size_t generateVoxelStars(const Galaxy& galaxy, const VoxelRequest& voxel, int firstTier, int lastTier,
                          const ChannelConstants& channels, GenerationWorkspace& ws);
// Copies the stars of the last generateVoxelStars into `out` in key order.
void copySorted(const GenerationWorkspace& ws, StarRecord* out);

// The diffuse light of the whole galaxy: every population's light averaged
// over its brightness bands, with the formulas of the star appearance.
struct BackgroundLight {
    float colour[3] = {0, 0, 0};
    double intensity = 0;
};
BackgroundLight backgroundLight(const PopulationTable& table, const ChannelConstants& channels, double displayValue,
                                double limitScale);

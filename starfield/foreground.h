// Foreground objects: the nearest stars, close enough that their discs cover
// more than a point, drawn as spheres of the star's radius in its colour. At
// most 32 at a time; entries 0..count-1 are in use, in no particular order.
#pragma once

#include <cstdint>

#include "galaxy/populations.h"
#include "starfield/star_record.h"
#include "starfield/view_limits.h"
#include "starfield/voxel_random.h"

inline constexpr uint32_t MAX_FOREGROUND = 32;

struct ForegroundEntry {
    int64_t x = 0, y = 0, z = 0;  // the star's position
    double radius = 0;            // solar radii
    uint32_t colour = 0;          // colour bytes in bits 0..23, population in 24..31
};

struct ForegroundTable {
    ForegroundEntry entries[MAX_FOREGROUND];
    // The star that owns each entry, so that moving the last entry into a hole
    // can tell the moved star its new slot.
    StarRecord* owner[MAX_FOREGROUND] = {};
    uint32_t count = 0;
    // Stars that qualified while all entries were in use, and were left without one.
    uint64_t missed = 0;
};

// The voxel a star belongs to, as the foreground radius needs it.
struct ForegroundVoxel {
    uint32_t x = 0, y = 0, z = 0;
    int level = 1;
    int firstTier = 0;
    int lastTier = 0;
};

// True when a near star at squared distance d2 (position units / 2^64) with
// radius value rs is drawn as a disc.
inline bool isForeground(uint64_t d2, float rs, const ViewLimits& limits) {
    const double r = rs;
    return d2 < limits.foregroundDistance && r * limits.foregroundSize * r >= static_cast<double>(d2);
}

// The star's uniform draw within its population (the argument of
// starFromDraw), recomputed in ExtFloat from its appearance draw: the band is
// the voxel's level plus the tier the star came from.
ExtFloat starDraw(const PopulationTable& table, GalaxySeed seed, const StarRecord& star,
                  const ForegroundVoxel& voxel);

// The star's radius (solar radii) from its population's laws at that draw.
double foregroundRadius(const PopulationTable& table, GalaxySeed seed, const StarRecord& star,
                        const ForegroundVoxel& voxel);

// Gives the star an entry if it has none. A star that would be the 33rd is left
// without one and counted in `missed`.
void makeForeground(ForegroundTable& table, StarRecord& star, const PopulationTable& populations, GalaxySeed seed,
                    const ForegroundVoxel& voxel);
// Removes the star's entry, if it has one; the last entry moves into the hole.
void releaseForeground(ForegroundTable& table, StarRecord& star);
// Empties the table, clearing the owners' slots.
void clearForeground(ForegroundTable& table);

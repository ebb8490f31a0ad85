#include "starfield/foreground.h"

#include <cmath>

#include "starfield/star_generation.h"

ExtFloat starDraw(const PopulationTable& table, GalaxySeed seed, const StarRecord& star,
                  const ForegroundVoxel& voxel) {
    const uint64_t s = voxelSeed(voxel.x, voxel.y, voxel.z, voxel.level, seed);
    const StarPopulation& pop = table.populations[star.population];
    // The record does not say which of the voxel's tiers the star came from;
    // the tier whose draw gives the star's appearance radius is the one (the
    // first tier when none matches).
    int k = voxel.level + voxel.firstTier;
    uint32_t r = appearanceDraw(tierSeed(s, voxel.firstTier), star.drawIndex);
    for (int t = voxel.firstTier; t <= voxel.lastTier; ++t) {
        if (voxel.level + t >= POPULATION_LEVELS) break;
        const uint32_t rt = appearanceDraw(tierSeed(s, t), star.drawIndex);
        if (drawRadius(bandAppearance(pop, voxel.level + t), rt) == star.radius) {
            k = voxel.level + t;
            r = rt;
            break;
        }
    }
    const ExtFloat hidden = xf::fromDouble(static_cast<double>(pop.hiddenFractionF[k]));
    const ExtFloat band = xf::fromDouble(std::ldexp(static_cast<double>(pop.bandFractionF[k]), 31));
    const ExtFloat draw = scalePow2(xf::fromUint64(r), -31);
    return add(hidden, mul(draw, band));
}

double foregroundRadius(const PopulationTable& table, GalaxySeed seed, const StarRecord& star,
                        const ForegroundVoxel& voxel) {
    return toDouble(starFromDraw(table, starDraw(table, seed, star, voxel), star.population).radius);
}

void makeForeground(ForegroundTable& table, StarRecord& star, const PopulationTable& populations, GalaxySeed seed,
                    const ForegroundVoxel& voxel) {
    if (star.foreground != 0) return;
    if (table.count == MAX_FOREGROUND) {
        ++table.missed;
        return;
    }
    ForegroundEntry& e = table.entries[table.count];
    e.x = star.x;
    e.y = star.y;
    e.z = star.z;
    e.colour = colourWord(star);
    e.radius = foregroundRadius(populations, seed, star, voxel);
    table.owner[table.count] = &star;
    ++table.count;
    star.foreground = static_cast<uint8_t>(table.count);
}

void releaseForeground(ForegroundTable& table, StarRecord& star) {
    if (star.foreground == 0) return;
    const uint32_t slot = star.foreground;
    if (slot != table.count) {
        table.entries[slot - 1] = table.entries[table.count - 1];
        table.owner[slot - 1] = table.owner[table.count - 1];
        table.owner[slot - 1]->foreground = static_cast<uint8_t>(slot);
    }
    table.owner[table.count - 1] = nullptr;
    star.foreground = 0;
    --table.count;
}

void clearForeground(ForegroundTable& table) {
    for (uint32_t i = 0; i < table.count; ++i) {
        table.owner[i]->foreground = 0;
        table.owner[i] = nullptr;
    }
    table.count = 0;
}

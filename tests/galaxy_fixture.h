// The galaxy the tests and benchmarks work on, built once, its view limits at
// the default settings, and running a star field at a place until its pass
// completes. Free of any test framework, so that the benchmarks can use it too.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "galaxy/galaxy_build.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"

// Built on first use; read-only afterwards.
inline const Galaxy& builtGalaxy() {
    static const Galaxy g = buildGalaxy();
    return g;
}

// The limits of the default magnitude, view angle and display height.
inline const ViewLimits& defaultLimits() {
    static const ViewLimits l = defaultViewLimits(builtGalaxy());
    return l;
}

// A star field of the built galaxy that keeps at most `maxStars` stars, in
// `maxChunks` voxel chunks, with room for `maxPoints` points: small fields
// fill quickly.
inline std::unique_ptr<StarField> fieldWith(uint64_t maxStars, uint32_t maxChunks = 1,
                                            uint64_t maxPoints = DEFAULT_POINT_CAPACITY) {
    auto f = std::make_unique<StarField>(builtGalaxy());
    f->maxStarsGen = f->settings.maxStarsGen = maxStars;
    f->maxChunks = f->settings.maxVoxelChunks = maxChunks;
    f->settings.pointCapacity = maxPoints;
    return f;
}

inline StarFieldInput inputAt(const int64_t position[3], bool settingsChanged) {
    StarFieldInput in;
    std::memcpy(in.position, position, sizeof in.position);
    in.channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    in.limits = defaultLimits();
    in.changes[CHANGE_SETTINGS] = settingsChanged ? 1 : 0;
    return in;
}

// Copies the point regions of the last update into `gpu`, as the display would.
inline void applyRegions(const StarField& f, std::vector<PointRecord>& gpu) {
    for (const CopyRegion& r : f.results.regions)
        for (uint64_t i = 0; i < r.size / 16; ++i) gpu.at(r.dstOffset / 16 + i) = f.results.staged[r.srcOffset / 16 + i];
}

// One update with the settings the field holds already: a test sets the
// capacities, timings and seed it wants in field.settings, and every update
// it runs hands them over again.
inline void updateAsSet(StarField& f, StarFieldInput in) {
    in.settings = f.settings;
    f.update(in);
}

// Runs updates at the position, with the field's settings, until the pass is
// complete; applies every update's point regions to `gpu` when given.
inline void runToCompletion(StarField& f, const int64_t position[3], std::vector<PointRecord>* gpu = nullptr,
                            bool settingsChanged = true) {
    StarFieldInput in = inputAt(position, settingsChanged);
    in.settings = f.settings;
    runUntilComplete(f, in, [&] {
        if (gpu) applyRegions(f, *gpu);
    });
}

// The galaxy the tests and benchmarks work on, built once with the default
// view limits, and running a star field at a place until its pass completes.
// Free of any test framework, so that the benchmarks can use it too.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"

struct BuiltGalaxy {
    std::unique_ptr<GalaxyComponent[]> components = std::make_unique<GalaxyComponent[]>(GALAXY_MAX_COMPONENTS);
    PlaneTree tree;
    std::vector<BackgroundShape> shapes;
    uint32_t count = 0;
    ViewLimits limits;  // for the default magnitude, view angle and display height

    BuiltGalaxy() {
        count = buildGalaxy(tree, shapes, components.get());
        limits = computeViewLimits(components.get(), count, DEFAULT_MAX_MAGNITUDE, DEFAULT_VIEW_ANGLE,
                                   DEFAULT_DISPLAY_HEIGHT);
    }
    GalaxyView view() const { return GalaxyView{components.get(), count, &tree}; }
};

// Built on first use; read-only afterwards.
inline const BuiltGalaxy& builtGalaxy() {
    static const BuiltGalaxy g;
    return g;
}

inline StarFieldInput inputAt(const int64_t position[3], bool settingsChanged) {
    StarFieldInput in;
    std::memcpy(in.position, position, sizeof in.position);
    in.channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    in.changes[CHANGE_SETTINGS] = settingsChanged ? 1 : 0;
    return in;
}

// Copies the point regions of the last update into `gpu`, as the display would.
inline void applyRegions(const StarField& f, std::vector<PointRecord>& gpu) {
    for (const CopyRegion& r : f.results.regions)
        for (uint64_t i = 0; i < r.size / 16; ++i) gpu.at(r.dstOffset / 16 + i) = f.results.staged[r.srcOffset / 16 + i];
}

// Runs updates at the position until the pass is complete; applies every
// update's point regions to `gpu` when given.
inline void runToCompletion(StarField& f, const int64_t position[3], std::vector<PointRecord>* gpu = nullptr,
                            bool settingsChanged = true) {
    StarFieldInput in = inputAt(position, settingsChanged);
    do {
        f.update(in);
        in.changes[CHANGE_SETTINGS] = 0;
        if (gpu) applyRegions(f, *gpu);
    } while (f.unfinished());
}

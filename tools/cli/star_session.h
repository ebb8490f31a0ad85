// What the star-field commands share: the galaxy, the view limits at the
// default settings, a star field over them, and running it to a complete pass.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"

struct StarSession {
    std::unique_ptr<GalaxyComponent[]> components;
    uint32_t count = 0;
    PlaneTree planeTree;
    std::vector<BackgroundShape> shapes;
    ViewLimits limits;
    std::unique_ptr<StarField> field;

    // Builds the galaxy, the limits for the default magnitude, view angle and
    // display height, and the star field.
    StarSession();
    // Runs updates at the position (velocity 0) until no pass is unfinished;
    // returns the number of updates.
    uint64_t runToCompletion(const int64_t position[3]);
};

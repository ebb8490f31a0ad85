// What the star-field commands share: the galaxy, a star field over it, and
// running it to a complete pass at the default settings.
#pragma once

#include <cstdint>
#include <memory>

#include "galaxy/galaxy_build.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"

struct StarSession {
    Galaxy galaxy = buildGalaxy();
    std::unique_ptr<StarField> field = std::make_unique<StarField>(galaxy);
    // The input of every pass: the default view limits and appearance constants.
    StarFieldInput input = defaultInput();

    StarFieldInput defaultInput() const;
    // Runs updates at the position (velocity 0) until no pass is unfinished;
    // returns the number of updates.
    uint64_t runToCompletion(const int64_t position[3]);
};

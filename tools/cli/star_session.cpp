#include "star_session.h"

#include <cstring>

#include "cli.h"

StarSession::StarSession() : components(std::make_unique<GalaxyComponent[]>(GALAXY_MAX_COMPONENTS)) {
    count = buildGalaxy(planeTree, shapes, components.get());
    limits = computeViewLimits(components.get(), count, DEFAULT_MAX_MAGNITUDE, DEFAULT_VIEW_ANGLE,
                               DEFAULT_DISPLAY_HEIGHT);
    field = std::make_unique<StarField>(components.get(), count, &planeTree, &limits);
}

uint64_t StarSession::runToCompletion(const int64_t position[3]) {
    StarFieldInput input;
    std::memcpy(input.position, position, sizeof input.position);
    input.channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    input.changes[CHANGE_SETTINGS] = 1;
    uint64_t updates = 0;
    do {
        field->update(input);
        input.changes[CHANGE_SETTINGS] = 0;
        ++updates;
    } while (field->unfinished());
    return updates;
}

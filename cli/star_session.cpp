#include "star_session.h"

#include <cstring>

StarFieldInput StarSession::defaultInput() const {
    StarFieldInput in;
    in.channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    in.limits = defaultViewLimits(galaxy);
    return in;
}

uint64_t StarSession::runToCompletion(const int64_t position[3]) {
    StarFieldInput in = input;
    std::memcpy(in.position, position, sizeof in.position);
    in.changes[CHANGE_SETTINGS] = 1;
    return runUntilComplete(*field, in);
}

// Building the galaxy model once at start-up.
#pragma once

#include "galaxy/galaxy.h"

// Builds the population table, then the six components into the first six of
// the GALAXY_MAX_COMPONENTS slots (count 6), the plane tree and the
// background shapes.
Galaxy buildGalaxy();

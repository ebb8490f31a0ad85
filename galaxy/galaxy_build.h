// Building the galaxy model once at start-up.
#pragma once

#include <cstdint>
#include <vector>

#include "galaxy/galaxy.h"

// Builds the population table, then the six components into components[0..5]
// (the rest of the 64 slots are left alone), the plane tree (replacing what
// `planeTree` held) and appends the background shapes. Returns 6.
uint32_t buildGalaxy(PlaneTree& planeTree, std::vector<BackgroundShape>& backgroundShapes,
                     GalaxyComponent* components);

// The view limits: how bright a star must be, for the distance of its voxel,
// to be generated, shown as a point, shown as a near star or drawn as a disc.
// Derived from the faintest magnitude displayed, the view angle and the
// display's height; read by every star-field pass.
#pragma once

#include <cstdint>

#include "galaxy/galaxy.h"

struct ViewLimits {
    float pointRatio = 0;           // stars with key >= D^2 * pointRatio are shown (D^2: voxel box distance, grid units)
    float nearRatio = 0;            // stars with key >= D^2 * nearRatio are near-list candidates
    float nearFactor = 0;           // a candidate is near when its squared distance <= key * nearFactor
    float nearKeyFloor = 0;         // below this key the near bound is nearBoundFaint
    uint64_t nearBoundFaint = 0;    // squared position units / 2^64
    double foregroundSize = 0;      // foreground test factor
    uint64_t foregroundDistance = 0;  // squared position units / 2^64
    int64_t createBound = 0;        // bound for queuing a child voxel
    uint64_t keepBound = 0;         // bound for keeping an existing voxel
    double limitScale = 0;          // S: squared position units
};

// The settings the limits are derived from.
inline constexpr double DEFAULT_MAX_MAGNITUDE = 12.0;
inline constexpr double DEFAULT_VIEW_ANGLE = 45.0;
// The display height assumed where there is no window (the windowed height).
inline constexpr int DEFAULT_DISPLAY_HEIGHT = 800;

// The limits for magnitude m (4..16), view angle a (degrees, 1..90) and display
// height h (pixels). The brightest star any population can hold is taken from
// the populations of the components, the last component deciding.
ViewLimits computeViewLimits(const Galaxy& galaxy, double maxMagnitude, double viewAngle, int displayHeight);
// The limits of the default magnitude, view angle and display height.
ViewLimits defaultViewLimits(const Galaxy& galaxy);

// Where a point of space appears on the star display, computed as the
// shaders draw it, so that the program can reason about the picture without
// a GPU: which labels fit, which star lies under a point of the display.
#pragma once

#include <cstdint>

#include "numeric/vec3.h"

// The view the star display is drawn from.
struct DisplayView {
    Vec3d forward{0, 1, 0}, up{0, 0, 1};  // unit vectors, as the viewpoint holds them
    double viewAngle = 45;                // degrees
    int width = 1, height = 1;            // the star display, pixels
};

// A point on the star display: pixels from its top-left corner, x to the
// right, y down (the display's centre is at width / 2, height / 2).
// inFront is false for a point behind the viewer or at the viewpoint, which
// the display does not show.
struct DisplayPoint {
    bool inFront = false;
    double x = 0, y = 0;
};

// The right-handed look-at view along forward with up, and the perspective
// whose horizontal angle is the view angle times the display's width over
// its height, with square pixels. `offset` is the point's position minus the
// viewpoint's, in position units.
DisplayPoint projectToDisplay(const DisplayView& view, const int64_t offset[3]);

// The unit direction (in space, from the viewpoint) that pixel (x, y) of the
// display shows: the inverse of projectToDisplay.
Vec3d displayDirection(const DisplayView& view, double x, double y);

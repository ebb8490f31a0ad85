// Which midground points a frame needs to draw at all. The point program
// discards a star that is too faint and the clipper one outside the view,
// but a CPU driver pays for every star it is handed, the more for those it
// must clip: the frame hands it only the slots of stars that can be drawn
// in this view, found here from a copy of the point records. The test is
// the point program's, with margins; the program still makes the last
// decision. Pure arithmetic on the records, no graphics API.
#pragma once

#include <cstdint>
#include <vector>

#include "starfield/star_record.h"

// The view as the point program sees it: the eye in shader units (2^48
// position units), the unit axes, the tangents of the half-angles across and
// down, and the factor from absolute luminosity over squared distance to
// the point's luminosity.
struct PointView {
    double eye[3];
    double forward[3], right[3], up[3];
    double tanAcross, tanDown;
    double luminosityConst;
};

// The faintest luminosity a point is drawn with: the point program discards
// one whose luminosity over its squared size (at least half a pixel) is
// below 0.05, which for every size means a luminosity below this.
inline constexpr double FAINTEST_POINT = 0.05 * 0.25;

// Appends to `slots` the slots below `count` whose star may be drawn: lit,
// at least nearly FAINTEST_POINT and in front of the eye within the view's
// edges (widened by `margin`, a tangent).
void visiblePoints(const PointRecord* records, uint32_t count, const PointView& view, double margin,
                   std::vector<uint32_t>& slots);

// The spiral arms: their seeded growth, the fixed-point tube segments the
// density kernel reads, the cut planes between consecutive segments, the
// outline each segment's footprint lies in, and the plane quadtree over them.
// buildGalaxy runs these in order; they are separate so that each stage can be
// checked on its own.
#pragma once

#include <cstdint>
#include <vector>

#include "galaxy/galaxy.h"

// Grows both arms for ARM_GROWTH_STEPS steps from the parameters in parsecs
// (P0 sets armScale, A the width, B the thickness, C the density relative to
// the local density). Sets armScale, armCount and empty armLists, and fills
// armPath with the steps of both arms interleaved (normals and outlines zero).
void growArms(GalaxyComponent& arms, ExtFloat P0, ExtFloat A, ExtFloat B, ExtFloat C);

// The fixed-point element of one step (its normals still zero).
ArmElement makeArmElement(const ArmStep& step);

// The expected number of stars in one step's tube.
ExtFloat armStepStars(const ArmStep& step);

// Fills the start and end cut-plane normals of every step and element, arm
// by arm along armLists.
void setCutPlanes(GalaxyComponent& arms);

// Computes the step's outline quadrilateral from its end points, widths and
// cut-plane normals.
void setOutline(ArmStep& step);

// A step's outline in integer units, for the plane tree's box tests: the
// four corners (floored, kept within +-2^61 units), the step's midpoint
// (floored) and the corners' bounding box.
struct FixedOutline {
    int64_t x[4] = {}, y[4] = {};
    int64_t midX = 0, midY = 0;
    int64_t minX = 0, maxX = 0, minY = 0, maxY = 0;
};

FixedOutline fixedOutline(const ArmStep& step);

// The outline of where the step's tube really reaches. The density kernel
// interpolates the inverse width linearly, so the tube's edge bulges beyond
// the straight edges of the step's outline wherever a cut plane is tilted
// against the step (at every bend); this quadrilateral has its corners where
// the tube's edge meets the cut lines, widened by a margin for the kernel's
// fixed-point rounding, and holds the whole footprint.
FixedOutline tubeOutline(const ArmStep& step);

// An axis-aligned closed box in units.
struct PlaneBox {
    int64_t x0, x1, y0, y1;
};

// The quarter test of the plane tree: true when the step's midpoint lies in
// the closed box, or an outline edge crosses a box edge, or the box centre
// lies on the same side of all four outline edges. Exact integer geometry
// for boxes within +-2^62 units.
bool outlineMeetsBox(const FixedOutline& outline, const PlaneBox& box);

// True when the box lies within the outline's bounding box and every point
// of it lies on the same side of all four outline edges; the test above is
// then true for every box inside this one (also for outlines collapsed to a
// line or a point, whose edge lines hold far more than the outline).
bool outlineContainsBox(const FixedOutline& outline, const PlaneBox& box);

// Builds the arms' quadtree over the elements of `arms` into tree.nodes[1]
// (the root) and appended nodes. tree.nodes must already hold entries 0 and 1.
void buildPlaneTree(PlaneTree& tree, const GalaxyComponent& arms);

// All of the above, in order, plus displayArms and totalStars.
void buildArms(GalaxyComponent& arms, PlaneTree& tree, ExtFloat P0, ExtFloat A, ExtFloat B, ExtFloat C);

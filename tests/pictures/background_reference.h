// A slow reference for the diffuse light of the galaxy: the density that the
// background shaders integrate (the core and disc ellipsoids, and the arm
// steps as tapered tubes between their joint planes), summed along the view
// ray of every pixel by plain numerical integration. Nothing here comes from
// the renderer: the model is read from the galaxy build, and the rays and the
// scale are worked out from the view as the program defines them.
#pragma once

#include <cstdint>
#include <vector>

#include "galaxy/galaxy.h"

struct RefVec3 {
    double x = 0, y = 0, z = 0;
};

// An ellipsoid centred on the origin: density (1 - q)^4, q = (x^2 + y^2) / a^2 + z^2 / b^2.
struct RefEllipsoid {
    double radiusXY, radiusZ, density;
};

// One arm step, a tube between two points in the galactic plane whose
// half-width, half-thickness and density change linearly along it; the cross
// section is (1 - q)^4 with q = (across / width)^2 + (z / thickness)^2. It
// fills the space between its start and end joint planes, whose normals
// (unit, in the plane) bisect the directions of the neighbouring steps.
struct RefArmStep {
    double x0, y0, width0, thick0, density0;
    double x1, y1, width1, thick1, density1;
    double n0x, n0y, n1x, n1y;
};

// Lengths in shader units (2^48 position units), densities relative to the
// local density.
struct BackgroundModel {
    std::vector<RefEllipsoid> ellipsoids;
    std::vector<RefArmStep> steps;
};

// The displayed components of a built galaxy: the background shapes and the
// display steps of the arms component, with the joint planes of each arm.
BackgroundModel backgroundModel(const GalaxyComponent* components, uint32_t count,
                                const std::vector<BackgroundShape>& shapes);

double modelDensity(const BackgroundModel& model, const RefVec3& p);

// The integral of the density along eye + s * direction (direction of unit
// length), s from 0 outwards, in relative density x shader units.
double rayIntegral(const BackgroundModel& model, const RefVec3& eye, const RefVec3& direction);

// A view as the program draws it: the position in position units, the look
// and up directions, the vertical view angle in degrees.
struct RefView {
    int64_t position[3];
    RefVec3 forward, up;
    double viewAngle;
};

// The unit view ray through the centre of pixel (column, row) of a
// width x height picture (row 0 at the top).
RefVec3 pixelRay(const RefView& view, int width, int height, double column, double row);

// Where a point appears in the picture (column and row, pixel centres at
// whole numbers); false when it is behind the eye.
bool projectToPixel(const RefView& view, int width, int height, const RefVec3& point, double& column, double& row);

// Linear light of every pixel, three floats each, rows from the top: the ray
// integral times scale times the colour.
std::vector<float> referencePicture(const BackgroundModel& model, const RefView& view, int width, int height,
                                    double scale, const float colour[3]);

// A slow reference for the galaxy's diffuse light: the density the background
// shaders integrate (core and disc ellipsoids, arm steps as tapered tubes
// between joint planes) summed along every pixel's ray numerically. Nothing
// comes from the renderer: the model is read from the galaxy build.
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

// An arm step: a tube between two points of the galactic plane, half-width,
// half-thickness and density linear along it, cross section (1 - q)^4 with
// q = (across / width)^2 + (z / thickness)^2, between its joint planes (unit
// normals in the plane bisecting the neighbouring steps' directions).
struct RefArmStep {
    double x0, y0, width0, thick0, density0;
    double x1, y1, width1, thick1, density1;
    double n0x, n0y, n1x, n1y;
};

// Lengths in shader units (2^48 position units), densities relative to the local one.
struct BackgroundModel {
    std::vector<RefEllipsoid> ellipsoids;
    std::vector<RefArmStep> steps;
};

// The background shapes and the arms' display steps of a built galaxy, with each arm's joint planes.
BackgroundModel backgroundModel(const GalaxyComponent* components, uint32_t count,
                                const std::vector<BackgroundShape>& shapes);

double modelDensity(const BackgroundModel& model, const RefVec3& p);

// The density integrated along eye + s * direction (unit), s >= 0, in relative density x shader units.
double rayIntegral(const BackgroundModel& model, const RefVec3& eye, const RefVec3& direction);

// A view: position in position units, look and up directions, vertical view angle in degrees.
struct RefView {
    int64_t position[3];
    RefVec3 forward, up;
    double viewAngle;
};

// The unit ray through the centre of pixel (column, row), row 0 at the top.
RefVec3 pixelRay(const RefView& view, int width, int height, double column, double row);

// Where a point appears (pixel centres at whole numbers); false when it is behind the eye.
bool projectToPixel(const RefView& view, int width, int height, const RefVec3& point, double& column, double& row);

// Linear light of every pixel (three floats, rows from the top): ray integral x scale x colour.
std::vector<float> referencePicture(const BackgroundModel& model, const RefView& view, int width, int height,
                                    double scale, const float colour[3]);

// Geometry and records the renderer builds on the CPU: icospheres for the
// background ellipsoids, the background tube meshes and their node
// parameters, and the star shape table. No graphics API is involved, so all of
// it can be checked without a device.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "render/uniforms.h"
#include "state/settings.h"

// The base icosahedron as the sphere builders read it: 12 vertices at distance
// 0.5 from the centre (fourth component 0) and 20 faces (three vertex indices,
// fourth 0).
struct IcosaTables {
    std::array<std::array<float, 4>, 12> vertices;
    std::array<std::array<uint32_t, 4>, 20> faces;
};
IcosaTables makeIcosaTables();

// A sphere of unit radius: 10 * 4^level + 2 vertices, 20 * 4^level triangles.
// Triangles are wound clockwise seen from outside (the base faces taken in
// reverse order), so that under back-face culling only the far side of the
// surface is drawn: one layer per pixel whether the eye is outside or inside.
struct Icosphere {
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::array<uint16_t, 3>> triangles;
};
Icosphere buildIcosphere(const IcosaTables& base, int level);

// One small background ellipsoid, centred on the galaxy's origin. Radii in
// shader units; intensity is the relative density at the centre.
struct EllipsoidShape {
    float radiusXY;
    float radiusZ;
    float intensity;
    uint32_t level;  // icosphere subdivision level
};

struct EllipsoidMesh {
    std::vector<EllipsoidVertex> vertices;
    std::vector<uint16_t> indices;
    uint32_t triangleCount = 0;
    std::vector<ParamPart> params;  // one per ellipsoid, for the uniform block
};
// At most MAX_SMALL_BACKGROUND shapes are used.
EllipsoidMesh buildEllipsoidMesh(const IcosaTables& base, const std::vector<EllipsoidShape>& shapes);

// One step of a spiral arm as the display sees it: positions, widths and
// thicknesses in shader units, densities relative to the local density (as
// EllipsoidShape::intensity).
struct ArmSegment {
    float x0, y0, width0, thick0, density0;
    float x1, y1, width1, thick1, density1;
};

// Node parameters of every chain: a lead node, the chain's points, a trailing node.
// Node layout in ParamPart: position x, y, z; intensity; tip offset; 1/height slope;
// 1/width slope.
std::vector<ParamPart> buildTubeNodes(const std::vector<std::vector<ArmSegment>>& chains);

struct TubeMesh {
    std::vector<TubeVertex> vertices;
    std::vector<uint32_t> indices;
    uint32_t segmentCount = 0;  // T: one tube section per segment
};
// R rings per section (R a power of two up to 64).
TubeMesh buildTubeMesh(const std::vector<std::vector<ArmSegment>>& chains, uint32_t rings);

// A foreground disc is drawn as one square of two triangles round it.
inline constexpr uint32_t FOREGROUND_VERTICES_PER_OBJECT = 6;

// Star shape table: a centre and eight rim points at k x 45 degrees.
// Star shape 0 "Circle": rim at radius 1 with intensity 1/127; 1 "Fuzzy": rim at
// radius sqrt(3) with intensity 0.
std::array<ShapeReferenceStruct, 9> buildShapeTable(StarShape starShape);

// Vertices of a near star's shape: eight triangles fanning round the centre
// (the shape program numbers them itself).
inline constexpr uint32_t SHAPE_INDICES_PER_STAR = 24;
inline constexpr uint32_t MAX_NEAR_STARS = 1000000;

// Copy regions are submitted in batches of at most this many.
inline constexpr uint64_t COPY_BATCH_REGIONS = 50000;
// Sizes of the batches a copy of regionCount regions is split into.
std::vector<uint64_t> copyBatchSizes(uint64_t regionCount);

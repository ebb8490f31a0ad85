// The galaxy model: six density components whose sum is the star density of
// the galaxy, built once at start-up and read-only afterwards.
//
//   slot 0, 1  core ellipsoids        slot 3  two spiral arms (tube segments)
//   slot 2     disc ellipsoid         slot 4  halo ellipsoid
//   slot 5     uniform rogue sphere
//
// Densities are unsigned 32.32 fixed point, relative to the local star density
// near the Sun. Positions are 64-bit signed integers in units of 10 000 m; the
// density queries work on their top 32 bits ("high words", 2^32 units), with
// the galaxy centre at the origin and the galactic plane at z = 0.
//
// The arms are described by short tapered tube segments (ArmElement). A
// quadtree over the galactic plane (PlaneTree) records, for every square of
// the plane, which segments can reach into it, an upper bound of their density
// and the z range they occupy; the star-field engine walks it alongside its
// voxel octree.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "galaxy/populations.h"
#include "numeric/ext_float.h"

inline constexpr int GALAXY_MAX_COMPONENTS = 64;
inline constexpr uint32_t GALAXY_COMPONENT_COUNT = 6;
inline constexpr int ARM_GROWTH_STEPS = 80;
inline constexpr uint32_t ARM_COUNT = 2;

enum ComponentShape : uint32_t { SHAPE_ARMS = 0, SHAPE_ELLIPSOID = 1, SHAPE_SPHERE = 2 };
enum ComponentKind : uint32_t { KIND_CORE = 0, KIND_ARMS = 1, KIND_DISC = 2, KIND_HALO = 3, KIND_ROGUE = 4 };
inline constexpr int COMPONENT_KIND_COUNT = 5;
inline constexpr const char* COMPONENT_KIND_NAMES[COMPONENT_KIND_COUNT] = {"Core", "Arms", "Disc", "Halo", "Rogue"};

// One step of an arm's growth (24 words). Positions, widths and thicknesses in
// galaxy units, densities on the 32.32 scale, the squared length in units^2.
struct ArmStep {
    ExtFloat x0, y0, width0, thick0, density0;
    ExtFloat x1, y1, width1, thick1, density1;
    ExtFloat lengthSq;
    ExtFloat n0x, n0y;  // unit normal of the start cut plane
    ExtFloat n1x, n1y;  // unit normal of the end cut plane
    uint32_t arm = 0;
    uint32_t pad = 0;
    // The quadrilateral the step's tube footprint lies in: corners C0..C3 as
    // x, y pairs; edges C0->C1->C2->C3->C0.
    std::array<ExtFloat, 8> outline{};
};
static_assert(sizeof(ArmStep) == 24 * 8);

// The first 14 words of a step, as display floats (each scaled by 2^-48).
struct ArmDisplayStep {
    std::array<float, 14> v{};
};

// A tapered tube segment in fixed point: the arm density kernel's input.
struct ArmElement {
    int64_t x0 = 0, y0 = 0;              // start point, units
    int32_t width0 = 0, thick0 = 0;      // start width and thickness, high words
    int32_t invWidth0 = 0, invThick0 = 0;  // 2^64 / start width (units), likewise thickness
    int64_t d0 = 0;                      // start density, 32.32
    int64_t dx = 0, dy = 0;              // end minus start, high words
    int32_t dWidth = 0, dThick = 0;      // end minus start, high words
    int32_t dInvWidth = 0, dInvThick = 0;  // end minus start of the inverses
    int64_t dd = 0;                      // end minus start density
    int64_t lengthSq = 0;                // squared length, high words^2
    int64_t invLength2 = 0;              // 2^64 / lengthSq
    int32_t n0x = 0, n0y = 0, n1x = 0, n1y = 0;  // cut-plane normals, 2^30 = 1
};

// A node of the quadtree over the galactic plane. A node at level L covers a
// square of side 2^(64-L) units; the root (level 1) covers [-2^62, 2^62).
struct PlaneNode {
    uint64_t bound = 0;  // largest density of the elements below, 32.32
    int64_t lowestZ = INT64_MAX;       // z range of the tubes below, full units
    int64_t highestZ = INT64_MIN + 1;  // (lowest > highest: empty)
    uint8_t leaf = 1;
    uint8_t elementCount = 0;       // leaf: number of elements
    std::array<uint32_t, 4> child{};  // inner node: child index = hy + 2*hx
    uint32_t firstElement = 0;      // leaf: first of its elements in PlaneTree::elements
};

// The shared node list: index 0 is an empty leaf (the child of every empty
// quarter), index 1 the root of the arms' tree. Leaves hold copies of their
// elements, stored contiguously in `elements`.
struct PlaneTree {
    std::vector<PlaneNode> nodes;
    std::vector<ArmElement> elements;
};

inline constexpr uint32_t PLANE_EMPTY_LEAF = 0;
inline constexpr uint32_t PLANE_ROOT = 1;

// One shape of the diffuse galaxy background drawn by the display.
struct BackgroundShape {
    uint64_t position[3] = {0, 0, 0};
    float radiusXY = 0;  // semi-axes in 2^48 units
    float radiusZ = 0;
    float density = 0;   // relative density at the centre
    uint32_t type = 4;
};

struct GalaxyComponent {
    uint32_t shape = 0;
    uint32_t kind = 0;
    PopulationTable populations;
    std::vector<ArmElement> elements;
    std::vector<ArmStep> armPath;
    std::vector<ArmDisplayStep> displayArms;
    std::vector<std::vector<uint32_t>> armLists;
    uint64_t centre[3] = {0, 0, 0};
    uint64_t density = 0;  // 32.32 at the centre
    uint64_t radiusXY = 0, radiusZ = 0;  // high words
    uint64_t invRadiusXY2 = 0, invRadiusZ2 = 0;  // floor(2^64 / R^2)
    uint64_t totalStars = 0;
    ExtFloat armScale;
    uint32_t armCount = 0;
};

// Upper bound of the component's relative density in the voxel of level
// `level` (side 2^(32-level) high words) with minimum corner (x, y, z) in high
// words. `node` is the plane node covering the voxel (arms only).
uint64_t cellDensity(const GalaxyComponent& component, const PlaneNode& node, int level, int64_t x, int64_t y,
                     int64_t z);

// The component's relative density at the point (x, y, z) (full 64-bit
// coordinates). For the arms the tree is descended from `node` at `level`.
uint64_t pointDensity(const GalaxyComponent& component, const PlaneTree& tree, uint32_t node, int level, int64_t x,
                      int64_t y, int64_t z);

// The galaxy's relative star density at a point: every component's
// pointDensity summed (32.32; each is at most a few 2^32, so the sum cannot
// wrap).
uint64_t totalDensity(const GalaxyComponent* components, uint32_t count, const PlaneTree& tree, int64_t x, int64_t y,
                      int64_t z);

// The density of one arm element at a point (full 64-bit coordinates).
uint64_t elementDensity(int64_t x, int64_t y, int64_t z, const ArmElement& element);

// The star totals of the five component kinds (Core, Arms, Disc, Halo, Rogue).
std::array<uint64_t, COMPONENT_KIND_COUNT> kindTotals(const GalaxyComponent* components, uint32_t count);

// One draw of the 64-bit generator every random stream of the galaxy uses
// (the wyhash64 step); advances `state`.
constexpr uint64_t wyhashDraw(uint64_t& state) {
    __extension__ typedef unsigned __int128 u128;
    state += 0x60BEE2BEE120FC15ull;
    u128 t = static_cast<u128>(state) * 0xA3B195354A39B70Dull;
    const uint64_t m = static_cast<uint64_t>(t >> 64) ^ static_cast<uint64_t>(t);
    t = static_cast<u128>(m) * 0x1B03738712FAD5C9ull;
    return static_cast<uint64_t>(t >> 64) ^ static_cast<uint64_t>(t);
}

// The built galaxy: its component records (GALAXY_MAX_COMPONENTS slots, the
// first `count` in use), the plane tree the arms share and the shapes of the
// diffuse background. Made once by buildGalaxy() and read-only afterwards, from
// any thread; the program, starloom-cli, the tests and the benchmarks all
// work from one.
struct Galaxy {
    std::unique_ptr<GalaxyComponent[]> components;
    uint32_t count = 0;
    PlaneTree tree;
    std::vector<BackgroundShape> backgroundShapes;
};

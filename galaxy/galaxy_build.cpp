// The galaxy build: the population table, the six components from their
// table of parameters, the arms with their plane tree, and the background
// shapes the display draws.
#include "galaxy/galaxy_build.h"

#include "galaxy/arms.h"
#include "numeric/constants.h"

namespace {

constexpr ExtFloat PI = xf::fromDouble(3.141592653589793);

// One row of the component table. Lengths in parsecs; the density relative to
// the local density.
struct ComponentParams {
    uint32_t shape;
    uint32_t kind;
    int32_t p0, a, b;
    int64_t cMantissa;
    int32_t cPow10;
    bool display;
};

constexpr ComponentParams COMPONENT_TABLE[GALAXY_COMPONENT_COUNT] = {
    {SHAPE_ELLIPSOID, KIND_CORE, 0, 5000, 5000, 15, -1, true},
    {SHAPE_ELLIPSOID, KIND_CORE, 0, 15000, 15000, 4, -1, true},
    {SHAPE_ELLIPSOID, KIND_DISC, 0, 100000, 4000, 7, -2, true},
    {SHAPE_ARMS, KIND_ARMS, 100000, 10000, 4000, 1, -1, false},
    {SHAPE_ELLIPSOID, KIND_HALO, 0, 1000000, 100000, 4, -6, false},
    {SHAPE_SPHERE, KIND_ROGUE, 0, 1890000, 100000, 233, -12, false},
};

// floor(2^64 / r^2) for a radius in high words. A radius of 2^32 high words or
// more has r^2 >= 2^64 and so gives 0 (the square is not allowed to wrap).
uint64_t inverseSquare(uint64_t r) {
    uint64_t r2 = 0;
    if (__builtin_mul_overflow(r, r, &r2)) return 0;
    return toUint64(scalePow2(ONE / xf::fromUint64(r2), 64));
}

void setUpSmoothComponent(GalaxyComponent& c, const ComponentParams& p, ExtFloat A, ExtFloat B, ExtFloat C,
                          std::vector<BackgroundShape>& backgroundShapes) {
    c.radiusXY = toUint64(scalePow2(A / UNIT_PARSECS, -32));
    c.invRadiusXY2 = inverseSquare(c.radiusXY);
    if (p.shape == SHAPE_ELLIPSOID) {
        c.radiusZ = toUint64(scalePow2(B / UNIT_PARSECS, -32));
        c.invRadiusZ2 = inverseSquare(c.radiusZ);
    }
    c.density = toUint64(scalePow2(C, 32));

    // The integral of (1 - q)^4 over an ellipsoid is 512 pi / 3465 A^2 B; a
    // sphere of uniform density holds 4/3 pi A^3.
    const bool ellipsoid = p.shape == SHAPE_ELLIPSOID;
    const ExtFloat k1 = xf::fromInt32(ellipsoid ? 512 : 4);
    const ExtFloat k2 = xf::fromInt32(ellipsoid ? 3465 : 3);
    const ExtFloat X = ellipsoid ? B : A;
    c.totalStars =
        toUint64(((((((PI * LOCAL_DENSITY) * k1) / k2) * A) * A) * X) * C / ((UNIT_PARSECS * UNIT_PARSECS) * UNIT_PARSECS));

    if (ellipsoid && p.display) {
        BackgroundShape shape;
        shape.radiusXY = static_cast<float>(toDouble(scalePow2(A / UNIT_PARSECS, -48)));
        shape.radiusZ = static_cast<float>(toDouble(scalePow2(B / UNIT_PARSECS, -48)));
        shape.density = static_cast<float>(toDouble(C));
        shape.type = 4;
        backgroundShapes.push_back(shape);
    }
}

}  // namespace

Galaxy buildGalaxy() {
    Galaxy galaxy;
    galaxy.components = std::make_unique<GalaxyComponent[]>(GALAXY_MAX_COMPONENTS);
    PlaneTree& planeTree = galaxy.tree;
    std::vector<BackgroundShape>& backgroundShapes = galaxy.backgroundShapes;
    GalaxyComponent* components = galaxy.components.get();
    PopulationTable table;
    buildPopulations(table);

    // Entry 0 is the shared empty leaf, entry 1 the place of the arms' root.
    planeTree.nodes.assign(2, PlaneNode{});
    planeTree.elements.clear();

    for (uint32_t slot = 0; slot < GALAXY_COMPONENT_COUNT; ++slot) {
        const ComponentParams& p = COMPONENT_TABLE[slot];
        GalaxyComponent& c = components[slot];
        c = GalaxyComponent{};
        c.shape = p.shape;
        c.kind = p.kind;
        c.populations = table;
        const ExtFloat A = xf::fromInt32(p.a);
        const ExtFloat B = xf::fromInt32(p.b);
        const ExtFloat C = xf::fromDecimal(p.cMantissa, p.cPow10);
        if (p.shape == SHAPE_ARMS)
            buildArms(c, planeTree, xf::fromInt32(p.p0), A, B, C);
        else
            setUpSmoothComponent(c, p, A, B, C, backgroundShapes);
    }
    galaxy.count = GALAXY_COMPONENT_COUNT;
    return galaxy;
}


#include "galaxy/galaxy.h"

#include <algorithm>

#include "numeric/constants.h"

namespace {

__extension__ typedef __int128 i128;
__extension__ typedef unsigned __int128 u128;

// (1 - q)^4 with q and the result as fractions of 2^64.
inline uint64_t falloff4(uint64_t q) {
    const uint64_t a = static_cast<uint64_t>((static_cast<u128>(~q) * ~q) >> 64);
    return static_cast<uint64_t>((static_cast<u128>(a) * a) >> 64);
}

inline uint64_t scaleDensity(uint64_t density, uint64_t fraction) {
    return static_cast<uint64_t>((static_cast<u128>(density) * fraction) >> 64);
}

// q = (dx^2 + dy^2) * invXY + dz^2 * invZ in unsigned 64-bit; false when any
// product or sum overflows (the point is outside).
inline bool ellipsoidQ(uint64_t dx, uint64_t dy, uint64_t dz, uint64_t invXY, uint64_t invZ, uint64_t& q) {
    uint64_t x2, y2, z2, r2, a, b;
    if (__builtin_mul_overflow(dx, dx, &x2) || __builtin_mul_overflow(dy, dy, &y2) ||
        __builtin_mul_overflow(dz, dz, &z2) || __builtin_add_overflow(x2, y2, &r2) ||
        __builtin_mul_overflow(r2, invXY, &a) || __builtin_mul_overflow(z2, invZ, &b) ||
        __builtin_add_overflow(a, b, &q))
        return false;
    return true;
}

inline uint64_t absDiff(int64_t a, int64_t b) {
    return a >= b ? static_cast<uint64_t>(a) - static_cast<uint64_t>(b)
                  : static_cast<uint64_t>(b) - static_cast<uint64_t>(a);
}

// The distance from c to the nearer of the two face planes corner and
// corner + side.
inline uint64_t faceDistance(int64_t c, int64_t corner, int64_t side) {
    return std::min(absDiff(c, corner), absDiff(c, corner + side));
}

inline uint64_t smoothDensity(const GalaxyComponent& c, uint64_t dx, uint64_t dy, uint64_t dz) {
    uint64_t q = 0;
    if (c.shape == SHAPE_SPHERE) {
        if (!ellipsoidQ(dx, dy, dz, c.invRadiusXY2, c.invRadiusXY2, q)) return 0;
        return c.density;
    }
    if (!ellipsoidQ(dx, dy, dz, c.invRadiusXY2, c.invRadiusZ2, q)) return 0;
    return scaleDensity(c.density, falloff4(q));
}

inline uint64_t squareChecked(int64_t v, bool& overflow) {
    const uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    uint64_t r = 0;
    overflow |= __builtin_mul_overflow(m, m, &r);
    return r;
}

}  // namespace

uint64_t cellDensity(const GalaxyComponent& c, const PlaneNode& node, int level, int64_t x, int64_t y, int64_t z) {
    const int64_t side = int64_t{1} << (32 - level);
    if (c.shape == SHAPE_ARMS) {
        // The voxel's points have full z in [z * 2^32, (z + side) * 2^32 - 1];
        // pointDensity is non-zero only for lowestZ < z < highestZ. The bound
        // applies exactly when the two integer ranges share a point.
        const i128 lo = std::max(static_cast<i128>(z) << 32, static_cast<i128>(node.lowestZ) + 1);
        const i128 hi = std::min((static_cast<i128>(z + side) << 32) - 1, static_cast<i128>(node.highestZ) - 1);
        return lo <= hi ? node.bound : 0;
    }
    uint64_t dx = 0, dy = 0, dz = 0;
    if (level > 1) {
        dx = faceDistance(static_cast<int64_t>(c.centre[0]), x, side);
        dy = faceDistance(static_cast<int64_t>(c.centre[1]), y, side);
        dz = faceDistance(static_cast<int64_t>(c.centre[2]), z, side);
    }
    return smoothDensity(c, dx, dy, dz);
}

uint64_t pointDensity(const GalaxyComponent& c, const PlaneTree& tree, uint32_t node, int level, int64_t x, int64_t y,
                      int64_t z) {
    if (c.shape != SHAPE_ARMS) {
        const uint64_t dx = absDiff(x >> 32, static_cast<int64_t>(c.centre[0]));
        const uint64_t dy = absDiff(y >> 32, static_cast<int64_t>(c.centre[1]));
        const uint64_t dz = absDiff(z >> 32, static_cast<int64_t>(c.centre[2]));
        return smoothDensity(c, dx, dy, dz);
    }
    const uint64_t bx = static_cast<uint64_t>(x) ^ (uint64_t{1} << 62);
    const uint64_t by = static_cast<uint64_t>(y) ^ (uint64_t{1} << 62);
    const PlaneNode* n = &tree.nodes[node];
    for (int L = level; !n->leaf; ++L) {
        const int bit = 63 - L;
        n = &tree.nodes[n->child[((by >> bit) & 1) + 2 * ((bx >> bit) & 1)]];
    }
    if (n->elementCount == 0 || !(n->lowestZ < z && z < n->highestZ)) return 0;
    uint64_t sum = 0;
    const ArmElement* e = tree.elements.data() + n->firstElement;
    for (uint32_t k = 0; k < n->elementCount; ++k) sum += elementDensity(x, y, z, e[k]);
    return sum;
}

uint64_t elementDensity(int64_t x, int64_t y, int64_t z, const ArmElement& e) {
    // Offsets from the start point in high words. The differences are formed
    // in 128 bits: a point far across the galaxy from the element would make
    // the 64-bit difference wrap.
    const auto ux = static_cast<int64_t>((static_cast<i128>(x) - e.x0) >> 32);
    const auto uy = static_cast<int64_t>((static_cast<i128>(y) - e.y0) >> 32);
    // Before the start plane or past the end plane.
    if (static_cast<i128>(e.n0y) * uy + static_cast<i128>(e.n0x) * ux < 0) return 0;
    if (static_cast<i128>(e.n1y) * (uy - e.dy) + static_cast<i128>(e.n1x) * (ux - e.dx) >= 0) return 0;

    // Position along the segment as a 32.32 fraction.
    const i128 along = static_cast<i128>(e.dy) * uy + static_cast<i128>(e.dx) * ux;
    const auto t = static_cast<int64_t>((static_cast<i128>(e.invLength2) * along) >> 32);
    const auto w = static_cast<int64_t>((static_cast<i128>(e.dInvWidth) * t) >> 32) + e.invWidth0;
    const auto h = static_cast<int64_t>((static_cast<i128>(e.dInvThick) * t) >> 32) + e.invThick0;
    // Between two cut planes that diverge (the outer side of a bend) the
    // linear inverse width runs towards zero far from the segment and would
    // give the tube an unbounded width there. Near the segment the tube is
    // never more than twice as wide (or thick) as at its wider end; beyond
    // that the point is in the far part of the wedge and has no density.
    if (2 * w < std::min<int64_t>(e.invWidth0, int64_t{e.invWidth0} + e.dInvWidth) ||
        2 * h < std::min<int64_t>(e.invThick0, int64_t{e.invThick0} + e.dInvThick))
        return 0;
    const int64_t ex = static_cast<int64_t>((static_cast<i128>(t) * e.dx) >> 32) - ux;
    const int64_t ey = static_cast<int64_t>((static_cast<i128>(t) * e.dy) >> 32) - uy;

    // q = (z h)^2 + (ex^2 + ey^2) w^2 as a fraction of 2^64; 1 at the tube's surface.
    bool overflow = false;
    const uint64_t z2 = squareChecked(z >> 32, overflow);
    const uint64_t h2 = squareChecked(h, overflow);
    const uint64_t ex2 = squareChecked(ex, overflow);
    const uint64_t ey2 = squareChecked(ey, overflow);
    const uint64_t w2 = squareChecked(w, overflow);
    uint64_t across = 0, r2 = 0, radial = 0, q = 0;
    if (overflow || __builtin_mul_overflow(z2, h2, &across) || __builtin_add_overflow(ex2, ey2, &r2) ||
        __builtin_mul_overflow(r2, w2, &radial) || __builtin_add_overflow(across, radial, &q))
        return 0;

    // Linearly interpolated density; a segment extrapolated below zero has none.
    const int64_t density = static_cast<int64_t>((static_cast<i128>(e.dd) * t) >> 32) + e.d0;
    if (density <= 0) return 0;
    return scaleDensity(static_cast<uint64_t>(density), falloff4(q));
}

std::array<uint64_t, COMPONENT_KIND_COUNT> kindTotals(const GalaxyComponent* components, uint32_t count) {
    std::array<uint64_t, COMPONENT_KIND_COUNT> totals{};
    for (uint32_t k = 0; k < count; ++k)
        if (components[k].kind < COMPONENT_KIND_COUNT) totals[components[k].kind] += components[k].totalStars;
    return totals;
}

uint64_t totalDensity(const GalaxyComponent* components, uint32_t count, const PlaneTree& tree, int64_t x, int64_t y,
                      int64_t z) {
    uint64_t sum = 0;
    for (uint32_t k = 0; k < count; ++k) sum += pointDensity(components[k], tree, PLANE_ROOT, 1, x, y, z);
    return sum;
}

// The plane tree over the arms, checked against plain reference versions, and
// the density bound rejection sampling relies on: a voxel's cellDensity is at
// least the pointDensity anywhere inside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "galaxy/arms.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "numeric/constants.h"
#include "tests/galaxy_fixture.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int SAMPLE_SCALE = 8;  // sanitizers run an order of magnitude slower
#else
constexpr int SAMPLE_SCALE = 1;
#endif

constexpr int MAX_LEVEL = 18;

double d(ExtFloat v) { return toDouble(v); }

const GalaxyComponent& arms() { return builtGalaxy().components[3]; }
const PlaneTree& tree() { return builtGalaxy().tree; }

// Test sampling: the galaxy's own generator with a seed of the test's own.
struct Sampler {
    uint64_t state;
    uint64_t next() { return wyhashDraw(state); }
    double uniform() { return double(next() >> 11) * 0x1p-53; }
    int64_t in(int64_t lo, int64_t hi) { return lo + int64_t(next() % uint64_t(hi - lo + 1)); }
};

// The node of a point (full units) from the root down to `maxLevel` at most, as
// the engine gives a voxel its minimum corner's node.
uint32_t descend(int64_t x, int64_t y, int maxLevel) {
    uint32_t node = PLANE_ROOT;
    const uint64_t bx = uint64_t(x) ^ (uint64_t{1} << 62), by = uint64_t(y) ^ (uint64_t{1} << 62);
    for (int level = 1; level < maxLevel && !tree().nodes[node].leaf; ++level)
        node = tree().nodes[node].child[((by >> (63 - level)) & 1) + 2 * ((bx >> (63 - level)) & 1)];
    return node;
}

// A step's outline in fixed point (the quarter test is checked against a reference below).
TEST(PlaneTree, FixedOutlineOfAStep) {
    const int64_t U = int64_t{1} << 40;
    auto u = [](int v) { return v ? scalePow2(xf::fromInt32(v), 40) : xf::fromInt32(0); };  // v units of 2^40
    ArmStep s;
    s.x0 = s.y0 = u(0);
    s.x1 = u(4);
    s.y1 = u(2);
    s.outline = {u(0), u(-1), u(4), u(-1), u(4), u(1), u(0), u(1)};
    const FixedOutline o = fixedOutline(s);
    EXPECT_TRUE(o.midX == 2 * U && o.midY == U && o.minX == 0 && o.maxX == 4 * U && o.minY == -U && o.maxY == U);
    EXPECT_TRUE(o.x[2] == 4 * U && o.y[2] == U && o.x[3] == 0 && o.y[0] == -U);
}

// Along one axis, the minimum corner (high words) of the level's voxel holding p (full units).
int64_t cornerAt(int level, int64_t p) {
    const int64_t side = int64_t{1} << (32 - level);
    return level == 1 ? -side / 2 : ((p >> 32) / side - ((p >> 32) % side < 0)) * side;
}

// A point of the voxel (full units): uniform, or near a target point.
int64_t inside(Sampler& r, int64_t corner, int level, int64_t target, bool nearTarget) {
    const int64_t lo = corner << 32, last = lo + int64_t((uint64_t{1} << (64 - level)) - 1);
    if (nearTarget) return std::clamp(target + int64_t((r.uniform() - 0.5) * 0x1p40), lo, last);
    return lo + int64_t(r.next() >> level);
}

// Where the voxels are taken: up to 1.1 widths and thicknesses off an arm
// element (from 0.1 before it to 0.1 past it), or within 1.2 radii of a smooth
// component, one time in four on its centre plane.
void targetPoint(Sampler& r, int kind, int64_t& x, int64_t& y, int64_t& z) {
    if (kind == 0) {
        const ArmStep& s = arms().armPath[r.in(0, int64_t(arms().armPath.size()) - 1)];
        const double t = r.uniform() * 1.2 - 0.1;
        const double angle = r.uniform() * 2 * M_PI;
        const double across = 1.1 * (d(s.width0) + t * (d(s.width1) - d(s.width0))) * r.uniform();
        x = int64_t(d(s.x0) + t * (d(s.x1) - d(s.x0)) + across * std::cos(angle));
        y = int64_t(d(s.y0) + t * (d(s.y1) - d(s.y0)) + across * std::sin(angle));
        z = int64_t((r.uniform() * 2 - 1) * 1.1 * (d(s.thick0) + t * (d(s.thick1) - d(s.thick0))));
        return;
    }
    const int slots[] = {0, 1, 2, 4, 5};
    const GalaxyComponent& c = builtGalaxy().components[slots[r.in(0, 4)]];
    const double xy = double(c.radiusXY) * 0x1p32 * 1.2;
    const double height = double(c.shape == SHAPE_SPHERE ? c.radiusXY : c.radiusZ) * 0x1p32 * 1.2;
    x = int64_t((r.uniform() * 2 - 1) * xy);
    y = int64_t((r.uniform() * 2 - 1) * xy);
    z = r.in(0, 3) == 0 ? r.in(-(1 << 19), 1 << 19) : int64_t((r.uniform() * 2 - 1) * height);
}

TEST(DensityBound, CellDensityIsNeverBelowAnyPointDensityInTheVoxel) {
    Sampler r{0xB0B0};
    const GalaxyComponent* components = builtGalaxy().components.get();
    const int voxelsPerLevel = 600 / SAMPLE_SCALE;
    const int pointsPerVoxel = 24;
    uint64_t armHits = 0, tightArm = 0;
    for (int level = 1; level <= MAX_LEVEL; ++level) {
        for (int v = 0; v < voxelsPerLevel; ++v) {
            int64_t tx, ty, tz;
            targetPoint(r, v % 4, tx, ty, tz);
            const int64_t vx = cornerAt(level, tx), vy = cornerAt(level, ty), vz = cornerAt(level, tz);
            const uint32_t node = descend(vx << 32, vy << 32, level);
            for (uint32_t c = 0; c < builtGalaxy().count; ++c) {
                const uint64_t cell = cellDensity(components[c], tree().nodes[node], level, vx, vy, vz);
                for (int p = 0; p < pointsPerVoxel; ++p) {
                    const bool nearTarget = p % 2 == 0;
                    const int64_t px = inside(r, vx, level, tx, nearTarget);
                    const int64_t py = inside(r, vy, level, ty, nearTarget);
                    const int64_t pz = inside(r, vz, level, tz, nearTarget);
                    const uint64_t point = pointDensity(components[c], tree(), node, level, px, py, pz);
                    ASSERT_LE(point, cell) << "component " << c << " level " << level << " voxel " << vx << "," << vy
                                           << "," << vz << " point " << px << "," << py << "," << pz;
                    if (c != 3) continue;
                    // The tree loses no element: the arms' density is the sum over all of them.
                    uint64_t all = 0;
                    for (const ArmElement& e : arms().elements) all += elementDensity(px, py, pz, e);
                    ASSERT_EQ(point, all) << px << "," << py << "," << pz;
                    armHits += point > 0;
                    tightArm += point * 10 > cell * 9;
                }
            }
        }
    }
    // The sampling did reach into the arms, often close to their peak.
    EXPECT_TRUE(armHits > uint64_t(2000 / SAMPLE_SCALE) && tightArm > uint64_t(50 / SAMPLE_SCALE)) << armHits << " " << tightArm;
}

// The arms' voxel test against a node's open z range: a voxel sharing a single
// full z value with it, at either end, gets the bound.
TEST(DensityBound, ArmVoxelZRangeEdges) {
    const int64_t side = int64_t{1} << 12, z = 7 * side;  // level 20
    PlaneNode node;
    node.bound = 1234;
    for (const int64_t only : {((z + side) << 32) - 1, z << 32}) {
        for (int apart : {1, 0}) {
            node.lowestZ = only == z << 32 ? INT64_MIN : only - apart;
            node.highestZ = only == z << 32 ? only + apart : INT64_MAX;
            EXPECT_EQ(cellDensity(arms(), node, 20, 0, 0, z), apart ? node.bound : 0u) << only << " " << apart;
        }
    }
    EXPECT_EQ(cellDensity(arms(), tree().nodes[PLANE_EMPTY_LEAF], 5, 0, 0, 0), 0u);
}

__extension__ typedef __int128 i128;

// Orientation of r against the line p->q: positive left.
i128 orient(i128 px, i128 py, i128 qx, i128 qy, i128 rx, i128 ry) {
    return (qx - px) * (ry - py) - (qy - py) * (rx - px);
}

// The quarter test as the tree defines it: the step's midpoint in the closed
// box; or, where the bounding boxes meet, an outline edge meeting the box or
// the box centre on one side of all four edges (at doubled coordinates).
bool referenceMeets(const FixedOutline& o, const PlaneBox& b) {
    if (o.midX >= b.x0 && o.midX <= b.x1 && o.midY >= b.y0 && o.midY <= b.y1) return true;
    if (o.maxX < b.x0 || o.minX > b.x1 || o.maxY < b.y0 || o.minY > b.y1) return false;
    const i128 bx[4] = {b.x0, b.x1, b.x1, b.x0}, by[4] = {b.y0, b.y0, b.y1, b.y1};
    int positive = 0, negative = 0;
    for (int e = 0; e < 4; ++e) {
        const int n = (e + 1) & 3;
        const i128 x0 = o.x[e], y0 = o.y[e], x1 = o.x[n], y1 = o.y[n];
        // A closed edge meets the box unless an axis or the edge's own line separates them.
        if (std::max(x0, x1) >= b.x0 && std::min(x0, x1) <= b.x1 && std::max(y0, y1) >= b.y0 &&
            std::min(y0, y1) <= b.y1) {
            int left = 0, right = 0;
            for (int c = 0; c < 4; ++c) {
                left += orient(x0, y0, x1, y1, bx[c], by[c]) > 0;
                right += orient(x0, y0, x1, y1, bx[c], by[c]) < 0;
            }
            if (left < 4 && right < 4) return true;
        }
        const i128 side = orient(2 * x0, 2 * y0, 2 * x1, 2 * y1, i128(b.x0) + b.x1, i128(b.y0) + b.y1);
        positive += side > 0;
        negative += side < 0;
    }
    return positive == 0 || negative == 0;
}

// Outlines of every kind on a coarse lattice (where corners, edges and box sides
// coincide often), the midpoint sometimes outside.
FixedOutline randomOutline(Sampler& r) {
    const int64_t U = int64_t{1} << 36;
    int64_t x[4], y[4];
    const int kind = int(r.next() % 6);
    if (kind == 0) {  // a rectangle-like convex quadrilateral, either orientation
        const int64_t cx = r.in(-8, 8) * U, cy = r.in(-8, 8) * U, w = r.in(1, 6) * U, h = r.in(1, 6) * U;
        const int64_t px[4] = {cx - w, cx + w, cx + w + r.in(-1, 1) * U, cx - w};
        const int64_t py[4] = {cy - h, cy - h + r.in(-1, 1) * U, cy + h, cy + h};
        const bool reverse = r.next() & 1;
        for (int i = 0; i < 4; ++i) x[i] = px[reverse ? 3 - i : i], y[i] = py[reverse ? 3 - i : i];
    } else if (kind <= 2) {  // corners on one line (kind 2) or at one point (kind 1)
        const int64_t px = r.in(-8, 8) * U, py = r.in(-8, 8) * U, dx = r.in(-3, 3) * U, dy = r.in(-3, 3) * U;
        for (int i = 0; i < 4; ++i) {
            const int64_t t = kind == 1 ? 0 : r.in(-2, 2);
            x[i] = px + t * dx, y[i] = py + t * dy;
        }
    } else {  // anything: dented, crossed or convex by chance, fine or coarse
        const int64_t step = kind == 5 ? U / 4 + r.in(0, 1000) : U;
        for (int i = 0; i < 4; ++i) {
            x[i] = r.in(-10, 10) * step;  // two statements: x's draw comes first
            y[i] = r.in(-10, 10) * step;
        }
    }
    FixedOutline o{{x[0], x[1], x[2], x[3]}, {y[0], y[1], y[2], y[3]}, r.in(-10, 10) * U, r.in(-10, 10) * U};
    std::tie(o.minX, o.maxX) = std::minmax({x[0], x[1], x[2], x[3]});
    std::tie(o.minY, o.maxY) = std::minmax({y[0], y[1], y[2], y[3]});
    return o;
}

PlaneBox randomBox(Sampler& r) {
    const int64_t U = int64_t{1} << 36;
    const int64_t unit = (r.next() & 1) ? U : U / 8;
    const int64_t x0 = r.in(-100, 100) * unit, y0 = r.in(-100, 100) * unit;
    return {x0, x0 + r.in(0, 40) * unit, y0, y0 + r.in(0, 40) * unit};
}

// The quarter test against the reference on every kind of outline; every part of
// a box inside an outline (the build skips the test below it) meets it too.
TEST(PlaneTreeQuarterTest, AgreesWithSegmentGeometryOnEveryKindOfOutline) {
    Sampler r{0x0A7E};
    int met = 0, missed = 0, inside = 0;
    for (int i = 0; i < 200000; ++i) {
        const FixedOutline o = randomOutline(r);
        const PlaneBox b = randomBox(r);
        const bool expected = referenceMeets(o, b);
        ASSERT_EQ(outlineMeetsBox(o, b), expected) << "case " << i;
        (expected ? met : missed)++;
        if (!outlineContainsBox(o, b)) continue;
        ++inside;
        for (int k = 0; k < 8; ++k) {
            const int64_t x0 = r.in(b.x0, b.x1), y0 = r.in(b.y0, b.y1);
            const PlaneBox part{x0, r.in(x0, b.x1), y0, r.in(y0, b.y1)};
            ASSERT_TRUE(referenceMeets(o, part));
        }
    }
    EXPECT_TRUE(met > 10000 && missed > 20000 && inside > 300) << met << " " << missed << " " << inside;
}

// Checks a built node and those below it against the rules: every square
// tests every element of its parent, with no inside shortcut and no sharing of
// element copies. Returns the number of nodes compared.
size_t checkNode(const PlaneTree& tree, uint32_t index, const GalaxyComponent& arms,
                 const std::vector<uint32_t>& list, const PlaneBox& box, int level) {
    if (::testing::Test::HasFailure()) return 0;  // one mismatch tells enough
    const PlaneNode& n = tree.nodes[index];
    uint64_t bound = 0;
    int64_t highest = 0;
    for (const uint32_t e : list) {
        const ArmStep& s = arms.armPath[e];
        bound = std::max({bound, toUint64(s.density0), toUint64(s.density1)});
        highest = std::max({highest, toInt64(s.thick0), toInt64(s.thick1)});
    }
    const bool leaf = !((list.size() >= 10 && level < 20) || (list.size() <= 9 && level < 15));
    EXPECT_TRUE(n.leaf == leaf && n.bound == bound && n.lowestZ == -highest && n.highestZ == highest) << index;
    if (n.leaf != leaf) return 1;
    if (leaf) {
        EXPECT_EQ(size_t{n.elementCount}, list.size()) << index;
        for (size_t k = 0; k < list.size() && k < n.elementCount; ++k)
            EXPECT_EQ(std::memcmp(&tree.elements[n.firstElement + k], &arms.elements[list[k]], sizeof(ArmElement)), 0)
                << index;
        return 1;
    }
    size_t compared = 1;
    const int64_t midX = (box.x0 + box.x1) / 2, midY = (box.y0 + box.y1) / 2;
    for (int c = 0; c < 4; ++c) {
        const bool hx = c >= 2, hy = c & 1;
        const PlaneBox q{hx ? midX : box.x0, hx ? box.x1 : midX, hy ? midY : box.y0, hy ? box.y1 : midY};
        std::vector<uint32_t> part;
        for (const uint32_t e : list)
            if (outlineMeetsBox(fixedOutline(arms.armPath[e]), q) || outlineMeetsBox(tubeOutline(arms.armPath[e]), q))
                part.push_back(e);
        EXPECT_EQ(n.child[c] == PLANE_EMPTY_LEAF, part.empty()) << index << " child " << c;
        if (n.child[c] != PLANE_EMPTY_LEAF && !part.empty())
            compared += checkNode(tree, n.child[c], arms, part, q, level + 1);
    }
    return compared;
}

// Steps from the centre (more than ten elements at the top), further out (many
// squares inside an outline), and with an outline collapsed to its start
// point (reached only where the point or the tube outline is).
TEST(PlaneTreeBuild, MatchesTheRulesWithoutShortcuts) {
    const struct {
        size_t first, count;
        bool collapsed;
    } cases[] = {{0, 24, false}, {100, 6, false}, {40, 3, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("steps from " + std::to_string(c.first));
        GalaxyComponent some;
        some.shape = SHAPE_ARMS;
        some.armPath.assign(arms().armPath.begin() + c.first, arms().armPath.begin() + c.first + c.count);
        some.elements.assign(arms().elements.begin() + c.first, arms().elements.begin() + c.first + c.count);
        for (int k = 0; k < 4 && c.collapsed; ++k) {
            some.armPath[1].outline[2 * k] = some.armPath[1].x0;
            some.armPath[1].outline[2 * k + 1] = some.armPath[1].y0;
        }
        PlaneTree built;
        built.nodes.assign(2, PlaneNode{});
        buildPlaneTree(built, some);
        std::vector<uint32_t> all(c.count);
        std::iota(all.begin(), all.end(), 0u);
        const int64_t half = int64_t{1} << 62;
        // Every node of the built tree is reached from the root and compared.
        EXPECT_EQ(checkNode(built, PLANE_ROOT, some, all, {-half, half, -half, half}, 1) + 1, built.nodes.size());
    }
}

}  // namespace

// The plane tree's quarter test and its build shortcuts against plain
// reference versions: the outline tests against textbook segment and point
// geometry, and the whole build against a recursion that tests every element
// of every square with no shortcut at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "galaxy/arms.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"

namespace {

__extension__ typedef __int128 i128;

struct Rng {
    uint64_t state;
    uint64_t next() { return wyhashDraw(state); }
    int64_t in(int64_t lo, int64_t hi) { return lo + int64_t(next() % uint64_t(hi - lo + 1)); }
};

// Orientation of r against the line p->q: positive left.
i128 orient(i128 px, i128 py, i128 qx, i128 qy, i128 rx, i128 ry) {
    return (qx - px) * (ry - py) - (qy - py) * (rx - px);
}

int sgn(i128 v) { return (v > 0) - (v < 0); }

bool onSegment(i128 px, i128 py, i128 qx, i128 qy, i128 rx, i128 ry) {
    return std::min(px, qx) <= rx && rx <= std::max(px, qx) && std::min(py, qy) <= ry && ry <= std::max(py, qy);
}

// Closed segments p-q and r-s share a point (the textbook orientation test).
bool segmentsMeet(i128 px, i128 py, i128 qx, i128 qy, i128 rx, i128 ry, i128 sx, i128 sy) {
    const int d1 = sgn(orient(rx, ry, sx, sy, px, py)), d2 = sgn(orient(rx, ry, sx, sy, qx, qy));
    const int d3 = sgn(orient(px, py, qx, qy, rx, ry)), d4 = sgn(orient(px, py, qx, qy, sx, sy));
    if (d1 * d2 < 0 && d3 * d4 < 0) return true;
    return (d1 == 0 && onSegment(rx, ry, sx, sy, px, py)) || (d2 == 0 && onSegment(rx, ry, sx, sy, qx, qy)) ||
           (d3 == 0 && onSegment(px, py, qx, qy, rx, ry)) || (d4 == 0 && onSegment(px, py, qx, qy, sx, sy));
}

// The quarter test as the tree defines it: the step's midpoint in the closed
// box; or an outline edge meeting the closed box (an end inside it, or
// crossing one of its sides); or the box centre on the same side of all four
// outline edges (compared at doubled coordinates, so exactly). The last two
// need the outline's bounding box to meet the box: without that, an outline
// shrunk to a point or a line would have every centre "on" its edge lines.
bool referenceMeets(const FixedOutline& o, const PlaneBox& b) {
    if (o.midX >= b.x0 && o.midX <= b.x1 && o.midY >= b.y0 && o.midY <= b.y1) return true;
    if (o.maxX < b.x0 || o.minX > b.x1 || o.maxY < b.y0 || o.minY > b.y1) return false;
    const i128 bx[4] = {b.x0, b.x1, b.x1, b.x0}, by[4] = {b.y0, b.y0, b.y1, b.y1};
    for (int e = 0; e < 4; ++e) {
        const int n = (e + 1) & 3;
        for (const int c : {e, n})
            if (o.x[c] >= b.x0 && o.x[c] <= b.x1 && o.y[c] >= b.y0 && o.y[c] <= b.y1) return true;
        for (int side = 0; side < 4; ++side) {
            const int t = (side + 1) & 3;
            if (segmentsMeet(o.x[e], o.y[e], o.x[n], o.y[n], bx[side], by[side], bx[t], by[t])) return true;
        }
    }
    const i128 cx = i128(b.x0) + b.x1, cy = i128(b.y0) + b.y1;
    int positive = 0, negative = 0;
    for (int e = 0; e < 4; ++e) {
        const int n = (e + 1) & 3;
        const int s = sgn(orient(2 * i128(o.x[e]), 2 * i128(o.y[e]), 2 * i128(o.x[n]), 2 * i128(o.y[n]), cx, cy));
        positive += s > 0;
        negative += s < 0;
    }
    return positive == 0 || negative == 0;
}

FixedOutline outlineOf(const int64_t (&x)[4], const int64_t (&y)[4], int64_t midX, int64_t midY) {
    FixedOutline o{{x[0], x[1], x[2], x[3]}, {y[0], y[1], y[2], y[3]}, midX, midY};
    std::tie(o.minX, o.maxX) = std::minmax({x[0], x[1], x[2], x[3]});
    std::tie(o.minY, o.maxY) = std::minmax({y[0], y[1], y[2], y[3]});
    return o;
}

// Outlines of every kind on a coarse lattice (so that corners, edges and box
// sides often coincide): convex either way round, dented, crossed, collinear
// and single points; the midpoint sometimes outside the outline.
FixedOutline randomOutline(Rng& r) {
    const int64_t U = int64_t{1} << 36;
    int64_t x[4], y[4];
    const int kind = int(r.next() % 6);
    if (kind == 0) {  // a rectangle-like convex quadrilateral, either orientation
        const int64_t cx = r.in(-8, 8) * U, cy = r.in(-8, 8) * U, w = r.in(1, 6) * U, h = r.in(1, 6) * U;
        const int64_t px[4] = {cx - w, cx + w, cx + w + r.in(-1, 1) * U, cx - w};
        const int64_t py[4] = {cy - h, cy - h + r.in(-1, 1) * U, cy + h, cy + h};
        const bool reverse = r.next() & 1;
        for (int i = 0; i < 4; ++i) x[i] = px[reverse ? 3 - i : i], y[i] = py[reverse ? 3 - i : i];
    } else if (kind == 1) {  // all corners at one point
        const int64_t px = r.in(-8, 8) * U, py = r.in(-8, 8) * U;
        for (int i = 0; i < 4; ++i) x[i] = px, y[i] = py;
    } else if (kind == 2) {  // corners on one line
        const int64_t px = r.in(-8, 8) * U, py = r.in(-8, 8) * U, dx = r.in(-3, 3) * U, dy = r.in(-3, 3) * U;
        for (int i = 0; i < 4; ++i) {
            const int64_t t = r.in(-2, 2);
            x[i] = px + t * dx, y[i] = py + t * dy;
        }
    } else {  // anything: dented, crossed or convex by chance, fine or coarse
        const int64_t step = kind == 5 ? U / 4 + r.in(0, 1000) : U;
        for (int i = 0; i < 4; ++i) {
            x[i] = r.in(-10, 10) * step;  // two statements: x's draw comes first
            y[i] = r.in(-10, 10) * step;
        }
    }
    return outlineOf(x, y, r.in(-10, 10) * U, r.in(-10, 10) * U);
}

PlaneBox randomBox(Rng& r) {
    const int64_t U = int64_t{1} << 36;
    const int64_t unit = (r.next() & 1) ? U : U / 8;
    const int64_t x0 = r.in(-100, 100) * unit, y0 = r.in(-100, 100) * unit;
    return {x0, x0 + r.in(0, 40) * unit, y0, y0 + r.in(0, 40) * unit};
}

// The quarter test against segment geometry on every kind of outline. The
// build skips the quarter test below a square that lies inside an outline;
// that is only right when every square inside it meets the outline. An
// outline shrunk to a point has every point on its edge lines, but a square
// away from that point is not inside it.
TEST(PlaneTreeQuarterTest, AgreesWithSegmentGeometryOnEveryKindOfOutline) {
    Rng r{0x0A7E};
    int met = 0, missed = 0, inside = 0;
    for (int i = 0; i < 200000; ++i) {
        const FixedOutline o = randomOutline(r);
        const PlaneBox b = randomBox(r);
        const bool expected = referenceMeets(o, b);
        ASSERT_EQ(outlineMeetsBox(o, b), expected)
            << "outline " << o.x[0] << "," << o.y[0] << " " << o.x[1] << "," << o.y[1] << " " << o.x[2] << ","
            << o.y[2] << " " << o.x[3] << "," << o.y[3] << " mid " << o.midX << "," << o.midY << " box " << b.x0
            << ".." << b.x1 << " x " << b.y0 << ".." << b.y1;
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
    const int64_t U = int64_t{1} << 36;
    const FixedOutline dot = outlineOf({U, U, U, U}, {U, U, U, U}, U, U);
    EXPECT_FALSE(outlineContainsBox(dot, {4 * U, 8 * U, 4 * U, 8 * U}));
    EXPECT_FALSE(referenceMeets(dot, {4 * U, 8 * U, 4 * U, 8 * U}));
    EXPECT_TRUE(outlineMeetsBox(dot, {0, 2 * U, 0, 2 * U}));
}

// The tree as the rules define it: every square tests every element of its
// parent, with no inside shortcut and no sharing of element copies.
struct ReferenceNode {
    PlaneNode node;
    std::vector<uint32_t> elements;
    std::unique_ptr<ReferenceNode> child[4];
};

std::unique_ptr<ReferenceNode> referenceTree(const GalaxyComponent& arms, const std::vector<uint32_t>& list,
                                             const PlaneBox& box, int level) {
    auto out = std::make_unique<ReferenceNode>();
    PlaneNode& n = out->node;
    for (const uint32_t e : list) {
        const ArmStep& s = arms.armPath[e];
        n.bound = std::max({n.bound, toUint64(s.density0), toUint64(s.density1)});
        const int64_t t = std::max(toInt64(s.thick0), toInt64(s.thick1));
        n.highestZ = list.front() == e ? t : std::max(n.highestZ, t);
        n.lowestZ = -n.highestZ;
    }
    const size_t count = list.size();
    if (!((count >= 10 && level < 20) || (count >= 1 && count <= 9 && level < 15))) {
        n.leaf = 1;
        n.elementCount = uint8_t(count);
        out->elements = list;
        return out;
    }
    n.leaf = 0;
    const int64_t midX = (box.x0 + box.x1) / 2, midY = (box.y0 + box.y1) / 2;
    for (int hx = 0; hx < 2; ++hx) {
        for (int hy = 0; hy < 2; ++hy) {
            const PlaneBox q{hx ? midX : box.x0, hx ? box.x1 : midX, hy ? midY : box.y0, hy ? box.y1 : midY};
            std::vector<uint32_t> part;
            for (const uint32_t e : list)
                if (outlineMeetsBox(fixedOutline(arms.armPath[e]), q) || outlineMeetsBox(tubeOutline(arms.armPath[e]), q))
                    part.push_back(e);
            if (!part.empty()) out->child[hy + 2 * hx] = referenceTree(arms, part, q, level + 1);
        }
    }
    return out;
}

bool sameElement(const ArmElement& a, const ArmElement& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Walks the built tree and the reference side by side; returns the number of
// nodes compared.
size_t compareTrees(const PlaneTree& tree, uint32_t index, const ReferenceNode& ref, const GalaxyComponent& arms) {
    if (::testing::Test::HasFailure()) return 0;  // one mismatch tells enough
    const PlaneNode& n = tree.nodes[index];
    EXPECT_TRUE(n.leaf == ref.node.leaf && n.bound == ref.node.bound && n.lowestZ == ref.node.lowestZ &&
                n.highestZ == ref.node.highestZ)
        << "node " << index;
    if (n.leaf != ref.node.leaf) return 1;
    if (n.leaf) {
        EXPECT_EQ(n.elementCount, ref.node.elementCount);
        for (size_t k = 0; k < ref.elements.size() && k < n.elementCount; ++k)
            EXPECT_TRUE(sameElement(tree.elements[n.firstElement + k], arms.elements[ref.elements[k]]));
        return 1;
    }
    size_t compared = 1;
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(n.child[c] == PLANE_EMPTY_LEAF, ref.child[c] == nullptr) << "child " << c;
        if (n.child[c] != PLANE_EMPTY_LEAF && ref.child[c]) compared += compareTrees(tree, n.child[c], *ref.child[c], arms);
    }
    return compared;
}

// Arms made of some of the galaxy's steps, optionally with extra steps.
GalaxyComponent someSteps(size_t first, size_t count) {
    static const Galaxy galaxy = buildGalaxy();
    const GalaxyComponent& all = galaxy.components[3];
    GalaxyComponent arms;
    arms.shape = SHAPE_ARMS;
    for (size_t k = first; k < first + count && k < all.armPath.size(); ++k) {
        arms.armPath.push_back(all.armPath[k]);
        arms.elements.push_back(all.elements[k]);
    }
    return arms;
}

void expectSameAsReference(const GalaxyComponent& arms) {
    PlaneTree tree;
    tree.nodes.assign(2, PlaneNode{});
    buildPlaneTree(tree, arms);
    std::vector<uint32_t> all(arms.elements.size());
    for (uint32_t k = 0; k < all.size(); ++k) all[k] = k;
    const int64_t half = int64_t{1} << 62;
    const auto ref = referenceTree(arms, all, {-half, half, -half, half}, 1);
    const size_t compared = compareTrees(tree, PLANE_ROOT, *ref, arms);
    // Every node of the built tree is reached from the root and compared.
    EXPECT_EQ(compared + 1, tree.nodes.size());
}

TEST(PlaneTreeBuild, MatchesTheRulesWithoutShortcuts) {
    // Twelve steps of each arm from the centre outwards: more than ten
    // elements at the top, leaves holding one to several elements.
    expectSameAsReference(someSteps(0, 24));
    // A few elements further out, where the squares inside an outline are many.
    expectSameAsReference(someSteps(100, 6));
    // A step whose outline has collapsed to its start point: every square has
    // its corners "on" all four edge lines, yet only the squares that hold the
    // point or meet the tube outline are reached.
    GalaxyComponent arms = someSteps(40, 3);
    ArmStep& s = arms.armPath[1];
    for (int c = 0; c < 4; ++c) {
        s.outline[2 * c] = s.x0;
        s.outline[2 * c + 1] = s.y0;
    }
    expectSameAsReference(arms);
}

}  // namespace

// The quadtree over the galactic plane that tells, for every square of the
// plane, which arm elements may reach into it.
//
// A quarter gets an element when the step's outline meets it, or when the
// outline of the tube's true footprint does (tubeOutline): at the bends the
// tube reaches a little beyond the step's outline, and a point there must
// still find its element.
//
// The tree is large (hundreds of thousands of nodes: every square that an
// arm's outline meets is split down to level 15), so the build avoids most
// geometry: once a square lies wholly inside an element's outline, every
// square below it meets that element without a test. Leaves that hold the
// same elements share one run of element copies.
#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "galaxy/arms.h"
#include "numeric/constants.h"

namespace {

__extension__ typedef __int128 i128;

constexpr int64_t ROOT_HALF = int64_t{1} << 62;

// Outline corners are kept within +-2^61 (far beyond any arm); box corners
// lie within +-2^62. The orientation values below then stay below 2^126 in
// magnitude and sums of two of them fit in 128 bits.
constexpr int64_t CORNER_LIMIT = int64_t{1} << 61;

int64_t clampCorner(int64_t v) { return std::clamp(v, -CORNER_LIMIT, CORNER_LIMIT); }

// The middle of [a, b]; exact for the tree's squares, whose sides are even.
int64_t middle(int64_t a, int64_t b) { return static_cast<int64_t>((static_cast<i128>(a) + b) / 2); }

// (q - p) x (r - p) for the box corners r = (x0|x1, y0|y1), in the order
// (x0, y0), (x1, y0), (x0, y1), (x1, y1): positive left of the line p->q.
// The value is affine in r, so three products give all four.
void cornerSides(int64_t px, int64_t py, int64_t qx, int64_t qy, const PlaneBox& b, i128 f[4]) {
    const i128 A = static_cast<i128>(qx) - px;
    const i128 B = static_cast<i128>(qy) - py;
    f[0] = A * (static_cast<i128>(b.y0) - py) - B * (static_cast<i128>(b.x0) - px);
    const i128 stepX = B * (static_cast<i128>(b.x1) - b.x0);
    const i128 stepY = A * (static_cast<i128>(b.y1) - b.y0);
    f[1] = f[0] - stepX;
    f[2] = f[0] + stepY;
    f[3] = f[1] + stepY;
}

int sign(i128 v) { return (v > 0) - (v < 0); }

// Elements in the work lists carry this bit when the node's square lies
// inside their outline.
constexpr uint32_t INSIDE = 0x80000000u;

struct TreeBuilder {
    PlaneTree& tree;
    const GalaxyComponent& arms;
    std::vector<FixedOutline> outlines;
    std::vector<FixedOutline> tubes;
    std::vector<uint64_t> elementBound;
    std::vector<int64_t> elementThickness;
    std::vector<uint32_t> scratch;  // the element lists of the nodes being built, stacked
    std::unordered_map<uint64_t, uint32_t> sharedRuns;

    // Where the copies of a leaf's elements start. Single elements use the
    // copy of the whole element array at the start of tree.elements; lists of
    // up to eight elements are shared between leaves.
    uint32_t leafElements(const uint32_t* list, size_t count) {
        if (count == 1) return list[0] & ~INSIDE;
        uint64_t key = 0;
        const bool shareable = count <= 8 && arms.elements.size() < 255;
        if (shareable) {
            for (size_t k = 0; k < count; ++k) key = (key << 8) | ((list[k] & ~INSIDE) + 1);
            const auto found = sharedRuns.find(key);
            if (found != sharedRuns.end()) return found->second;
        }
        const auto first = static_cast<uint32_t>(tree.elements.size());
        for (size_t k = 0; k < count; ++k) tree.elements.push_back(arms.elements[list[k] & ~INSIDE]);
        if (shareable) sharedRuns.emplace(key, first);
        return first;
    }

    // Builds node `index` over the scratch list [begin, end).
    void fill(uint32_t index, int level, const PlaneBox& box, size_t begin, size_t end) {
        PlaneNode node;
        int64_t thickest = INT64_MIN;
        for (size_t k = begin; k < end; ++k) {
            const uint32_t e = scratch[k] & ~INSIDE;
            node.bound = std::max(node.bound, elementBound[e]);
            thickest = std::max(thickest, elementThickness[e]);
        }
        const size_t count = end - begin;
        if (count != 0) {
            node.lowestZ = -thickest;
            node.highestZ = thickest;
        }
        const bool split = (count >= 10 && level < 20) || (count >= 1 && count <= 9 && level < 15);
        if (!split) {
            if (count > 255) throw std::length_error("plane tree leaf holds too many elements");
            node.leaf = 1;
            node.elementCount = static_cast<uint8_t>(count);
            node.firstElement = count != 0 ? leafElements(&scratch[begin], count) : 0;
            tree.nodes[index] = node;
            return;
        }

        node.leaf = 0;
        const int64_t midX = middle(box.x0, box.x1);
        const int64_t midY = middle(box.y0, box.y1);
        PlaneBox quarterBox[4];
        size_t quarterBegin[4], quarterEnd[4];
        for (int hx = 0; hx < 2; ++hx) {
            for (int hy = 0; hy < 2; ++hy) {
                const int c = hy + 2 * hx;
                const PlaneBox q{hx ? midX : box.x0, hx ? box.x1 : midX, hy ? midY : box.y0, hy ? box.y1 : midY};
                quarterBox[c] = q;
                quarterBegin[c] = scratch.size();
                for (size_t k = begin; k < end; ++k) {
                    const uint32_t item = scratch[k];
                    if (item & INSIDE) {
                        scratch.push_back(item);
                        continue;
                    }
                    const FixedOutline& o = outlines[item];
                    if (!outlineMeetsBox(o, q) && !outlineMeetsBox(tubes[item], q)) continue;
                    // Squares well below the leaf level are worth the extra test.
                    scratch.push_back(level + 1 < 15 && outlineContainsBox(o, q) ? item | INSIDE : item);
                }
                quarterEnd[c] = scratch.size();
            }
        }
        // Quarters no element reaches share the empty leaf; the others are
        // appended side by side, then filled depth first.
        uint32_t childIndex[4];
        for (int c = 0; c < 4; ++c) {
            if (quarterBegin[c] == quarterEnd[c]) {
                childIndex[c] = PLANE_EMPTY_LEAF;
                continue;
            }
            childIndex[c] = static_cast<uint32_t>(tree.nodes.size());
            tree.nodes.emplace_back();
        }
        for (int c = 0; c < 4; ++c) node.child[c] = childIndex[c];
        tree.nodes[index] = node;
        for (int c = 0; c < 4; ++c)
            if (childIndex[c] != PLANE_EMPTY_LEAF) fill(childIndex[c], level + 1, quarterBox[c], quarterBegin[c], quarterEnd[c]);
        scratch.resize(quarterBegin[0]);
    }
};

}  // namespace

FixedOutline fixedOutline(const ArmStep& s) {
    FixedOutline o;
    for (int i = 0; i < 4; ++i) {
        o.x[i] = clampCorner(toInt64(s.outline[2 * i]));
        o.y[i] = clampCorner(toInt64(s.outline[2 * i + 1]));
    }
    o.midX = toInt64((s.x0 + s.x1) * HALF);
    o.midY = toInt64((s.y0 + s.y1) * HALF);
    o.minX = *std::min_element(o.x, o.x + 4);
    o.maxX = *std::max_element(o.x, o.x + 4);
    o.minY = *std::min_element(o.y, o.y + 4);
    o.maxY = *std::max_element(o.y, o.y + 4);
    return o;
}

bool outlineMeetsBox(const FixedOutline& o, const PlaneBox& b) {
    // The step's midpoint in the box (for an integer box, comparing the
    // floored midpoint is the same as comparing the midpoint itself).
    if (o.midX >= b.x0 && o.midX <= b.x1 && o.midY >= b.y0 && o.midY <= b.y1) return true;
    // Neither an edge crossing nor the box centre inside the outline is
    // possible when the outline's bounding box misses the box.
    if (o.maxX < b.x0 || o.minX > b.x1 || o.maxY < b.y0 || o.minY > b.y1) return false;

    // An outline edge that crosses a box edge meets the closed box; so does
    // one lying inside it, and then the whole outline lies inside or another
    // edge crosses, so testing "edge meets box" decides the same. An edge
    // meets the box when their bounding boxes overlap and the box corners
    // are not all strictly on one side of the edge's line.
    int centrePositive = 0, centreNegative = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) & 3;
        i128 f[4];
        cornerSides(o.x[i], o.y[i], o.x[j], o.y[j], b, f);
        const bool overlap = std::max(o.x[i], o.x[j]) >= b.x0 && std::min(o.x[i], o.x[j]) <= b.x1 &&
                             std::max(o.y[i], o.y[j]) >= b.y0 && std::min(o.y[i], o.y[j]) <= b.y1;
        if (overlap && !((f[0] > 0 && f[1] > 0 && f[2] > 0 && f[3] > 0) ||
                         (f[0] < 0 && f[1] < 0 && f[2] < 0 && f[3] < 0)))
            return true;
        // The box centre's side: twice its value is the sum at two opposite corners.
        const int s = sign(f[0] + f[3]);
        centrePositive += s > 0;
        centreNegative += s < 0;
    }
    // The box inside the outline: its centre on the same side of all four edges.
    return centrePositive == 0 || centreNegative == 0;
}

bool outlineContainsBox(const FixedOutline& o, const PlaneBox& b) {
    // The points on the same side of all four edge lines form a convex set:
    // it holds the box when it holds the box's corners.
    int positive = 0, negative = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) & 3;
        i128 f[4];
        cornerSides(o.x[i], o.y[i], o.x[j], o.y[j], b, f);
        for (const i128 v : f) {
            positive += v > 0;
            negative += v < 0;
        }
    }
    return positive == 0 || negative == 0;
}

void buildPlaneTree(PlaneTree& tree, const GalaxyComponent& arms) {
    TreeBuilder b{tree, arms, {}, {}, {}, {}, {}, {}};
    const size_t n = arms.elements.size();
    b.outlines.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const ArmStep& s = arms.armPath[k];
        b.outlines.push_back(fixedOutline(s));
        b.tubes.push_back(tubeOutline(s));
        b.elementBound.push_back(std::max(toUint64(s.density0), toUint64(s.density1)));
        b.elementThickness.push_back(std::max(toInt64(s.thick0), toInt64(s.thick1)));
    }
    // Copies of every element first: the leaves holding one element point here.
    tree.elements.insert(tree.elements.end(), arms.elements.begin(), arms.elements.end());
    b.scratch.reserve(4096);
    tree.nodes.reserve(tree.nodes.size() + 600000);
    b.scratch.resize(n);
    for (uint32_t k = 0; k < n; ++k) b.scratch[k] = k;
    b.fill(PLANE_ROOT, 1, PlaneBox{-ROOT_HALF, ROOT_HALF, -ROOT_HALF, ROOT_HALF}, 0, n);
}

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

// The side values of the points of a grid of box corners against the four
// outline edges: for edge e from corner p to corner q and grid point
// r = (xs[i], ys[j]), (q - p) x (r - p) = A (ys[j] - py) - B (xs[i] - px),
// positive left of the line p->q. The value is affine in r, so one product
// per grid line and edge gives every grid point: a square and its four
// quarters (a 3 x 3 grid) take 24 products instead of 64.
// Every factor fits in 64 bits (corner differences within 2^62, box
// coordinates within 2^62 of a corner), so each product is one 64 x 64-bit
// multiplication.
struct EdgeSides {
    i128 ay[4][3];
    i128 bx[4][3];
    i128 at(int e, int i, int j) const { return ay[e][j] - bx[e][i]; }
};

void edgeSides(const FixedOutline& o, const int64_t* xs, const int64_t* ys, int n, EdgeSides& s) {
    for (int e = 0; e < 4; ++e) {
        const int next = (e + 1) & 3;
        const int64_t A = o.x[next] - o.x[e];
        const int64_t B = o.y[next] - o.y[e];
        for (int k = 0; k < n; ++k) {
            s.ay[e][k] = static_cast<i128>(A) * (ys[k] - o.y[e]);
            s.bx[e][k] = static_cast<i128>(B) * (xs[k] - o.x[e]);
        }
    }
}

int sign(i128 v) { return (v > 0) - (v < 0); }

// The quarter test for the box b of grid cell (i, j), whose corners are the
// grid points (i|i+1, j|j+1).
bool meetsCell(const FixedOutline& o, const EdgeSides& s, const PlaneBox& b, int i, int j) {
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
    for (int e = 0; e < 4; ++e) {
        const int next = (e + 1) & 3;
        const i128 f00 = s.at(e, i, j), f10 = s.at(e, i + 1, j);
        const i128 f01 = s.at(e, i, j + 1), f11 = s.at(e, i + 1, j + 1);
        const bool overlap = std::max(o.x[e], o.x[next]) >= b.x0 && std::min(o.x[e], o.x[next]) <= b.x1 &&
                             std::max(o.y[e], o.y[next]) >= b.y0 && std::min(o.y[e], o.y[next]) <= b.y1;
        if (overlap && !((f00 > 0 && f10 > 0 && f01 > 0 && f11 > 0) || (f00 < 0 && f10 < 0 && f01 < 0 && f11 < 0)))
            return true;
        // The box centre's side: twice its value is the sum at two opposite corners.
        const int c = sign(f00 + f11);
        centrePositive += c > 0;
        centreNegative += c < 0;
    }
    // The box inside the outline: its centre on the same side of all four edges.
    return centrePositive == 0 || centreNegative == 0;
}

// True when all four corners of grid cell (i, j) lie on the same side of all
// four edges (or on them).
bool containsCell(const EdgeSides& s, int i, int j) {
    int positive = 0, negative = 0;
    for (int e = 0; e < 4; ++e) {
        for (int k = 0; k < 4; ++k) {
            const i128 v = s.at(e, i + (k & 1), j + (k >> 1));
            positive += v > 0;
            negative += v < 0;
        }
    }
    return positive == 0 || negative == 0;
}

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
    std::vector<uint8_t> quarterMask;  // per element of the node being split: its quarters
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

    bool allInside(size_t begin, size_t end) const {
        for (size_t k = begin; k < end; ++k)
            if (!(scratch[k] & INSIDE)) return false;
        return true;
    }

    // A square inside the outlines of all its elements: every square below
    // it down to the leaf level holds the same elements, so the subtree is
    // complete and its nodes differ only in their child indices.
    void fillInside(uint32_t index, int level, PlaneNode inner, const PlaneNode& leaf) {
        const auto first = static_cast<uint32_t>(tree.nodes.size());
        for (uint32_t c = 0; c < 4; ++c) inner.child[c] = first + c;
        tree.nodes[index] = inner;
        if (level + 1 == 15) {
            tree.nodes.insert(tree.nodes.end(), 4, leaf);
            return;
        }
        tree.nodes.resize(first + 4);
        for (uint32_t c = 0; c < 4; ++c) fillInside(first + c, level + 1, inner, leaf);
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
        if (allInside(begin, end)) {
            PlaneNode leaf = node;
            leaf.leaf = 1;
            leaf.elementCount = static_cast<uint8_t>(count);
            leaf.firstElement = leafElements(&scratch[begin], count);
            fillInside(index, level, node, leaf);
            return;
        }
        // Which quarters each element meets (bits 0-3) and lies over
        // (bits 4-7). The side values of the square's 3 x 3 grid of quarter
        // corners serve all four quarters; the tube's outline is only needed
        // for quarters the step's outline misses.
        const int64_t xs[3] = {box.x0, middle(box.x0, box.x1), box.x1};
        const int64_t ys[3] = {box.y0, middle(box.y0, box.y1), box.y1};
        PlaneBox quarterBox[4];
        for (int c = 0; c < 4; ++c) {
            const int hx = c >> 1, hy = c & 1;
            quarterBox[c] = PlaneBox{xs[hx], xs[hx + 1], ys[hy], ys[hy + 1]};
        }
        // Squares well below the leaf level are worth knowing to be inside.
        const bool markInside = level + 1 < 15;
        for (size_t k = begin; k < end; ++k) {
            const uint32_t item = scratch[k];
            if (item & INSIDE) {
                quarterMask[k - begin] = 0xFF;
                continue;
            }
            EdgeSides sides, tubeSides;
            edgeSides(outlines[item], xs, ys, 3, sides);
            bool tubeReady = false;
            uint32_t mask = 0;
            for (int c = 0; c < 4; ++c) {
                const int hx = c >> 1, hy = c & 1;
                bool meets = meetsCell(outlines[item], sides, quarterBox[c], hx, hy);
                if (!meets) {
                    if (!tubeReady) edgeSides(tubes[item], xs, ys, 3, tubeSides);
                    tubeReady = true;
                    meets = meetsCell(tubes[item], tubeSides, quarterBox[c], hx, hy);
                }
                if (!meets) continue;
                mask |= 1u << c;
                if (markInside && containsCell(sides, hx, hy)) mask |= 0x10u << c;
            }
            quarterMask[k - begin] = static_cast<uint8_t>(mask);
        }
        size_t quarterBegin[4], quarterEnd[4];
        for (int c = 0; c < 4; ++c) {
            quarterBegin[c] = scratch.size();
            for (size_t k = begin; k < end; ++k) {
                const uint32_t mask = quarterMask[k - begin];
                if (mask & (1u << c)) scratch.push_back(mask & (0x10u << c) ? scratch[k] | INSIDE : scratch[k]);
            }
            quarterEnd[c] = scratch.size();
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
    const int64_t xs[2] = {b.x0, b.x1}, ys[2] = {b.y0, b.y1};
    EdgeSides sides;
    edgeSides(o, xs, ys, 2, sides);
    return meetsCell(o, sides, b, 0, 0);
}

bool outlineContainsBox(const FixedOutline& o, const PlaneBox& b) {
    // The points on the same side of all four edge lines form a convex set:
    // it holds the box when it holds the box's corners.
    const int64_t xs[2] = {b.x0, b.x1}, ys[2] = {b.y0, b.y1};
    EdgeSides sides;
    edgeSides(o, xs, ys, 2, sides);
    return containsCell(sides, 0, 0);
}

void buildPlaneTree(PlaneTree& tree, const GalaxyComponent& arms) {
    TreeBuilder b{tree, arms, {}, {}, {}, {}, {}, {}, {}};
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
    b.quarterMask.resize(n);
    for (uint32_t k = 0; k < n; ++k) b.scratch[k] = k;
    b.fill(PLANE_ROOT, 1, PlaneBox{-ROOT_HALF, ROOT_HALF, -ROOT_HALF, ROOT_HALF}, 0, n);
}

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
// square below it meets that element without a test, and a square inside
// the outlines of all its elements is written out as a complete subtree
// without any test. The other squares test their elements on the 3 x 3 grid
// of quarter corners, which serves all four quarters at once. Leaves that
// hold the same elements share one run of element copies.
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

// The side values of an outline's edges at the points of a grid of box
// corners (xs[i], ys[j]), i, j < 3: a box, or the 3 x 3 corners of a square's
// four quarters. For edge e from corner p to corner q and a point r,
// (q - p) x (r - p) = A (ry - py) - B (rx - px) is positive left of the line
// p->q. It is affine in r, so one product per grid line and edge gives every
// grid point: the four quarters of a square take 24 products instead of 64.
// Every factor fits in 64 bits (corner differences within 2^62, box
// coordinates within 2^62 of a corner), so each product is one 64 x 64-bit
// multiplication.
struct EdgeSides {
    i128 ay[4][3];  // A (ys[j] - py)
    i128 bx[4][3];  // B (xs[i] - px)
    // Over a box the value is smallest at the corner with the low y when
    // A >= 0 and the high x when B >= 0, largest at the opposite corner.
    int lowY[4], highX[4];
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
        s.lowY[e] = A >= 0 ? 0 : 1;
        s.highX[e] = B >= 0 ? 1 : 0;
    }
}

// The smallest and largest side value of edge e over the grid box (i, j),
// whose corners are the grid points (i|i+1, j|j+1). The two lie at opposite
// corners, so their sum is twice the value at the box centre.
void sideRange(const EdgeSides& s, int e, int i, int j, i128& low, i128& high) {
    const int yl = j + s.lowY[e], yh = j + 1 - s.lowY[e];
    const int xh = i + s.highX[e], xl = i + 1 - s.highX[e];
    low = s.ay[e][yl] - s.bx[e][xh];
    high = s.ay[e][yh] - s.bx[e][xl];
}

// The range of each edge's side value over the outline's own corners, and
// whether the outline is a convex quadrilateral (all four turns strictly the
// same way; then it is simple, and it is the set of points on its inner
// side of all four edge lines).
struct OutlineShape {
    bool convex = false;
    i128 low[4], high[4];
};

OutlineShape outlineShape(const FixedOutline& o) {
    OutlineShape shape;
    int turnsLeft = 0, turnsRight = 0;
    for (int e = 0; e < 4; ++e) {
        const int next = (e + 1) & 3;
        const int64_t A = o.x[next] - o.x[e];
        const int64_t B = o.y[next] - o.y[e];
        shape.low[e] = shape.high[e] = 0;  // the edge's own corners
        for (int k = 2; k < 4; ++k) {
            const int c = (e + k) & 3;
            const i128 f = static_cast<i128>(A) * (o.y[c] - o.y[e]) - static_cast<i128>(B) * (o.x[c] - o.x[e]);
            shape.low[e] = std::min(shape.low[e], f);
            shape.high[e] = std::max(shape.high[e], f);
            // The turn at the edge's end: the side of the corner after it.
            if (k == 2) {
                turnsLeft += f > 0;
                turnsRight += f < 0;
            }
        }
    }
    shape.convex = turnsLeft == 4 || turnsRight == 4;
    return shape;
}

bool withinBounds(const FixedOutline& o, const PlaneBox& b) {
    return b.x0 >= o.minX && b.x1 <= o.maxX && b.y0 >= o.minY && b.y1 <= o.maxY;
}

// The quarter test for the box b of grid cell (i, j).
bool meetsCell(const FixedOutline& o, const OutlineShape& shape, const EdgeSides& s, const PlaneBox& b, int i,
               int j) {
    // The step's midpoint in the box (for an integer box, comparing the
    // floored midpoint is the same as comparing the midpoint itself).
    if (o.midX >= b.x0 && o.midX <= b.x1 && o.midY >= b.y0 && o.midY <= b.y1) return true;
    // Neither an edge crossing nor the box centre inside the outline is
    // possible when the outline's bounding box misses the box.
    if (o.maxX < b.x0 || o.minX > b.x1 || o.maxY < b.y0 || o.minY > b.y1) return false;

    if (shape.convex) {
        // For a convex outline the crossings and the centre test below are
        // true exactly when the closed outline and box share a point, and
        // two convex polygons are apart exactly when their ranges along the
        // normal of one of their edges are apart: the box's edges gave the
        // bounding-box test, the outline's edges are checked here.
        for (int e = 0; e < 4; ++e) {
            i128 low, high;
            sideRange(s, e, i, j, low, high);
            if (high < shape.low[e] || low > shape.high[e]) return false;
        }
        return true;
    }

    // An outline edge that crosses a box edge meets the closed box; so does
    // one lying inside it, and then the whole outline lies inside or another
    // edge crosses, so testing "edge meets box" decides the same. An edge
    // meets the box when their bounding boxes overlap and the box corners
    // are not all strictly on one side of the edge's line.
    int centrePositive = 0, centreNegative = 0;
    for (int e = 0; e < 4; ++e) {
        const int next = (e + 1) & 3;
        i128 low, high;
        sideRange(s, e, i, j, low, high);
        const bool overlap = std::max(o.x[e], o.x[next]) >= b.x0 && std::min(o.x[e], o.x[next]) <= b.x1 &&
                             std::max(o.y[e], o.y[next]) >= b.y0 && std::min(o.y[e], o.y[next]) <= b.y1;
        if (overlap && low <= 0 && high >= 0) return true;
        // The box centre's side.
        const i128 centre = low + high;
        centrePositive += centre > 0;
        centreNegative += centre < 0;
    }
    // The box inside the outline: its centre on the same side of all four edges.
    return centrePositive == 0 || centreNegative == 0;
}

// True when the box of grid cell (i, j) lies within the outline's bounding
// box and all its corners lie on the same side of all four edges (or on
// them). Every box inside it then has its centre on that side of every edge
// and meets the bounding box, so the quarter test is true for it.
bool insideCell(const FixedOutline& o, const EdgeSides& s, const PlaneBox& b, int i, int j) {
    if (!withinBounds(o, b)) return false;
    bool allLeft = true, allRight = true;
    for (int e = 0; e < 4 && (allLeft || allRight); ++e) {
        i128 low, high;
        sideRange(s, e, i, j, low, high);
        allLeft = allLeft && low >= 0;
        allRight = allRight && high <= 0;
    }
    return allLeft || allRight;
}

// Elements in the work lists carry this bit when the node's square lies
// inside their outline.
constexpr uint32_t INSIDE = 0x80000000u;

struct TreeBuilder {
    PlaneTree& tree;
    const GalaxyComponent& arms;
    std::vector<FixedOutline> outlines;
    std::vector<FixedOutline> tubes;
    std::vector<OutlineShape> outlineShapes, tubeShapes;
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
        // Which quarters each element meets (bits 0-3) and lies inside
        // (bits 4-7, asked for squares well below the leaf level). The side
        // values at the square's 3 x 3 grid of quarter corners serve all
        // four quarters; the tube's outline is only needed for quarters the
        // step's outline misses.
        const int64_t xs[3] = {box.x0, middle(box.x0, box.x1), box.x1};
        const int64_t ys[3] = {box.y0, middle(box.y0, box.y1), box.y1};
        PlaneBox quarterBox[4];
        for (int c = 0; c < 4; ++c) quarterBox[c] = PlaneBox{xs[c >> 1], xs[(c >> 1) + 1], ys[c & 1], ys[(c & 1) + 1]};
        const bool markInside = level + 1 < 15;
        for (size_t k = begin; k < end; ++k) {
            const uint32_t item = scratch[k];
            if (item & INSIDE) {
                quarterMask[k - begin] = 0xFF;
                continue;
            }
            const FixedOutline& o = outlines[item];
            EdgeSides sides, tubeSides;
            edgeSides(o, xs, ys, 3, sides);
            bool tubeReady = false;
            uint32_t mask = 0;
            for (int c = 0; c < 4; ++c) {
                const int i = c >> 1, j = c & 1;
                // Inside implies that the outline meets the quarter.
                if (markInside && insideCell(o, sides, quarterBox[c], i, j)) {
                    mask |= 0x11u << c;
                    continue;
                }
                if (meetsCell(o, outlineShapes[item], sides, quarterBox[c], i, j)) {
                    mask |= 1u << c;
                    continue;
                }
                if (!tubeReady) edgeSides(tubes[item], xs, ys, 3, tubeSides);
                tubeReady = true;
                if (meetsCell(tubes[item], tubeShapes[item], tubeSides, quarterBox[c], i, j)) mask |= 1u << c;
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
    return meetsCell(o, outlineShape(o), sides, b, 0, 0);
}

bool outlineContainsBox(const FixedOutline& o, const PlaneBox& b) {
    const int64_t xs[2] = {b.x0, b.x1}, ys[2] = {b.y0, b.y1};
    EdgeSides sides;
    edgeSides(o, xs, ys, 2, sides);
    return insideCell(o, sides, b, 0, 0);
}

void buildPlaneTree(PlaneTree& tree, const GalaxyComponent& arms) {
    TreeBuilder b{tree, arms, {}, {}, {}, {}, {}, {}, {}, {}, {}};
    const size_t n = arms.elements.size();
    b.outlines.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const ArmStep& s = arms.armPath[k];
        b.outlines.push_back(fixedOutline(s));
        b.tubes.push_back(tubeOutline(s));
        b.outlineShapes.push_back(outlineShape(b.outlines.back()));
        b.tubeShapes.push_back(outlineShape(b.tubes.back()));
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

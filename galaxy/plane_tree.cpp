// The quadtree over the galactic plane that tells, for every square of the
// plane, which arm elements may reach into it.
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

// Sign of (q - p) x (r - p): +1 when r lies left of the line p->q. Exact:
// coordinates stay within +-2^62, so the products fit in 127 bits.
int orientation(int64_t px, int64_t py, int64_t qx, int64_t qy, int64_t rx, int64_t ry) {
    const i128 c = static_cast<i128>(qx - px) * (ry - py) - static_cast<i128>(qy - py) * (rx - px);
    return (c > 0) - (c < 0);
}

bool rangesOverlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
    return std::max(a0, a1) >= std::min(b0, b1) && std::max(b0, b1) >= std::min(a0, a1);
}

// True when the closed segments p0-p1 and q0-q1 have a point in common.
bool segmentsCross(int64_t p0x, int64_t p0y, int64_t p1x, int64_t p1y, int64_t q0x, int64_t q0y, int64_t q1x,
                   int64_t q1y) {
    const int o1 = orientation(p0x, p0y, p1x, p1y, q0x, q0y);
    const int o2 = orientation(p0x, p0y, p1x, p1y, q1x, q1y);
    if (o1 == 0 && o2 == 0)  // collinear: they meet when their extents overlap
        return rangesOverlap(p0x, p1x, q0x, q1x) && rangesOverlap(p0y, p1y, q0y, q1y);
    if (o1 * o2 > 0) return false;
    const int o3 = orientation(q0x, q0y, q1x, q1y, p0x, p0y);
    const int o4 = orientation(q0x, q0y, q1x, q1y, p1x, p1y);
    return o3 * o4 <= 0;
}

// Sides of the point against the four outline edges, as counts of +1 and -1.
void sides(const FixedOutline& o, int64_t px, int64_t py, int& positive, int& negative) {
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) & 3;
        const int s = orientation(o.x[i], o.y[i], o.x[j], o.y[j], px, py);
        positive += s > 0;
        negative += s < 0;
    }
}

int64_t clampToRoot(int64_t v) { return std::clamp(v, -ROOT_HALF, ROOT_HALF); }

// The middle of [a, b]; exact for the tree's squares, whose sides are even.
int64_t middle(int64_t a, int64_t b) { return static_cast<int64_t>((static_cast<i128>(a) + b) / 2); }

// Elements in the work lists carry this bit when the node's square lies
// inside their outline.
constexpr uint32_t INSIDE = 0x80000000u;

struct TreeBuilder {
    PlaneTree& tree;
    const GalaxyComponent& arms;
    std::vector<FixedOutline> outlines;
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
                    if (!outlineMeetsBox(o, q)) continue;
                    // Squares well below the leaf level are worth the extra test.
                    scratch.push_back(level + 1 < 14 && outlineContainsBox(o, q) ? item | INSIDE : item);
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
        o.x[i] = clampToRoot(toInt64(s.outline[2 * i]));
        o.y[i] = clampToRoot(toInt64(s.outline[2 * i + 1]));
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

    const int64_t bx[4] = {b.x0, b.x1, b.x1, b.x0};
    const int64_t by[4] = {b.y0, b.y0, b.y1, b.y1};
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) & 3;
        for (int k = 0; k < 4; ++k) {
            const int l = (k + 1) & 3;
            if (segmentsCross(o.x[i], o.y[i], o.x[j], o.y[j], bx[k], by[k], bx[l], by[l])) return true;
        }
    }
    int positive = 0, negative = 0;
    sides(o, middle(b.x0, b.x1), middle(b.y0, b.y1), positive, negative);
    return positive == 0 || negative == 0;
}

bool outlineContainsBox(const FixedOutline& o, const PlaneBox& b) {
    // The points on the same side of all four edge lines form a convex set:
    // it holds the box when it holds the box's corners.
    int positive = 0, negative = 0;
    sides(o, b.x0, b.y0, positive, negative);
    sides(o, b.x1, b.y0, positive, negative);
    sides(o, b.x0, b.y1, positive, negative);
    sides(o, b.x1, b.y1, positive, negative);
    return positive == 0 || negative == 0;
}

void buildPlaneTree(PlaneTree& tree, const GalaxyComponent& arms) {
    TreeBuilder b{tree, arms, {}, {}, {}, {}, {}};
    const size_t n = arms.elements.size();
    b.outlines.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        const ArmStep& s = arms.armPath[k];
        b.outlines.push_back(fixedOutline(s));
        b.elementBound.push_back(std::max(toUint64(s.density0), toUint64(s.density1)));
        b.elementThickness.push_back(std::max(toInt64(s.thick0), toInt64(s.thick1)));
    }
    // Copies of every element first: the leaves holding one element point here.
    tree.elements.insert(tree.elements.end(), arms.elements.begin(), arms.elements.end());
    b.scratch.reserve(4096);
    b.scratch.resize(n);
    for (uint32_t k = 0; k < n; ++k) b.scratch[k] = k;
    b.fill(PLANE_ROOT, 1, PlaneBox{-ROOT_HALF, ROOT_HALF, -ROOT_HALF, ROOT_HALF}, 0, n);
}

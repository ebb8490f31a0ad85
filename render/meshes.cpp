#include "render/meshes.h"

#include <bit>
#include <cmath>
#include <stdexcept>
#include <unordered_map>

#include "numeric/constants.h"

IcosaTables makeIcosaTables() {
    IcosaTables t{};
    for (int i = 0; i < 12; ++i) {
        for (int c = 0; c < 3; ++c) t.vertices[i][c] = ICOSA_VERTICES[i][c] * ICOSA_SCALE;
        t.vertices[i][3] = 0;
    }
    for (int f = 0; f < 20; ++f) {
        for (int c = 0; c < 3; ++c) t.faces[f][c] = ICOSA_FACES[f].vertex[c];
        t.faces[f][3] = 0;
    }
    return t;
}

namespace {

std::array<float, 3> normalised(float x, float y, float z) {
    const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
    return {x * inv, y * inv, z * inv};
}

}  // namespace

Icosphere buildIcosphere(const IcosaTables& base, int level) {
    Icosphere sphere;
    for (const auto& v : base.vertices) sphere.vertices.push_back(normalised(v[0], v[1], v[2]));
    for (const auto& f : base.faces) {
        // Reversed order: clockwise seen from outside.
        sphere.triangles.push_back({static_cast<uint16_t>(f[2]), static_cast<uint16_t>(f[1]),
                                    static_cast<uint16_t>(f[0])});
    }
    for (int l = 0; l < level; ++l) {
        // Each edge's midpoint is made once and shared by the two triangles on it.
        std::unordered_map<uint32_t, uint16_t> midpoints;
        auto midpoint = [&](uint16_t a, uint16_t b) {
            const uint32_t key = a < b ? (uint32_t{a} << 16) | b : (uint32_t{b} << 16) | a;
            auto found = midpoints.find(key);
            if (found != midpoints.end()) return found->second;
            const auto& p = sphere.vertices[a];
            const auto& q = sphere.vertices[b];
            if (sphere.vertices.size() >= 65536) throw std::length_error("icosphere too fine for 16-bit indices");
            sphere.vertices.push_back(normalised(p[0] + q[0], p[1] + q[1], p[2] + q[2]));
            const auto index = static_cast<uint16_t>(sphere.vertices.size() - 1);
            midpoints.emplace(key, index);
            return index;
        };
        std::vector<std::array<uint16_t, 3>> finer;
        finer.reserve(sphere.triangles.size() * 4);
        for (const auto& t : sphere.triangles) {
            const uint16_t ab = midpoint(t[0], t[1]);
            const uint16_t bc = midpoint(t[1], t[2]);
            const uint16_t ca = midpoint(t[2], t[0]);
            finer.push_back({t[0], ab, ca});
            finer.push_back({t[1], bc, ab});
            finer.push_back({t[2], ca, bc});
            finer.push_back({ab, bc, ca});
        }
        sphere.triangles = std::move(finer);
    }
    return sphere;
}

EllipsoidMesh buildEllipsoidMesh(const IcosaTables& base, const std::vector<EllipsoidShape>& shapes) {
    EllipsoidMesh mesh;
    const size_t count = std::min<size_t>(shapes.size(), MAX_SMALL_BACKGROUND);
    for (size_t i = 0; i < count; ++i) {
        const EllipsoidShape& s = shapes[i];
        ParamPart p{};
        p.param[3] = s.intensity * 4294967296.0f;
        p.param[5] = 1.0f / s.radiusZ;
        p.param[6] = 1.0f / s.radiusXY;
        mesh.params.push_back(p);

        const Icosphere sphere = buildIcosphere(base, static_cast<int>(s.level));
        const size_t offset = mesh.vertices.size();
        if (offset + sphere.vertices.size() > 65536) throw std::length_error("too many ellipsoid vertices");
        for (const auto& v : sphere.vertices) {
            mesh.vertices.push_back(
                {{v[0] * s.radiusXY, v[1] * s.radiusXY, v[2] * s.radiusZ}, static_cast<uint32_t>(i)});
        }
        for (const auto& t : sphere.triangles) {
            for (uint16_t index : t) mesh.indices.push_back(static_cast<uint16_t>(index + offset));
        }
        mesh.triangleCount += static_cast<uint32_t>(sphere.triangles.size());
    }
    return mesh;
}

namespace {

ParamPart node(float x, float y, float intensity) {
    ParamPart p{};
    p.param[0] = x;
    p.param[1] = y;
    p.param[2] = 0;
    p.param[3] = intensity * 4294967296.0f;
    return p;
}

// The cone of one segment: radius = slope x distance from the tip, the tip on
// the segment's line. A tapering segment has its tip beyond its end (positive
// tip offset, measured from the start towards the end); a widening one has it
// behind its start (negative offset): the shaders take the cone's distance
// from the tip squared and the mesh its size, so both are drawn with their
// true shape. A segment whose ends have (nearly) the same size is a cone with
// its tip a thousand lengths away, which differs from a straight tube by less
// than a thousandth.
void setCone(ParamPart& p, const ArmSegment& s, float length) {
    if (!(length > 0)) {
        p.param[4] = 1;
        p.param[5] = 1.0f / std::max(s.thick0, 1e-30f);
        p.param[6] = 1.0f / std::max(s.width0, 1e-30f);
        return;
    }
    const float change = s.width0 - s.width1;
    float tip;
    if (std::abs(change) > 1e-3f * std::max(s.width0, s.width1)) {
        tip = s.width0 * length / change;  // negative when the segment widens
    } else {
        tip = 1000.0f * length;
    }
    // The start is |tip| away from the tip, where the size is the start's.
    p.param[4] = tip;
    p.param[5] = std::abs(tip) / s.thick0;  // 1 / (thickness per unit distance from the tip)
    p.param[6] = std::abs(tip) / s.width0;
}

}  // namespace

std::vector<ParamPart> buildTubeNodes(const std::vector<std::vector<ArmSegment>>& chains) {
    std::vector<ParamPart> nodes;
    for (const auto& chain : chains) {
        if (chain.empty()) continue;
        const ArmSegment& first = chain.front();
        const ArmSegment& last = chain.back();
        // Lead node: the first segment extended backwards.
        nodes.push_back(node(2 * first.x0 - first.x1, 2 * first.y0 - first.y1, 0));
        for (size_t k = 0; k <= chain.size(); ++k) {
            ParamPart p = k < chain.size() ? node(chain[k].x0, chain[k].y0, chain[k].density0)
                                           : node(last.x1, last.y1, last.density1);
            if (k < chain.size()) {
                const float dx = chain[k].x1 - chain[k].x0;
                const float dy = chain[k].y1 - chain[k].y0;
                setCone(p, chain[k], std::sqrt(dx * dx + dy * dy));
            } else {
                p.param[4] = 1;
                p.param[5] = p.param[6] = 1;
            }
            nodes.push_back(p);
        }
        // Trailing node: the last segment extended forwards.
        ParamPart trailing = node(2 * last.x1 - last.x0, 2 * last.y1 - last.y0, 0);
        trailing.param[4] = 1;
        trailing.param[5] = trailing.param[6] = 1;
        nodes.push_back(trailing);
    }
    return nodes;
}

TubeMesh buildTubeMesh(const std::vector<std::vector<ArmSegment>>& chains, uint32_t rings) {
    if (rings == 0 || rings > 64 || !std::has_single_bit(rings)) throw std::invalid_argument("ring count");
    TubeMesh mesh;
    const uint32_t R = rings;
    const uint32_t ringShift = 6 - std::bit_width(R - 1);  // 6 - ceil(log2 R): the last ring is at 64
    uint32_t nodeBase = 0;
    for (const auto& chain : chains) {
        if (chain.empty()) continue;
        for (uint32_t k = 0; k < chain.size(); ++k) {
            const uint32_t b = nodeBase + 1 + k;  // the segment's start node (after the lead node)
            if (b > 0xFFFF) throw std::length_error("too many tube nodes");
            const auto base = static_cast<uint32_t>(mesh.vertices.size());
            for (uint32_t r = 0; r <= R; ++r) {
                for (uint32_t a = 0; a < 10; ++a) {
                    mesh.vertices.push_back(
                        {static_cast<uint16_t>(b), static_cast<uint8_t>(a), static_cast<uint8_t>(r << ringShift)});
                }
            }
            mesh.vertices.push_back({static_cast<uint16_t>(b), 0, 128});  // start axis
            mesh.vertices.push_back({static_cast<uint16_t>(b), 0, 192});  // end axis
            const uint32_t startAxis = base + 10 * (R + 1);
            const uint32_t endAxis = base + 10 * R + 11;
            auto ring = [&](uint32_t r, uint32_t a) { return base + 10 * r + a; };
            for (uint32_t k0 = 0; k0 < 10; ++k0) {
                const uint32_t k1 = (k0 + 1) % 10;
                mesh.indices.insert(mesh.indices.end(), {ring(0, k1), startAxis, ring(0, k0)});
                mesh.indices.insert(mesh.indices.end(), {ring(R, k0), endAxis, ring(R, k1)});
            }
            for (uint32_t j = 0; j < R; ++j) {
                for (uint32_t a0 = 0; a0 < 10; ++a0) {
                    const uint32_t a1 = (a0 + 1) % 10;
                    mesh.indices.insert(mesh.indices.end(), {ring(j, a0), ring(j + 1, a0), ring(j, a1)});
                    mesh.indices.insert(mesh.indices.end(), {ring(j, a1), ring(j + 1, a0), ring(j + 1, a1)});
                }
            }
            ++mesh.segmentCount;
        }
        nodeBase += static_cast<uint32_t>(chain.size()) + 3;
    }
    return mesh;
}

std::array<ShapeReferenceStruct, 9> buildShapeTable(StarShape starShape) {
    const bool circle = starShape == StarShape::Circle;
    const float radius = circle ? 1.0f : std::sqrt(3.0f);
    const float intensity = (circle ? 1.0f : 0.0f) / 127.0f;
    std::array<ShapeReferenceStruct, 9> table{};
    table[0] = {0, 0, 1.0f / 127.0f, 0};
    for (int k = 0; k < 8; ++k) {
        const double angle = k * 0.78539816339744831;  // k x 45 degrees
        table[k + 1] = {static_cast<float>(std::cos(angle)) * radius, static_cast<float>(std::sin(angle)) * radius,
                        intensity, 0};
    }
    return table;
}

std::vector<uint64_t> copyBatchSizes(uint64_t regionCount) {
    std::vector<uint64_t> batches;
    if (regionCount == 0) return batches;
    while (regionCount > COPY_BATCH_REGIONS) {
        batches.push_back(COPY_BATCH_REGIONS);
        regionCount -= COPY_BATCH_REGIONS;
    }
    batches.push_back(regionCount);
    return batches;
}

#include "starfield/pick.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "starfield/search.h"
#include "starfield/star_field.h"

namespace {

// The display's axes and scale, as projectToDisplay works them out.
struct Camera {
    Vec3d f, s, u;
    double scale = 1;  // pixels per unit of the tangent
    double halfW = 0, halfH = 0;
};

Camera cameraOf(const DisplayView& view) {
    Camera c;
    c.f = view.forward * (1.0 / std::sqrt(dot(view.forward, view.forward)));
    c.s = cross(c.f, view.up);
    c.s = c.s * (1.0 / std::sqrt(dot(c.s, c.s)));
    c.u = cross(c.s, c.f);
    const double W = view.width, H = view.height;
    c.scale = W / (2.0 * std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0));
    c.halfW = W / 2;
    c.halfH = H / 2;
    return c;
}

// a - b, in 128 bits only when 64 do not hold it (the eye may lie across
// space from a star).
inline double difference(int64_t a, int64_t b) {
    int64_t d;
    if (!__builtin_sub_overflow(a, b, &d)) return static_cast<double>(d);
    return static_cast<double>(static_cast<__int128>(a) - b);
}

Vec3d offsetOf(const StarRecord& s, const int64_t eye[3]) {
    return {difference(s.x, eye[0]), difference(s.y, eye[1]), difference(s.z, eye[2])};
}

// drawnAs for a star at offset d (position units) from the eye, with the
// display's scale in pixels per unit of the tangent.
PickedAs drawnAt(const StarRecord& star, const PickView& view, double discRadius, Vec3d d, double scale,
                 double& radius, double& luminosity) {
    radius = 0;
    luminosity = 0;
    if (star.slot == NO_SLOT) return PickedAs::NONE;
    constexpr double SHADER_UNIT = 1.0 / 281474976710656.0;  // 2^-48
    const double d2 = dot(d, d) * (SHADER_UNIT * SHADER_UNIT);
    luminosity = d2 > 0 ? view.luminosityConst * codeLuminosity(star.luminosityCode) / d2 : 1e30;
    if (star.foreground != 0 && star.state == STAR_NEAR) {
        // The sphere's silhouette: its angular radius on the display's scale.
        const double r = discRadius * view.foregroundRadiusFactor;
        const double distance2 = dot(d, d);
        radius = distance2 > r * r ? scale * r / std::sqrt(distance2 - r * r) : 1e9;
        return PickedAs::DISC;
    }
    if (star.state == STAR_NEAR) {
        radius = std::min(std::sqrt(luminosity), view.maximumCircleSize);
        return PickedAs::NEAR;
    }
    const double size = std::min(std::max(0.5, std::sqrt(luminosity)), 5.0);
    if (luminosity / (size * size) < 0.05) return PickedAs::NONE;
    radius = size / 2;
    return PickedAs::POINT;
}

// A star near enough to the pointer, and where it lies in the star field.
struct Hit {
    const StarRecord* star = nullptr;
    VoxelHandle voxel = 0;
    PickedAs as = PickedAs::NONE;
    double x = 0, y = 0, radius = 0, luminosity = 0;  // as PickedStar has them
    double edge = 0;   // pixels from the pointer to the drawn edge, 0 inside
    double depth = 0;  // along the view, position units
};

// The better of two hits when `a` is among the nearest (within PICK_CLOSE
// of the nearest edge): the brighter, then the nearer edge, then the lower
// position, so that the order of the scan never matters.
bool better(const Hit& a, const Hit& b) {
    if (a.luminosity != b.luminosity) return a.luminosity > b.luminosity;
    if (a.edge != b.edge) return a.edge < b.edge;
    const StarRecord& p = *a.star;
    const StarRecord& q = *b.star;
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    return p.z < q.z;
}

}  // namespace

double pointLuminosityConstant(double limitScale, float brightness) {
    return brightness * static_cast<float>(std::ldexp(limitScale, -96));
}

double codeLuminosity(uint32_t code) {
    const auto word = static_cast<int32_t>((code >> 7) << 13);
    return std::ldexp(static_cast<double>((word >> 13) & 4095), word >> 25);
}

PickedAs drawnAs(const StarRecord& star, const PickView& view, double discRadius, double& radius,
                 double& luminosity) {
    return drawnAt(star, view, discRadius, offsetOf(star, view.eye), cameraOf(view.display).scale, radius, luminosity);
}

bool pickStar(StarField& field, const PickView& view, double x, double y, PickedStar& out) {
    out = PickedStar{};
    const auto lock = field.lockGenerationShared();
    const Camera cam = cameraOf(view.display);
    const Vec3d ray = displayDirection(view.display, x, y);
    // The farthest from its centre a star other than a disc is drawn, and the tolerance.
    const double reach = std::max(view.maximumCircleSize, 5.0) + PICK_TOLERANCE + 1;

    auto measure = [&](const StarRecord& star, double discRadius, Hit& hit) {
        const Vec3d d = offsetOf(star, view.eye);
        const double depth = dot(d, cam.f);
        if (!(depth > 0)) return false;
        const double px = cam.halfW + dot(d, cam.s) / depth * cam.scale;
        const double py = cam.halfH - dot(d, cam.u) / depth * cam.scale;
        // Nothing but a disc is drawn larger than the reach.
        if (discRadius == 0 && (std::fabs(px - x) > reach || std::fabs(py - y) > reach)) return false;
        double radius = 0, luminosity = 0;
        const PickedAs as = drawnAt(star, view, discRadius, d, cam.scale, radius, luminosity);
        if (as == PickedAs::NONE) return false;
        const double gap = std::hypot(px - x, py - y) - radius;
        if (gap > PICK_TOLERANCE) return false;
        hit.star = &star;
        hit.edge = std::max(0.0, gap);
        hit.depth = depth;
        hit.as = as;
        hit.x = px;
        hit.y = py;
        hit.radius = radius;
        hit.luminosity = luminosity;
        return true;
    };

    // The discs first: few, and possibly far larger than anything else.
    std::vector<Hit> hits;
    const Hit* cover = nullptr;  // the nearest disc under the pointer
    std::vector<Hit> discs;
    for (uint32_t i = 0; i < field.foreground.count; ++i) {
        const StarRecord* owner = field.foreground.owner[i];
        Hit hit;
        if (owner != nullptr && measure(*owner, field.foreground.entries[i].radius, hit)) discs.push_back(hit);
    }
    for (const Hit& h : discs) {
        if (h.edge == 0 && (cover == nullptr || h.depth < cover->depth)) cover = &h;
    }
    if (cover != nullptr) {
        hits.push_back(*cover);
    } else {
        hits = discs;
    }
    const size_t discHits = hits.size();

    // Then the voxels whose box can reach the pointer: a sphere round the box
    // within the angle of the largest shape plus the tolerance of the ray.
    const double tanReach = reach / cam.scale;
    const double cosReach = 1 / std::sqrt(1 + tanReach * tanReach), sinReach = tanReach * cosReach;
    constexpr double GRID = 4294967296.0;  // position units per grid unit
    double halfEdge[32];
    for (int level = 0; level < 32; ++level) halfEdge[level] = std::ldexp(1.0, 63 - level);
    const Vec3d eye{static_cast<double>(view.eye[0]), static_cast<double>(view.eye[1]),
                    static_cast<double>(view.eye[2])};
    for (uint32_t c = 0; c < field.chunks.size(); ++c) {
        const Voxel* chunk = field.chunks[c].get();
        for (uint32_t e = c == 0 ? ROOT_VOXEL : 0; e < VOXEL_CHUNK_SIZE; ++e) {
            const Voxel& v = chunk[e];
            if (v.stars == FREE_VOXEL || v.stars == nullptr) continue;
            const VoxelHandle handle = c << 16 | e;
            for (size_t k = 0; k < discHits; ++k) {
                if (hits[k].star >= v.stars && hits[k].star < v.stars + v.count) hits[k].voxel = handle;
            }
            if (v.shownUpTo == 0 || cover != nullptr) continue;
            const double half = halfEdge[v.level & 31];
            const Vec3d centre{static_cast<double>(static_cast<int32_t>(v.x)) * GRID + half - eye.x,
                               static_cast<double>(static_cast<int32_t>(v.y)) * GRID + half - eye.y,
                               static_cast<double>(static_cast<int32_t>(v.z)) * GRID + half - eye.z};
            const double bound = half * 1.7320508075688772 * (1 + 1e-9) + 2;
            const double length2 = dot(centre, centre);
            if (length2 > bound * bound) {
                const double length = std::sqrt(length2);
                const double sinBox = bound / length, cosBox = std::sqrt(1 - sinBox * sinBox);
                // The box is seen within the angle asin(sinBox); the pointer's
                // ray must come within that plus the reach.
                const double cosLimit = cosBox * cosReach - sinBox * sinReach;
                const bool wide = sinBox * cosReach + cosBox * sinReach >= 1;  // past a right angle
                if (!wide && dot(centre, ray) < cosLimit * length) continue;
            }
            for (uint32_t i = 0; i < v.shownUpTo; ++i) {
                const StarRecord& s = v.stars[i];
                if (s.foreground != 0) continue;  // a disc: measured above
                Hit hit;
                if (measure(s, 0, hit)) {
                    hit.voxel = handle;
                    hits.push_back(hit);
                }
            }
        }
    }
    if (hits.empty()) return false;
    double nearest = hits[0].edge;
    for (const Hit& h : hits) nearest = std::min(nearest, h.edge);
    const Hit* best = nullptr;
    for (const Hit& h : hits) {
        if (h.edge <= nearest + PICK_CLOSE && h.voxel != 0 && (best == nullptr || better(h, *best))) best = &h;
    }
    if (best == nullptr) return false;
    const Voxel& v = field.voxel(best->voxel);
    out.as = best->as;
    out.x = best->x;
    out.y = best->y;
    out.radius = best->radius;
    out.luminosity = best->luminosity;
    SearchResult& r = out.found;
    r.star = *best->star;
    r.level = v.level;
    r.firstTier = v.firstTier;
    const int shift = 32 - v.level;
    r.cellX = static_cast<uint32_t>(static_cast<int32_t>(v.x) >> shift);
    r.cellY = static_cast<uint32_t>(static_cast<int32_t>(v.y) >> shift);
    r.cellZ = static_cast<uint32_t>(static_cast<int32_t>(v.z) >> shift);
    r.drawNumber = uint32_t{r.star.drawIndex} + 1;
    r.starNumber = static_cast<uint32_t>(best->star - v.stars) + 1;
    r.existing = 1;
    const Vec3d d = offsetOf(r.star, view.eye);
    r.distanceSquared = dot(d, d);
    nameStar(r);
    return true;
}

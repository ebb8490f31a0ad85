#include "tests/pictures/background_reference.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double SHADER_UNIT = 281474976710656.0;  // 2^48 position units

double dot2(double ax, double ay, double bx, double by) { return ax * bx + ay * by; }

RefVec3 along(const RefVec3& eye, const RefVec3& d, double s) { return {eye.x + d.x * s, eye.y + d.y * s, eye.z + d.z * s}; }

RefVec3 unit(const RefVec3& v) {
    const double n = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / n, v.y / n, v.z / n};
}

RefVec3 cross(const RefVec3& a, const RefVec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The part [lo, hi] of the ray where a + b s >= 0 (strict is not needed for an integral).
void clipLinear(double a, double b, double& lo, double& hi) {
    if (b == 0) {
        if (a < 0) hi = lo - 1;
        return;
    }
    const double root = -a / b;
    if (b > 0) lo = std::max(lo, root);
    else hi = std::min(hi, root);
}

// The part of the ray where a s^2 + 2 b s + c < 0 (a > 0).
bool clipQuadratic(double a, double b, double c, double& lo, double& hi) {
    if (a == 0) return c < 0 && hi > lo;  // a ray that keeps its distance
    const double disc = b * b - a * c;
    if (!(a > 0) || disc <= 0) return false;
    const double root = std::sqrt(disc);
    lo = std::max(lo, (-b - root) / a);
    hi = std::min(hi, (-b + root) / a);
    return hi > lo;
}

double ellipsoidDensity(const RefEllipsoid& e, const RefVec3& p) {
    const double q = (p.x * p.x + p.y * p.y) / (e.radiusXY * e.radiusXY) + p.z * p.z / (e.radiusZ * e.radiusZ);
    if (q >= 1) return 0;
    const double f = (1 - q) * (1 - q);
    return e.density * f * f;
}

double stepDensity(const RefArmStep& s, const RefVec3& p) {
    const double dx = p.x - s.x0, dy = p.y - s.y0;
    if (dot2(dx, dy, s.n0x, s.n0y) < 0) return 0;
    if (dot2(p.x - s.x1, p.y - s.y1, s.n1x, s.n1y) >= 0) return 0;
    const double ux = s.x1 - s.x0, uy = s.y1 - s.y0;
    const double lengthSq = ux * ux + uy * uy;
    if (!(lengthSq > 0)) return 0;
    const double t = dot2(dx, dy, ux, uy) / lengthSq;
    const double width = s.width0 + (s.width1 - s.width0) * t;
    const double thick = s.thick0 + (s.thick1 - s.thick0) * t;
    if (!(width > 0) || !(thick > 0)) return 0;
    const double ax = dx - t * ux, ay = dy - t * uy;
    const double q = (ax * ax + ay * ay) / (width * width) + p.z * p.z / (thick * thick);
    if (q >= 1) return 0;
    const double f = (1 - q) * (1 - q);
    return (s.density0 + (s.density1 - s.density0) * t) * f * f;
}

// Midpoint rule over [lo, hi] with samples no further apart than step.
template <typename Density>
double integrate(double lo, double hi, double step, int minimum, int maximum, Density density) {
    if (!(hi > lo)) return 0;
    const int n = std::clamp(static_cast<int>(std::ceil((hi - lo) / step)), minimum, maximum);
    const double h = (hi - lo) / n;
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += density(lo + (k + 0.5) * h);
    return sum * h;
}

}  // namespace

BackgroundModel backgroundModel(const GalaxyComponent* components, uint32_t count,
                                const std::vector<BackgroundShape>& shapes) {
    BackgroundModel model;
    for (const BackgroundShape& s : shapes) model.ellipsoids.push_back({s.radiusXY, s.radiusZ, s.density});
    // The display steps hold positions and sizes scaled by 2^-48 (shader
    // units) and 32.32 densities scaled by 2^-48, that is the relative density
    // times 2^-16.
    for (uint32_t c = 0; c < count; ++c) {
        const GalaxyComponent& arms = components[c];
        if (arms.shape != SHAPE_ARMS) continue;
        for (const auto& list : arms.armLists) {
            std::vector<RefArmStep> chain;
            for (uint32_t index : list) {
                const auto& v = arms.displayArms[index].v;
                chain.push_back({v[0], v[1], v[2], v[3], v[4] * 65536.0, v[5], v[6], v[7], v[8], v[9] * 65536.0, 0, 0,
                                 0, 0});
            }
            // Joint planes: the bisector of the two steps' directions; the
            // chain's ends are cut square.
            std::vector<std::pair<double, double>> directions;
            for (const RefArmStep& s : chain) {
                const double dx = s.x1 - s.x0, dy = s.y1 - s.y0, n = std::hypot(dx, dy);
                directions.emplace_back(dx / n, dy / n);
            }
            for (size_t k = 0; k < chain.size(); ++k) {
                auto [ax, ay] = directions[k];
                auto [px, py] = k > 0 ? directions[k - 1] : directions[k];
                auto [nx, ny] = k + 1 < chain.size() ? directions[k + 1] : directions[k];
                const double sx = ax + px, sy = ay + py, sn = std::hypot(sx, sy);
                const double ex = ax + nx, ey = ay + ny, en = std::hypot(ex, ey);
                chain[k].n0x = sx / sn;
                chain[k].n0y = sy / sn;
                chain[k].n1x = ex / en;
                chain[k].n1y = ey / en;
            }
            model.steps.insert(model.steps.end(), chain.begin(), chain.end());
        }
    }
    return model;
}

double modelDensity(const BackgroundModel& model, const RefVec3& p) {
    double sum = 0;
    for (const RefEllipsoid& e : model.ellipsoids) sum += ellipsoidDensity(e, p);
    for (const RefArmStep& s : model.steps) sum += stepDensity(s, p);
    return sum;
}

double rayIntegral(const BackgroundModel& model, const RefVec3& eye, const RefVec3& d) {
    double total = 0;
    for (const RefEllipsoid& e : model.ellipsoids) {
        // Where the ray is inside the ellipsoid, then many samples there.
        const double ia = 1 / (e.radiusXY * e.radiusXY), ib = 1 / (e.radiusZ * e.radiusZ);
        const double a = (d.x * d.x + d.y * d.y) * ia + d.z * d.z * ib;
        const double b = (eye.x * d.x + eye.y * d.y) * ia + eye.z * d.z * ib;
        const double c = (eye.x * eye.x + eye.y * eye.y) * ia + eye.z * eye.z * ib - 1;
        double lo = 0, hi = 1e30;
        if (!clipQuadratic(a, b, c, lo, hi)) continue;
        total += integrate(lo, hi, (hi - lo) / 400, 400, 400,
                           [&](double s) { return ellipsoidDensity(e, along(eye, d, s)); });
    }
    for (const RefArmStep& st : model.steps) {
        const double wMax = std::max(st.width0, st.width1), tMax = std::max(st.thick0, st.thick1);
        const double wMin = std::min(st.width0, st.width1), tMin = std::min(st.thick0, st.thick1);
        const double length = std::hypot(st.x1 - st.x0, st.y1 - st.y0);
        double lo = 0, hi = 1e30;
        // Between the joint planes.
        clipLinear(dot2(eye.x - st.x0, eye.y - st.y0, st.n0x, st.n0y), dot2(d.x, d.y, st.n0x, st.n0y), lo, hi);
        clipLinear(-dot2(eye.x - st.x1, eye.y - st.y1, st.n1x, st.n1y), -dot2(d.x, d.y, st.n1x, st.n1y), lo, hi);
        // Within the thickness (a little more where the tube runs on past an end).
        const double zMax = 1.5 * tMax;
        clipLinear(zMax - eye.z, -d.z, lo, hi);
        clipLinear(zMax + eye.z, d.z, lo, hi);
        // Within a circle round the step's middle that holds its footprint,
        // mitred ends included.
        const double mx = 0.5 * (st.x0 + st.x1) - eye.x, my = 0.5 * (st.y0 + st.y1) - eye.y;
        const double r = 0.5 * length + 1.5 * wMax;
        if (hi <= lo) continue;
        if (!clipQuadratic(d.x * d.x + d.y * d.y, -(mx * d.x + my * d.y), mx * mx + my * my - r * r, lo, hi)) continue;
        total += integrate(lo, hi, std::min(wMin, tMin) / 16, 32, 20000,
                           [&](double s) { return stepDensity(st, along(eye, d, s)); });
    }
    return total;
}

RefVec3 pixelRay(const RefView& view, int width, int height, double column, double row) {
    // The camera looks along forward with up above; the horizontal half-angle
    // is half the view angle times the picture's aspect (in radians).
    const double W = width, H = height;
    const double t = std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0);
    const RefVec3 f = unit(view.forward);
    const RefVec3 s = unit(cross(f, view.up));
    const RefVec3 u = cross(s, f);
    const double x = (2 * (column + 0.5) / W - 1) * t;
    const double y = -(2 * (row + 0.5) / H - 1) * t * (H / W);
    return unit({f.x + s.x * x + u.x * y, f.y + s.y * x + u.y * y, f.z + s.z * x + u.z * y});
}

bool projectToPixel(const RefView& view, int width, int height, const RefVec3& point, double& column, double& row) {
    const double W = width, H = height;
    const double t = std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0);
    const RefVec3 f = unit(view.forward);
    const RefVec3 s = unit(cross(f, view.up));
    const RefVec3 u = cross(s, f);
    const RefVec3 v{point.x - view.position[0] / SHADER_UNIT, point.y - view.position[1] / SHADER_UNIT,
                    point.z - view.position[2] / SHADER_UNIT};
    const double z = v.x * f.x + v.y * f.y + v.z * f.z;
    if (!(z > 0)) return false;
    const double x = (v.x * s.x + v.y * s.y + v.z * s.z) / z / t;
    const double y = -(v.x * u.x + v.y * u.y + v.z * u.z) / z / (t * H / W);
    column = (x + 1) / 2 * W - 0.5;
    row = (y + 1) / 2 * H - 0.5;
    return true;
}

std::vector<float> referencePicture(const BackgroundModel& model, const RefView& view, int width, int height,
                                    double scale, const float colour[3]) {
    const RefVec3 eye{view.position[0] / SHADER_UNIT, view.position[1] / SHADER_UNIT, view.position[2] / SHADER_UNIT};
    std::vector<float> out(static_cast<size_t>(3) * width * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            // Four rays per pixel, as the attachment's samples see it.
            double sum = 0;
            for (double oy : {-0.25, 0.25})
                for (double ox : {-0.25, 0.25})
                    sum += rayIntegral(model, eye, pixelRay(view, width, height, column + ox, row + oy));
            const double light = 0.25 * sum * scale;
            for (int c = 0; c < 3; ++c)
                out[3 * (static_cast<size_t>(row) * width + column) + c] = static_cast<float>(light * colour[c]);
        }
    }
    return out;
}

// The galaxy's diffuse light as the program draws it (--render --background-only
// --linear-light: floats before the tone map) against a numerical integral of
// the same density along every pixel's ray, on views that show a step clipped,
// counted twice or missing; and the picture as shown has no bands. Pictures
// that do not match are left in e2e-background/TEST/VIEW_{render,reference}.png.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "starfield/appearance.h"
#include "starfield/star_generation.h"
#include "tests/pictures/offscreen_support.h"

namespace {

constexpr int WIDTH = 320, HEIGHT = 200;
constexpr double SHADER_UNIT = 281474976710656.0;  // 2^48 position units

// A slow reference for the galaxy's diffuse light: the density the background
// shaders integrate (core and disc ellipsoids, arm steps as tapered tubes
// between joint planes) summed along every pixel's ray numerically. Nothing
// comes from the renderer: the model is read from the galaxy build.

// An arm step: a tube between two points of the galactic plane, half-width,
// half-thickness and density linear along it, cross section (1 - q)^4 with
// q = (across / width)^2 + (z / thickness)^2, between its joint planes (unit
// normals in the plane bisecting the neighbouring steps' directions).
struct RefArmStep {
    double x0, y0, width0, thick0, density0;
    double x1, y1, width1, thick1, density1;
    Vec3d n0, n1;
};

// The galaxy, and its arms' display steps as the reference's tubes: lengths
// in shader units (2^48 position units), densities relative to the local one.
// The ellipsoids are the galaxy build's background shapes, centred on the
// origin: density (1 - q)^4, q = (x^2 + y^2) / a^2 + z^2 / b^2.
struct ReferenceGalaxy {
    Galaxy galaxy = buildGalaxy();
    std::vector<RefArmStep> steps;
    std::vector<Vec3d> chainEnds;  // where each arm's chain of steps begins and ends
    ReferenceGalaxy();
};

const ReferenceGalaxy& galaxy() {
    static const ReferenceGalaxy g;
    return g;
}

double dot2(double ax, double ay, double bx, double by) { return ax * bx + ay * by; }

Vec3d unit(Vec3d v) { return v * (1 / std::sqrt(dot(v, v))); }

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

double ellipsoidDensity(const BackgroundShape& e, const Vec3d& p) {
    const double a = e.radiusXY, b = e.radiusZ;
    const double q = (p.x * p.x + p.y * p.y) / (a * a) + p.z * p.z / (b * b);
    if (q >= 1) return 0;
    const double f = (1 - q) * (1 - q);
    return e.density * f * f;
}

double stepDensity(const RefArmStep& s, const Vec3d& p) {
    const double dx = p.x - s.x0, dy = p.y - s.y0;
    if (dot2(dx, dy, s.n0.x, s.n0.y) < 0) return 0;
    if (dot2(p.x - s.x1, p.y - s.y1, s.n1.x, s.n1.y) >= 0) return 0;
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

// The arms' display steps, with each arm's joint planes.
ReferenceGalaxy::ReferenceGalaxy() {
    // The display steps hold positions and sizes scaled by 2^-48 (shader
    // units) and 32.32 densities scaled by 2^-48, that is the relative density
    // times 2^-16.
    for (uint32_t c = 0; c < galaxy.count; ++c) {
        const GalaxyComponent& arms = galaxy.components[c];
        if (arms.shape != SHAPE_ARMS) continue;
        for (const auto& list : arms.armLists) {
            std::vector<RefArmStep> chain;
            for (uint32_t index : list) {
                const auto& v = arms.displayArms[index].v;
                chain.push_back(
                    {v[0], v[1], v[2], v[3], v[4] * 65536.0, v[5], v[6], v[7], v[8], v[9] * 65536.0, {}, {}});
            }
            // Joint planes: the bisector of the two steps' directions; the
            // chain's ends are cut square.
            auto direction = [&](size_t k) { return unit({chain[k].x1 - chain[k].x0, chain[k].y1 - chain[k].y0, 0}); };
            for (size_t k = 0; k < chain.size(); ++k) {
                chain[k].n0 = unit(direction(k) + direction(k > 0 ? k - 1 : k));
                chain[k].n1 = unit(direction(k) + direction(k + 1 < chain.size() ? k + 1 : k));
            }
            steps.insert(steps.end(), chain.begin(), chain.end());
            chainEnds.push_back({chain.front().x0, chain.front().y0, 0});
            chainEnds.push_back({chain.back().x1, chain.back().y1, 0});
        }
    }
}

// The density integrated along eye + s * d (unit), s >= 0, in relative density x shader units.
double rayIntegral(const Vec3d& eye, const Vec3d& d) {
    double total = 0;
    for (const BackgroundShape& e : galaxy().galaxy.backgroundShapes) {
        // Where the ray is inside the ellipsoid, then many samples there.
        const double ia = 1 / (double(e.radiusXY) * e.radiusXY), ib = 1 / (double(e.radiusZ) * e.radiusZ);
        const double a = (d.x * d.x + d.y * d.y) * ia + d.z * d.z * ib;
        const double b = (eye.x * d.x + eye.y * d.y) * ia + eye.z * d.z * ib;
        const double c = (eye.x * eye.x + eye.y * eye.y) * ia + eye.z * eye.z * ib - 1;
        double lo = 0, hi = 1e30;
        if (!clipQuadratic(a, b, c, lo, hi)) continue;
        total += integrate(lo, hi, (hi - lo) / 400, 400, 400,
                           [&](double s) { return ellipsoidDensity(e, eye + d * s); });
    }
    for (const RefArmStep& st : galaxy().steps) {
        const double wMax = std::max(st.width0, st.width1), tMax = std::max(st.thick0, st.thick1);
        const double wMin = std::min(st.width0, st.width1), tMin = std::min(st.thick0, st.thick1);
        const double length = std::hypot(st.x1 - st.x0, st.y1 - st.y0);
        double lo = 0, hi = 1e30;
        // Between the joint planes.
        clipLinear(dot2(eye.x - st.x0, eye.y - st.y0, st.n0.x, st.n0.y), dot2(d.x, d.y, st.n0.x, st.n0.y), lo, hi);
        clipLinear(-dot2(eye.x - st.x1, eye.y - st.y1, st.n1.x, st.n1.y), -dot2(d.x, d.y, st.n1.x, st.n1.y), lo, hi);
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
                           [&](double s) { return stepDensity(st, eye + d * s); });
    }
    return total;
}

// The camera looks along forward (f) with up (u) above and s to the right;
// t is the tangent of the horizontal half-angle: half the view angle times
// the picture's aspect (in radians).
struct Camera {
    Vec3d f, s, u;
    double t;
};

Camera cameraOf(const View& view, double W, double H) {
    const Vec3d f = unit(view.forward), s = unit(cross(f, view.up));
    return {f, s, cross(s, f), std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0)};
}

// The unit ray through the centre of pixel (column, row), row 0 at the top.
Vec3d pixelRay(const View& view, int width, int height, double column, double row) {
    const double W = width, H = height;
    const auto [f, s, u, t] = cameraOf(view, W, H);
    const double x = (2 * (column + 0.5) / W - 1) * t;
    const double y = -(2 * (row + 0.5) / H - 1) * t * (H / W);
    return unit(f + s * x + u * y);
}

// Where a point appears (pixel centres at whole numbers); false when it is behind the eye.
bool projectToPixel(const View& view, int width, int height, const Vec3d& point, double& column, double& row) {
    const double W = width, H = height;
    const auto [f, s, u, t] = cameraOf(view, W, H);
    const Vec3d v = point - Vec3d{view.position[0] / SHADER_UNIT, view.position[1] / SHADER_UNIT,
                                  view.position[2] / SHADER_UNIT};
    const double z = dot(v, f);
    if (!(z > 0)) return false;
    const double x = dot(v, s) / z / t;
    const double y = -dot(v, u) / z / (t * H / W);
    column = (x + 1) / 2 * W - 0.5;
    row = (y + 1) / 2 * H - 0.5;
    return true;
}

using Plane = std::vector<float>;  // three linear floats per pixel, rows from the top

// Linear light of every pixel: ray integral x scale x colour, the scale the
// populations' light for the view's limits per unit of relative density and
// shader length at the picture's height.
Plane referencePicture(const View& view, int width, int height) {
    ProgramState state;
    applyView(state, view);
    const Settings& settings = state.settings;
    const Galaxy& g = galaxy().galaxy;
    const ViewLimits limits = computeViewLimits(g, settings.maxMagnitude, settings.viewAngle, height);
    const BackgroundLight scale =
        backgroundLight(g.components[0].populations, channelConstants(settings),
                        backgroundDisplayValue(height, settings.viewAngle), limits.limitScale);
    const Vec3d eye{view.position[0] / SHADER_UNIT, view.position[1] / SHADER_UNIT, view.position[2] / SHADER_UNIT};
    Plane out(static_cast<size_t>(3) * width * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            // Four rays per pixel, as the attachment's samples see it.
            double sum = 0;
            for (double oy : {-0.25, 0.25})
                for (double ox : {-0.25, 0.25})
                    sum += rayIntegral(eye, pixelRay(view, width, height, column + ox, row + oy));
            const double light = 0.25 * sum * settings.brightness * scale.intensity;
            for (int c = 0; c < 3; ++c)
                out[3 * (static_cast<size_t>(row) * width + column) + c] = static_cast<float>(light * scale.colour[c]);
        }
    }
    return out;
}

// The tolerance: the mean difference, the share of pixels far apart and the
// largest difference (a seam, a step left out); LARGEST_HALF_RESOLUTION where
// the background is drawn at half resolution and interpolated, softening thin
// edges. A step left out of the mesh, tubes a tenth thinner or the disc left
// out each break it in the views that show them.
constexpr double MEAN_LEVELS = 1.0;
constexpr double FAR_SHARE = 0.003;
constexpr double LARGEST_LEVELS = 10.0;
constexpr double LARGEST_HALF_RESOLUTION = 24.0;

// A view and the size of its picture.
struct BackgroundView {
    View view;
    int width = WIDTH, height = HEIGHT;
    double largest = LARGEST_LEVELS;  // the largest difference allowed
};

int64_t units(double shaderUnits) { return static_cast<int64_t>(std::llround(shaderUnits * SHADER_UNIT)); }

// The views: the start, far above the disc, at a slant from outside, edge-on,
// into the cores, and beside and inside the first arm at its 30th step.
std::vector<BackgroundView> views() {
    std::vector<BackgroundView> out{{defaultView("default_view")}};
    auto add = [&](const char* name, Vec3d position, Vec3d forward, Vec3d up, double angle, int width = WIDTH,
                   int height = HEIGHT) {
        orthonormalise(forward, up);  // a save file holds unit vectors at right angles
        const View v{name, {units(position.x), units(position.y), units(position.z)}, forward, up, angle, 12};
        out.push_back({v, width, height, width * height > 300000 ? LARGEST_HALF_RESOLUTION : LARGEST_LEVELS});
    };
    add("far_above", {0, 0, 2000}, {0, 0, -1}, {0, 1, 0}, 45);
    // Face-on from 150 kpc, where the galaxy is a small, dim picture.
    add("face_on_150kpc", {0, 0, 1644.3}, {0, 0, -1}, {0, 1, 0}, 45);
    add("above_oblique", {0, -500, 300}, {0, 1.5, -1}, {0, 0, 1}, 45);
    add("edge_on", {0, -3600, 0}, {0, 1, 0}, {0, 0, 1}, 45);
    // Large enough that the background is drawn at half resolution.
    add("edge_on_large", {0, -3600, 0}, {0, 1, 0}, {0, 0, 1}, 45, 720, 450);
    const double s18 = 1.0 / std::sqrt(10.0), c18 = 3.0 / std::sqrt(10.0);
    add("into_the_core", {0, -106.6, 35.5}, {0, c18, -s18}, {0, s18, c18}, 45);
    // The 30th step of the first arm: its middle, direction and size.
    const RefArmStep& s = galaxy().steps[30];
    const double mx = 0.5 * (s.x0 + s.x1), my = 0.5 * (s.y0 + s.y1);
    const double length = std::hypot(s.x1 - s.x0, s.y1 - s.y0);
    const double ux = (s.x1 - s.x0) / length, uy = (s.y1 - s.y0) / length;
    const double w = 0.5 * (s.width0 + s.width1), t = 0.5 * (s.thick0 + s.thick1);
    // Just outside the arm's width, a little above the plane, looking along it.
    add("beside_an_arm", {mx - uy * 1.2 * w, my + ux * 1.2 * w, 0.3 * t}, {ux, uy, -0.05}, {0, 0, 1}, 60);
    // Inside the arm, off its axis, looking along it and a little across.
    add("inside_an_arm", {mx + uy * 0.3 * w, my - ux * 0.3 * w, 0.2 * t}, {ux - 0.3 * uy, uy + 0.3 * ux, 0.02},
        {0, 0, 1}, 60);
    return out;
}

double toEncoded(double linear) {
    const double v = std::clamp(linear, 0.0, 1.0);
    return 255.0 * (v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055);
}

// A light blur (binomial 1 4 6 4 1 across and down, edges repeated).
Plane blurred(const Plane& in, int width, int height) {
    static const double K[5] = {1 / 16.0, 4 / 16.0, 6 / 16.0, 4 / 16.0, 1 / 16.0};
    Plane out(in.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int j = -2; j <= 2; ++j)
                    for (int k = -2; k <= 2; ++k)
                        sum += K[j + 2] * K[k + 2] *
                               in[3 * (std::clamp(y + j, 0, height - 1) * width + std::clamp(x + k, 0, width - 1)) + c];
                out[3 * (y * width + x) + c] = static_cast<float>(sum);
            }
    return out;
}

// How far apart two blurred pictures are in 8-bit sRGB levels (per pixel the
// largest channel's), both given the gain that exposes the reference's 99.5th
// percentile at 0.6, so that a dim view is judged by its own contrast.
struct Difference {
    double mean = 0, share = 0, largest = 0;  // share: of pixels more than FAR_LEVELS apart
    double gain = 1;
};
constexpr double FAR_LEVELS = 16;

double exposure(const Plane& reference) {
    std::vector<float> brightest;
    for (size_t p = 0; p < reference.size() / 3; ++p)
        brightest.push_back(std::max({reference[3 * p], reference[3 * p + 1], reference[3 * p + 2]}));
    const size_t at = brightest.size() * 995 / 1000;
    std::nth_element(brightest.begin(), brightest.begin() + at, brightest.end());
    const double top = brightest[at];
    return top > 0 ? std::clamp(0.6 / top, 1.0, 64.0) : 1.0;
}

Difference compare(const Plane& rendered, const Plane& reference, int width, int height) {
    Plane a = blurred(rendered, width, height), b = blurred(reference, width, height);
    Difference d;
    d.gain = exposure(b);
    size_t far = 0;
    for (size_t p = 0; p < a.size() / 3; ++p) {
        double worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(toEncoded(d.gain * a[3 * p + c]) - toEncoded(d.gain * b[3 * p + c])));
        d.mean += worst;
        d.largest = std::max(d.largest, worst);
        if (worst > FAR_LEVELS) ++far;
    }
    d.mean /= static_cast<double>(a.size() / 3);
    d.share = static_cast<double>(far) / static_cast<double>(a.size() / 3);
    return d;
}

// Writes the light as an 8-bit picture at the given exposure.
void writePicture(const fs::path& path, const Plane& light, double gain, int width, int height) {
    std::vector<uint8_t> rgb(light.size());
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(std::lround(toEncoded(gain * light[i])));
    std::string error;
    EXPECT_TRUE(writePng(path.string(), width, height, 3, rgb.data(), error)) << error;
}

// From above, how much larger a step between neighbouring pixels may be than
// the reference's, in levels at the comparison's exposure (about x20): a step
// left out of the mesh makes about 50, meshes meeting only at a joint about 25.
constexpr double SEAM_LEVELS = 4.0;

// From above, at points along every step's axis, no step between neighbouring
// pixels is larger than the reference's there (a seam, a clipped end, a bead).
// The pictures are exposed as in the comparison (gain) but not blurred: a seam is one pixel wide.
void expectNoSeamsAlongTheArms(const View& view, const Plane& rendered, const Plane& reference, double gain) {
    auto level = [&](const Plane& p, int x, int y) {
        double worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, toEncoded(gain * p[3 * (y * WIDTH + x) + c]));
        return worst;
    };
    // The largest difference between the pixel and its four neighbours.
    auto stepAt = [&](const Plane& p, int x, int y) {
        const double here = level(p, x, y);
        double largest = 0;
        for (auto [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
            largest = std::max(largest, std::abs(level(p, x + dx, y + dy) - here));
        return largest;
    };
    size_t checked = 0;
    for (const RefArmStep& s : galaxy().steps) {
        for (int k = 0; k < 8; ++k) {
            const double f = (k + 0.5) / 8;
            double column = 0, row = 0;
            if (!projectToPixel(view, WIDTH, HEIGHT, {s.x0 + (s.x1 - s.x0) * f, s.y0 + (s.y1 - s.y0) * f, 0}, column,
                                row))
                continue;
            const int x = static_cast<int>(std::lround(column)), y = static_cast<int>(std::lround(row));
            if (x < 1 || y < 1 || x >= WIDTH - 1 || y >= HEIGHT - 1) continue;
            ++checked;
            EXPECT_LE(stepAt(rendered, x, y) - stepAt(reference, x, y), SEAM_LEVELS)
                << "a step of " << stepAt(rendered, x, y) << " levels at pixel (" << x << ", " << y
                << ") where the reference has " << stepAt(reference, x, y);
        }
    }
    EXPECT_GT(checked, 500u);
}

// The picture as shown (8 bits, tone-mapped) at exposures x1 and x12: where
// the light (the reference's) changes by under a quarter of a level between
// neighbours, the picture changes by at most one (light summed in 8 bits showed
// bands). The arm chains' cut ends, judged by the comparison, are left out.
void expectNoBands(const Workspace& w, const View& view, const std::string& save, const Plane& light) {
    std::vector<std::pair<double, double>> ends;
    for (const Vec3d& end : galaxy().chainEnds) {
        double column = 0, row = 0;
        if (projectToPixel(view, WIDTH, HEIGHT, end, column, row)) ends.emplace_back(column, row);
    }
    auto nearAnEnd = [&](size_t pixel) {
        const double x = static_cast<double>(pixel % WIDTH), y = static_cast<double>(pixel / WIDTH);
        return std::any_of(ends.begin(), ends.end(), [&](auto e) { return std::hypot(x - e.first, y - e.second) < 8; });
    };
    for (const int exposure : {1, 12}) {
        SCOPED_TRACE(exposure);
        const std::string out = (w.dir / ("shown_x" + std::to_string(exposure) + ".png")).string();
        const Image shown = render(w, save, out, std::to_string(WIDTH) + "x" + std::to_string(HEIGHT),
                                   " --background-only --exposure " + std::to_string(exposure));
        ASSERT_EQ(shown.rgb.size(), light.size());
        // Below the tone map's knee the picture is the light, encoded.
        auto own = [&](size_t i) { return exposure * light[i] < 0.85 ? toEncoded(exposure * light[i]) : -1.0; };
        double worst = 0, brightest = 0;
        for (int y = 0; y + 1 < HEIGHT; ++y) {
            for (int x = 0; x + 1 < WIDTH; ++x) {
                const size_t here = static_cast<size_t>(y) * WIDTH + x;
                for (const size_t next : {here + 1, here + WIDTH}) {
                    if (nearAnEnd(here) || nearAnEnd(next)) continue;
                    for (int c = 0; c < 3; ++c) {
                        const double a = own(3 * here + c), b = own(3 * next + c);
                        if (a < 0 || b < 0 || std::abs(a - b) >= 0.25) continue;
                        const double p = shown.rgb[3 * here + c], q = shown.rgb[3 * next + c];
                        worst = std::max(worst, std::abs(p - q));
                        brightest = std::max(brightest, p);
                    }
                }
            }
        }
        EXPECT_GT(brightest, 20.0) << "too little of the picture compared";
        EXPECT_LE(worst, 1.0);
    }
}

}  // namespace

// The program's background against the reference, view by view; from above,
// without seams along the arms; from 150 kpc, without bands as shown.
TEST(BackgroundLight, MatchesTheIntegralOfItsDensity) {
    Workspace w;
    for (const BackgroundView& v : views()) {
        const std::string name = v.view.name;
        SCOPED_TRACE(name);
        // The light the program draws (no tone map, no 8-bit steps).
        const std::string out = (w.dir / (name + "_light.pfm")).string();
        const std::string size = std::to_string(v.width) + "x" + std::to_string(v.height);
        const std::string save = writeSaveFile(w, v.view);
        const ProgramRun run = runStarloom(w, "--save-file " + quoted(save) + " --render " + quoted(out) + " --size " +
                                                  size + " --background-only --linear-light");
        EXPECT_EQ(run.status, 0) << run.errors;
        Plane rendered;
        int width = 0, height = 0;
        std::string error;
        if (!readPfm(out, width, height, rendered, error) || width != v.width || height != v.height) {
            ADD_FAILURE() << "no light: " << error;
            continue;
        }
        const Plane reference = referencePicture(v.view, v.width, v.height);
        const Difference d = compare(rendered, reference, v.width, v.height);
        if (!(d.mean < MEAN_LEVELS && d.share < FAR_SHARE && d.largest <= v.largest)) {
            writePicture(w.dir / (name + "_render.png"), rendered, d.gain, v.width, v.height);
            writePicture(w.dir / (name + "_reference.png"), reference, d.gain, v.width, v.height);
            ADD_FAILURE() << "mean " << d.mean << " (at most " << MEAN_LEVELS << "), share far off " << d.share
                          << " (at most " << FAR_SHARE << "), largest " << d.largest << " (at most " << v.largest
                          << "); see " << (w.dir / name).string() << "_*.png";
        }
        if (name == "far_above") expectNoSeamsAlongTheArms(v.view, rendered, reference, d.gain);
        if (name == "face_on_150kpc") expectNoBands(w, v.view, save, reference);
    }
}

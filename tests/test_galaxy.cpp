// The galaxy build: components, smooth densities, arm growth, arm elements and
// their kernel, and starloom-cli's galaxy and density commands.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "galaxy/arms.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "numeric/constants.h"
#include "tests/test_support.h"

namespace {

constexpr double PC_UNITS = 3.0856775810e12;  // units (10 km) per parsec
constexpr double HIGH = 4294967296.0;         // 2^32

double d(ExtFloat v) { return toDouble(v); }

const GalaxyComponent& component(int slot) { return builtGalaxy().components[slot]; }
const GalaxyComponent& arms() { return component(3); }

uint64_t density(int slot, int64_t x, int64_t y, int64_t z) {
    return pointDensity(component(slot), builtGalaxy().tree, PLANE_ROOT, 1, x, y, z);
}

// The six components against their parameters in parsecs, in double precision.
TEST(GalaxyBuild, ComponentsMatchTheirParameters) {
    struct Row {
        uint32_t shape, kind;
        double a, b, c;
    };
    const Row rows[6] = {{SHAPE_ELLIPSOID, KIND_CORE, 5000, 5000, 1.5},    {SHAPE_ELLIPSOID, KIND_CORE, 15000, 15000, 0.4},
                         {SHAPE_ELLIPSOID, KIND_DISC, 100000, 4000, 0.07}, {SHAPE_ARMS, KIND_ARMS, 0, 0, 0},
                         {SHAPE_ELLIPSOID, KIND_HALO, 1e6, 1e5, 4e-6},     {SHAPE_SPHERE, KIND_ROGUE, 1890000, 0, 2.33e-10}};
    const double localDensity = 0.14;  // stars per cubic parsec
    const Galaxy& g = builtGalaxy();
    EXPECT_EQ(g.count, 6u);
    ASSERT_EQ(g.backgroundShapes.size(), 3u);
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE("component " + std::to_string(k));
        const Row& r = rows[k];
        const GalaxyComponent& c = component(k);
        EXPECT_EQ(c.shape, r.shape);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.populations.count, POPULATION_COUNT);
        EXPECT_EQ(c.centre[0] | c.centre[1] | c.centre[2], 0u);
        if (k < 3) {
            const BackgroundShape& s = g.backgroundShapes[k];
            EXPECT_EQ(s.type, 4u);
            EXPECT_EQ(s.position[0] | s.position[1] | s.position[2], 0u);
            EXPECT_NEAR(s.radiusXY, r.a * PC_UNITS / std::ldexp(1.0, 48), 1e-5 * s.radiusXY);
            EXPECT_NEAR(s.radiusZ, r.b * PC_UNITS / std::ldexp(1.0, 48), 1e-5 * s.radiusZ);
            EXPECT_NEAR(s.density, r.c, 1e-6);
        }
        if (r.shape == SHAPE_ARMS) {
            // pi/5 of the local density times the integral of width x thickness x
            // density, each linear along the step (Simpson's rule is exact).
            double total = 0;
            for (const ArmStep& s : arms().armPath) {
                const double a0 = d(s.width0), a1 = d(s.width1), b0 = d(s.thick0), b1 = d(s.thick1);
                const double c0 = d(s.density0), c1 = d(s.density1);
                auto f = [&](double u) { return (a0 + (a1 - a0) * u) * (b0 + (b1 - b0) * u) * (c0 + (c1 - c0) * u); };
                const double integral = std::sqrt(d(s.lengthSq)) * (f(0) + 4 * f(0.5) + f(1)) / 6;
                const double stars = M_PI / 5 * d(LOCAL_DENSITY) * integral / HIGH;
                EXPECT_NEAR(d(armStepStars(s)), stars, 1e-6 * stars);
                total += stars;
            }
            EXPECT_NEAR(double(c.totalStars), total, 1e-6 * total);
            continue;
        }
        const double rxy = r.a * PC_UNITS / HIGH;
        EXPECT_NEAR(double(c.radiusXY), rxy, 1e-6 * rxy + 1);
        EXPECT_EQ(c.invRadiusXY2, uint64_t(std::ldexp(1.0, 64) / (double(c.radiusXY) * double(c.radiusXY))));
        EXPECT_NEAR(double(c.density), r.c * HIGH, 1e-6 * r.c * HIGH + 1);
        // The integral of (1 - q)^4 over the ellipsoid is 512 pi / 3465 A^2 B.
        double expected = 4 * M_PI / 3 * r.a * r.a * r.a * r.c * localDensity;
        if (c.shape == SHAPE_ELLIPSOID) {
            const double rz = r.b * PC_UNITS / HIGH;
            EXPECT_NEAR(double(c.radiusZ), rz, 1e-6 * rz + 1);
            EXPECT_EQ(c.invRadiusZ2, uint64_t(std::ldexp(1.0, 64) / (double(c.radiusZ) * double(c.radiusZ))));
            expected = 512 * M_PI / 3465 * r.a * r.a * r.b * r.c * localDensity;
        }
        EXPECT_NEAR(double(c.totalStars), expected, 1e-6 * expected);
    }
}

// The ellipsoids' quartic falloff and the uniform rogue sphere against the
// radii's inverse squares in long double: along the axes and diagonals, inside,
// at and beyond the surface. (1 - 0)^4 is ((2^64 - 1)^2 >> 64)^2 >> 64 = 2^64 - 4:
// the ellipsoids' peak is one unit below their density.
TEST(SmoothDensity, FalloffAgainstTheRadii) {
    const double s = 1 / std::sqrt(2.0);
    const double directions[][3] = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}, {s, -s, 0}, {-s, 0, s}};
    for (int slot : {0, 1, 2, 4, 5}) {
        const GalaxyComponent& c = component(slot);
        const bool sphere = c.shape == SHAPE_SPHERE;
        const double radius[3] = {double(c.radiusXY), double(c.radiusXY), double(sphere ? c.radiusXY : c.radiusZ)};
        const long double inverse[3] = {static_cast<long double>(c.invRadiusXY2), static_cast<long double>(c.invRadiusXY2),
                                        static_cast<long double>(sphere ? c.invRadiusXY2 : c.invRadiusZ2)};
        EXPECT_EQ(density(slot, 0, 0, 0), c.density - !sphere) << slot;
        EXPECT_EQ(density(slot, (int64_t{1} << 32) - 1, 12345, -1), c.density - !sphere) << slot;
        EXPECT_EQ(density(slot, INT64_MAX, INT64_MIN, INT64_MAX) | density(slot, INT64_MAX, 0, 0), 0u) << slot;
        for (const auto& u : directions) {
            for (double f : {0.1, 0.3, 0.5, 0.7, 0.9, 0.999, 1.001, 1.5}) {
                int64_t p[3];
                long double q = 0;
                for (int a = 0; a < 3; ++a) {
                    const auto high = static_cast<int64_t>(f * u[a] * radius[a]);
                    p[a] = high * (int64_t{1} << 32);
                    q += std::ldexp(static_cast<long double>(high) * high * inverse[a], -64);
                }
                const double expected = q >= 1 ? 0 : double(c.density) * (sphere ? 1 : std::pow(1 - q, 4));
                EXPECT_NEAR(double(density(slot, p[0], p[1], p[2])), expected, q >= 1 ? 0 : 1e-6 * expected + 2)
                    << slot << " " << f << " " << u[0] << "," << u[1] << "," << u[2];
            }
        }
    }
    // A radius of 2^32 high words has the inverse square 0, not that of a wrapped square.
    EXPECT_LT(component(5).radiusXY, uint64_t{1} << 32);
    GalaxyComponent huge = component(4);
    huge.invRadiusXY2 = 0;
    EXPECT_GT(pointDensity(huge, builtGalaxy().tree, PLANE_ROOT, 1, int64_t{1} << 62, 0, 0), 0u);
}

// A voxel's density is the point density at the nearer of its two faces along
// each axis (high words): the peak for the root voxel and for a voxel with a
// corner at the centre, not for one that straddles the centre plane unaligned.
TEST(SmoothDensity, CellDensityUsesTheNearestFace) {
    const GalaxyComponent& c = component(2);
    const PlaneNode& none = builtGalaxy().tree.nodes[0];
    const int64_t half = int64_t{1} << 30;
    EXPECT_EQ(cellDensity(c, none, 1, -half, -half, -half), density(2, 0, 0, 0));
    const auto face = [](int64_t corner, int64_t side) {
        return std::min({std::abs(corner), std::abs(corner + side), int64_t{INT32_MAX}}) << 32;
    };
    for (int level = 2; level <= 18; ++level) {
        const int64_t side = int64_t{1} << (32 - level);
        for (int64_t x : {-4 * side, -side, -side / 4, 0 * side, 3 * side})
            for (int64_t y : {-3 * side, -side, 0 * side, side})
                for (int64_t z : {-side, 0 * side, side / 2, 2 * side})
                    EXPECT_EQ(cellDensity(c, none, level, x, y, z),
                              density(2, face(x, side), face(y, side), face(z, side)))
                        << level << " " << x << " " << y << " " << z;
    }
}

// The steps and their display copies (scaled by 2^-48). The density fades
// from step forty, the width shrinks 0.999 a step after a 30-step ramp; the
// walk adds up to 100% to either, and none inside 20 000 pc.
TEST(ArmGrowth, StepsOfBothArmsInterleaveJoinAndFollowTheirLaws) {
    const auto& path = arms().armPath;
    ASSERT_EQ(path.size(), size_t{2 * ARM_GROWTH_STEPS});
    ASSERT_EQ(arms().displayArms.size(), path.size());
    EXPECT_EQ(arms().armCount, 2u);
    EXPECT_NEAR(d(arms().armScale), 400000.0, 1e-6);
    const double toUnits = d(ONE / UNIT_PARSECS);
    // Opposite, 2000 pc from the centre, 1/30 of the full width and thickness.
    EXPECT_NEAR(d(path[0].x0), 2000 * toUnits, 1e-9 * 2000 * toUnits);
    EXPECT_NEAR(d(path[1].x0), -2000 * toUnits, 1e-9 * 2000 * toUnits);
    EXPECT_NEAR(d(path[0].y0), 0, 1e-3 * toUnits);
    EXPECT_NEAR(d(path[0].width0), 10000.0 / 30 * toUnits, 1e-6 * d(path[0].width0));
    EXPECT_NEAR(d(path[0].thick0), 4000.0 / 30 * toUnits, 1e-6 * d(path[0].thick0));
    bool walkOff = true;
    double lateLowest = 2;  // the lowest density ratio from step forty on
    for (size_t k = 0; k < path.size(); ++k) {
        const int step = int(k / 2);
        EXPECT_EQ(path[k].arm, k % 2);
        EXPECT_GT(d(path[k].lengthSq), 0);
        if (k + 2 < path.size()) {
            // Each step starts exactly where the arm's previous step ended.
            const ArmStep &a = path[k], &b = path[k + 2];
            EXPECT_TRUE(a.x1 == b.x0 && a.y1 == b.y0 && a.width1 == b.width0 && a.thick1 == b.thick0 &&
                        a.density1 == b.density0)
                << k;
        }
        const double len = std::sqrt(d(path[k].lengthSq)) / toUnits;
        const double r = std::hypot(d(path[k].x0), d(path[k].y0)) / toUnits;
        // A step is 1000 pc, or 0.15 of the radius beyond 6667 pc.
        EXPECT_NEAR(len, 1000 * std::max(r * 1.5e-4, 1.0), 1e-3 * len) << k;
        const double ratio = d(path[k].density1) / (0.1 * HIGH * std::pow(0.93, std::max(0, step - 39)));
        EXPECT_TRUE(ratio >= 1 - 1e-9 && ratio < 2) << step << " " << ratio;
        if (step >= 40) lateLowest = std::min(lateLowest, ratio);
        const double width = d(path[k].width1) / toUnits;
        const double widthRatio = width / (10000 * std::pow(0.999, double(k + 1)) * std::min(1.0, (step + 1) / 30.0));
        EXPECT_TRUE(widthRatio >= 1 - 1e-9 && widthRatio < 2) << step << " " << widthRatio;
        walkOff = walkOff && r <= 20000;
        if (walkOff) {
            EXPECT_EQ(path[k].density1, scalePow2(xf::fromDecimal(1, -1), 32)) << k;
        }
        // The display copy: the first 14 words as growth left them (no cut planes yet).
        const ArmStep& s = path[k];
        const ExtFloat words[14] = {s.x0, s.y0, s.width0, s.thick0, s.density0, s.x1,
                                    s.y1, s.width1, s.thick1, s.density1, s.lengthSq};
        for (int i = 0; i < 14; ++i)
            EXPECT_FLOAT_EQ(arms().displayArms[k].v[i], float(std::ldexp(d(words[i]), -48))) << k << " " << i;
    }
    // Some step of the fade has nothing added: a fade a step late or early shows.
    EXPECT_NEAR(lateLowest, 1.0, 1e-9);
    // The arms wind outward and end far beyond where they started.
    EXPECT_GT(std::hypot(d(path.back().x1), d(path.back().y1)) / toUnits, 30000);
}

// The fixed-point fields against the steps (the kernel's test below checks
// the tube's position, direction and length); no density at the end point,
// which is the next element's, nor from the coordinate range's far ends. The
// cut planes: an arm's open ends cut square, and at a joint with the arm's
// next element (two on) the very same plane on both sides, bisecting it.
TEST(ArmElements, FixedPointFieldsAndCutPlanes) {
    const auto& path = arms().armPath;
    ASSERT_EQ(arms().elements.size(), path.size());
    for (size_t k = 0; k < path.size(); ++k) {
        const ArmStep& s = path[k];
        const ArmElement& e = arms().elements[k];
        EXPECT_NEAR(double(e.width0), d(s.width0) / HIGH, 1.0);
        EXPECT_NEAR(double(e.thick0), d(s.thick0) / HIGH, 1.0);
        // (r_high * invWidth)^2 reaches 2^64 at the tube's edge; each floored factor may be 2 low.
        auto edge = [](int32_t r, int32_t inv) { return std::abs(double(r) * inv - HIGH) <= 2.0 * (r + inv) + 4; };
        EXPECT_TRUE(edge(e.width0, e.invWidth0) && edge(e.thick0, e.invThick0)) << k;
        EXPECT_TRUE(edge(e.width0 + e.dWidth, e.invWidth0 + e.dInvWidth)) << k;
        EXPECT_TRUE(edge(e.thick0 + e.dThick, e.invThick0 + e.dInvThick)) << k;
        EXPECT_NEAR(double(e.lengthSq), double(e.dx) * e.dx + double(e.dy) * e.dy, 1e-5 * double(e.lengthSq));
        // The difference is floored on its own: the end density within one unit.
        EXPECT_NEAR(double(e.d0 + e.dd), double(toInt64(s.density1)), 1.0) << k;
        // Unit normals, 2^30 long; the start plane faces along the element.
        for (auto [nx, ny] : {std::pair{e.n0x, e.n0y}, std::pair{e.n1x, e.n1y}})
            EXPECT_NEAR(std::hypot(double(nx), double(ny)), std::ldexp(1.0, 30), 4.0) << k;
        EXPECT_TRUE(double(e.n0x) * e.dx + double(e.n0y) * e.dy > 0 && double(e.n1x) * e.dx + double(e.n1y) * e.dy > 0)
            << k;
        EXPECT_TRUE(e.d0 <= 0 || elementDensity(e.x0, e.y0, 0, e) > 0) << k;
        EXPECT_EQ(elementDensity(e.x0 + e.dx * (int64_t{1} << 32), e.y0 + e.dy * (int64_t{1} << 32), 0, e), 0u) << k;
        EXPECT_EQ(elementDensity(INT64_MAX, INT64_MIN, 0, e) | elementDensity(INT64_MIN, INT64_MAX, INT64_MIN, e), 0u);
        const double squareEnd = 1e-6 * std::ldexp(1.0, 30) * std::sqrt(double(e.lengthSq));
        if (k < 2) {
            EXPECT_NEAR(double(e.n0x) * e.dy - double(e.n0y) * e.dx, 0, squareEnd) << k;
        }
        if (k + 2 >= path.size()) {
            EXPECT_NEAR(double(e.n1x) * e.dy - double(e.n1y) * e.dx, 0, squareEnd) << k;
            continue;
        }
        const ArmStep& t = path[k + 2];
        const ArmElement& f = arms().elements[k + 2];
        EXPECT_TRUE(e.n1x == f.n0x && e.n1y == f.n0y && s.n1x == t.n0x && s.n1y == t.n0y) << k;
        const double ux = d(s.x1) - d(s.x0), uy = d(s.y1) - d(s.y0), vx = d(t.x1) - d(t.x0), vy = d(t.y1) - d(t.y0);
        const double nx = d(s.n1x), ny = d(s.n1y);
        EXPECT_NEAR((nx * ux + ny * uy) / std::hypot(ux, uy), (nx * vx + ny * vy) / std::hypot(vx, vy), 1e-9) << k;
    }
}

// The kernel against the tube it describes, in double precision, on a grid
// around every element: (1 - q)^4 inside; nothing outside, before the start
// plane, past the end plane, nor in the far part of the wedge between diverging
// cut planes (the grid reaches into it: beyond the ends, three widths out).
TEST(ArmElements, DensityKernelDescribesTheTube) {
    const GalaxyComponent& a = arms();
    int inWedge = 0;
    for (size_t k = 0; k < a.elements.size(); ++k) {
        const ArmStep& s = a.armPath[k];
        const ArmElement& e = a.elements[k];
        const double x0 = d(s.x0), y0 = d(s.y0), dx = d(s.x1) - x0, dy = d(s.y1) - y0;
        const double len = std::hypot(dx, dy);
        const double px = -dy / len, py = dx / len;  // across the tube
        // The floored inverse width and thickness make q up to 4/inverse too large.
        const double invMin = std::min({double(e.invWidth0), double(e.invWidth0 + e.dInvWidth),
                                        double(e.invThick0), double(e.invThick0 + e.dInvThick)});
        for (double t : {-8.0, -2.0, -0.01, 0.05, 0.5, 0.95, 1.01, 2.5, 9.0}) {
            // Width and thickness interpolate harmonically; beyond the ends the wider one counts.
            const bool along = t > 0 && t < 1;
            const double w = along ? 1 / ((1 - t) / d(s.width0) + t / d(s.width1)) : std::max(d(s.width0), d(s.width1));
            const double h = along ? 1 / ((1 - t) / d(s.thick0) + t / d(s.thick1)) : std::max(d(s.thick0), d(s.thick1));
            const double dens = d(s.density0) + t * (d(s.density1) - d(s.density0));
            for (double across : {-48.0, -6.0, -3.0, -1.5, -0.6, -0.3, 0.0, 0.3, 0.6, 1.01, 3.0, 12.0}) {
                for (double up : {-1.01, 0.0, 0.4, 1.01}) {
                    const double x = x0 + t * dx + across * w * px;
                    const double y = y0 + t * dy + across * w * py;
                    // The cut planes end the tube at the joints (normals of length 2^30).
                    const double before = (e.n0x * (x - x0) + e.n0y * (y - y0)) / std::ldexp(1.0, 30);
                    const double past = (e.n1x * (x - d(s.x1)) + e.n1y * (y - d(s.y1))) / std::ldexp(1.0, 30);
                    const uint64_t got = elementDensity(int64_t(x), int64_t(y), int64_t(up * h), e);
                    const double q = across * across + up * up;
                    inWedge += !along && before >= 0 && past < 0 && std::abs(across) >= 3;
                    if (before < -HIGH || past > HIGH || (along ? q > 1.02 : std::abs(across) >= 3)) {
                        EXPECT_EQ(got, 0u) << k << " " << t << " " << across << " " << up;
                        continue;
                    }
                    if (!along || q > 1 || before < HIGH || past > -HIGH) continue;  // too close to a surface to tell
                    const double expected = dens * std::pow(1 - q, 4);
                    const double tolerance = dens * (2e-3 + 4 * std::pow(1 - q, 3) * q * 4 / invMin);
                    EXPECT_NEAR(double(got), expected, tolerance) << k << " " << t << " " << across << " " << up;
                }
            }
        }
    }
    EXPECT_GT(inWedge, 100);  // many of the far points do lie between the cut planes
}

// galaxy lists components, kinds' totals and their sum; --elements and --tree more.
TEST(GalaxyCli, ComponentsKindTotalsElementsAndTree) {
    uint64_t t[COMPONENT_KIND_COUNT] = {}, sum = 0;  // each kind's total from its components
    for (int k = 0; k < 6; ++k) t[component(k).kind] += component(k).totalStars;
    for (uint64_t v : t) sum += v;

    const std::string out = runCli("galaxy").out;
    const auto components = lines(out, "component ");
    ASSERT_EQ(components.size(), 6u);
    for (int k = 0; k < 6; ++k) {
        const GalaxyComponent& c = component(k);
        for (const std::string& part :
             {"component " + std::to_string(k) + " shape " + std::to_string(c.shape) + " kind " +
                  COMPONENT_KIND_NAMES[c.kind] + " density " + std::to_string(c.density),
              " totalStars " + std::to_string(c.totalStars), " radiusXY " + std::to_string(c.radiusXY)})
            EXPECT_NE(components[k].find(part), std::string::npos) << components[k];
    }
    EXPECT_NE(components[0].find("(1.5)"), std::string::npos) << components[0];
    std::vector<std::string> kinds;
    for (int k = 0; k < 5; ++k) kinds.push_back(std::string("kind ") + COMPONENT_KIND_NAMES[k] + " " + std::to_string(t[k]));
    EXPECT_EQ(lines(out, "kind "), kinds);
    EXPECT_EQ(lines(out, "total "), std::vector<std::string>{"total " + std::to_string(sum)});
    EXPECT_TRUE(lines(out, "element ").empty() && lines(out, "tree ").empty());

    const std::string more = runCli("galaxy --elements --tree").out;
    const auto elements = lines(more, "element ");
    ASSERT_EQ(elements.size(), arms().elements.size());
    const ArmElement& e = arms().elements[5];
    EXPECT_EQ(elements[5].rfind("element 5 arm 1 x0 " + std::to_string(e.x0) + " y0 " + std::to_string(e.y0), 0), 0u)
        << elements[5];
    EXPECT_NE(elements[5].find(" n1y " + std::to_string(e.n1y) + " stars "), std::string::npos);
    const auto tree = lines(more, "tree ");
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].rfind("tree nodes " + std::to_string(builtGalaxy().tree.nodes.size()) + " leaves ", 0), 0u);
    EXPECT_NE(tree[0].find(" depth 15 "), std::string::npos) << tree[0];
    EXPECT_FALSE(lines(more, "elementsPerLeaf 1 ").empty());
}

TEST(DensityCli, EveryComponentAndTheSum) {
    const ArmStep& s = arms().armPath[60];
    const auto x = toInt64((s.x0 + s.x1) * HALF);
    const auto y = toInt64((s.y0 + s.y1) * HALF);
    const std::string out =
        runCli("density " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(-12345)).out;
    const auto rows = lines(out, "component ");
    ASSERT_EQ(rows.size(), 6u);
    uint64_t sum = 0;
    for (int k = 0; k < 6; ++k) {
        const uint64_t v = density(k, x, y, -12345);
        sum += v;
        EXPECT_EQ(rows[k].rfind("component " + std::to_string(k) + " " + COMPONENT_KIND_NAMES[component(k).kind] +
                                     " " + std::to_string(v) + " ",
                                 0),
                  0u)
            << rows[k];
    }
    EXPECT_GT(density(3, x, y, -12345), 0u);
    EXPECT_EQ(lines(out, "sum ").at(0).rfind("sum " + std::to_string(sum) + " ", 0), 0u);
    // The fraction is the exact decimal expansion of the 32.32 value.
    const std::string centre = runCli("density 0 0 0").out;
    EXPECT_NE(centre.find("component 0 Core 6442450943 1.49999999976716935634613037109375\n"), std::string::npos)
        << centre;
    EXPECT_NE(centre.find("component 5 Rogue 1 0.00000000023283064365386962890625\n"), std::string::npos);
}

}  // namespace

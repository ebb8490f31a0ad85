// Cost of the galaxy build at start-up (populations, components, arm growth,
// elements and the plane tree) and of one density query per component, as
// the star generator asks one for every candidate star.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "tests/galaxy_fixture.h"

namespace {

struct Point {
    int64_t x, y, z;
};

constexpr size_t POINTS = 1024;

// Points inside a component: within 0.8 of its semi-axes, or, for the arms,
// within half a width of an arm's axis and a third of its thickness.
std::vector<Point> pointsInside(int slot) {
    const GalaxyComponent& c = builtGalaxy().components[slot];
    std::vector<Point> points;
    uint64_t state = 0xC0FFEE + slot;
    auto uniform = [&] { return double(wyhashDraw(state) >> 11) * 0x1p-53; };
    while (points.size() < POINTS) {
        if (c.shape == SHAPE_ARMS) {
            const ArmStep& s = c.armPath[wyhashDraw(state) % c.armPath.size()];
            const double t = uniform();
            const double w = toDouble(s.width0) * 0.5 * (uniform() * 2 - 1);
            const double x0 = toDouble(s.x0), y0 = toDouble(s.y0);
            const double dx = toDouble(s.x1) - x0, dy = toDouble(s.y1) - y0, len = std::hypot(dx, dy);
            points.push_back({int64_t(x0 + t * dx - w * dy / len), int64_t(y0 + t * dy + w * dx / len),
                              int64_t(toDouble(s.thick0) * (uniform() - 0.5) * 0.6)});
            if (pointDensity(c, builtGalaxy().tree, PLANE_ROOT, 1, points.back().x, points.back().y, points.back().z) == 0)
                points.pop_back();
            continue;
        }
        const double rxy = double(c.radiusXY) * 4294967296.0 * 0.8 / std::sqrt(3.0);
        const double rz = double(c.shape == SHAPE_SPHERE ? c.radiusXY : c.radiusZ) * 4294967296.0 * 0.8 / std::sqrt(3.0);
        points.push_back({int64_t(rxy * (uniform() * 2 - 1)), int64_t(rxy * (uniform() * 2 - 1)),
                          int64_t(rz * (uniform() * 2 - 1))});
    }
    return points;
}

void BM_BuildGalaxy(benchmark::State& state) {
    for (auto _ : state) {
        const Galaxy galaxy = buildGalaxy();
        benchmark::DoNotOptimize(galaxy.tree.nodes.data());
    }
}
BENCHMARK(BM_BuildGalaxy)->Unit(benchmark::kMillisecond);

// One pointDensity query; the arms descend the plane tree from its root.
void BM_PointDensity(benchmark::State& state) {
    const int slot = static_cast<int>(state.range(0));
    const GalaxyComponent& c = builtGalaxy().components[slot];
    const std::vector<Point> points = pointsInside(slot);
    size_t k = 0;
    for (auto _ : state) {
        const Point& p = points[k++ & (POINTS - 1)];
        benchmark::DoNotOptimize(pointDensity(c, builtGalaxy().tree, PLANE_ROOT, 1, p.x, p.y, p.z));
    }
}
BENCHMARK(BM_PointDensity)->DenseRange(0, 5)->ArgName("slot");

// The arms as the star generator asks them: from the plane node of a level-15
// voxel, so that no descent is left.
void BM_PointDensityArmsFromLeaf(benchmark::State& state) {
    const GalaxyComponent& c = builtGalaxy().components[3];
    const PlaneTree& tree = builtGalaxy().tree;
    const std::vector<Point> points = pointsInside(3);
    std::vector<uint32_t> nodes;
    for (const Point& p : points) {
        uint32_t n = PLANE_ROOT;
        const uint64_t bx = uint64_t(p.x) ^ (uint64_t{1} << 62), by = uint64_t(p.y) ^ (uint64_t{1} << 62);
        for (int level = 1; level < 15 && !tree.nodes[n].leaf; ++level)
            n = tree.nodes[n].child[((by >> (63 - level)) & 1) + 2 * ((bx >> (63 - level)) & 1)];
        nodes.push_back(n);
    }
    size_t k = 0;
    for (auto _ : state) {
        const size_t i = k++ & (POINTS - 1);
        benchmark::DoNotOptimize(pointDensity(c, tree, nodes[i], 15, points[i].x, points[i].y, points[i].z));
    }
}
BENCHMARK(BM_PointDensityArmsFromLeaf);

void BM_CellDensity(benchmark::State& state) {
    const int slot = static_cast<int>(state.range(0));
    const GalaxyComponent& c = builtGalaxy().components[slot];
    const std::vector<Point> points = pointsInside(slot);
    const PlaneNode& node = builtGalaxy().tree.nodes[PLANE_ROOT];
    size_t k = 0;
    for (auto _ : state) {
        const Point& p = points[k++ & (POINTS - 1)];
        const int64_t side = int64_t{1} << 20;  // level 12
        benchmark::DoNotOptimize(cellDensity(c, node, 12, (p.x >> 32) & -side, (p.y >> 32) & -side, (p.z >> 32) & -side));
    }
}
BENCHMARK(BM_CellDensity)->Arg(0)->Arg(3)->Arg(5)->ArgName("slot");

}  // namespace

BENCHMARK_MAIN();

// Selecting the star under a click: the pick over a star field holding its
// 3,000,000 point slots full (magnitude 16, room for 40 million stars), looking towards the galaxy's centre
// with the widest view angle, at 16 places spread over a 1920 x 1080 display.
// Counters: the points held, those drawn in the view (what a click can hit),
// and the time of one pick.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>

#include "numeric/constants.h"
#include "starfield/pick.h"
#include "tests/galaxy_fixture.h"

namespace {

struct Filled {
    std::unique_ptr<StarField> field;
    PickView view;
    uint64_t onScreen = 0;
};

const Filled& filled() {
    static const Filled f = [] {
        Filled out;
        const Galaxy& g = builtGalaxy();
        out.field = std::make_unique<StarField>(g);
        StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, true);
        // Room for more stars than the default, so that the point slots fill.
        in.settings.maxStarsGen = 40000000;
        in.settings.maxVoxelChunks = 64;
        out.field->maxStarsGen = in.settings.maxStarsGen;
        out.field->maxChunks = in.settings.maxVoxelChunks;
        in.limits = computeViewLimits(g, 16, 90, 1080);
        runUntilComplete(*out.field, in);
        PickView& v = out.view;
        std::memcpy(v.eye, DEFAULT_VIEWPOINT, sizeof v.eye);
        // Towards the centre, along the plane.
        const double d = std::hypot(double(DEFAULT_VIEWPOINT[0]), double(DEFAULT_VIEWPOINT[1]));
        v.display.forward = {-DEFAULT_VIEWPOINT[0] / d, -DEFAULT_VIEWPOINT[1] / d, 0};
        v.display.up = {0, 0, 1};
        v.display.viewAngle = 90;
        v.display.width = 1920;
        v.display.height = 1080;
        v.luminosityConst = pointLuminosityConstant(in.limits.limitScale, 1.0f);
        v.foregroundRadiusFactor = toDouble(SUN_RADIUS);
        for (const auto& chunk : out.field->chunks) {
            for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
                const Voxel& vx = chunk[e];
                if (vx.stars == FREE_VOXEL || vx.stars == nullptr) continue;
                for (uint32_t i = 0; i < vx.shownUpTo; ++i) {
                    const StarRecord& s = vx.stars[i];
                    double radius, luminosity;
                    if (drawnAs(s, v, 0, radius, luminosity) == PickedAs::NONE) continue;
                    const int64_t offset[3] = {s.x - v.eye[0], s.y - v.eye[1], s.z - v.eye[2]};
                    const DisplayPoint p = projectToDisplay(v.display, offset);
                    out.onScreen += p.inFront && p.x >= 0 && p.x < 1920 && p.y >= 0 && p.y < 1080;
                }
            }
        }
        return out;
    }();
    return f;
}

void BM_PickOnAFullField(benchmark::State& state) {
    const Filled& f = filled();
    uint64_t found = 0, picks = 0;
    for (auto _ : state) {
        for (int k = 0; k < 16; ++k) {
            PickedStar picked;
            found += pickStar(*f.field, f.view, 120 + 560.0 * (k % 4), 100 + 290.0 * (k / 4), picked);
            benchmark::DoNotOptimize(picked.found.star.x);
        }
        picks += 16;
    }
    state.counters["points"] = static_cast<double>(f.field->points.highWater);
    state.counters["voxels"] = static_cast<double>(f.field->liveVoxels);
    state.counters["chunks"] = static_cast<double>(f.field->chunks.size());
    state.counters["drawn_on_screen"] = static_cast<double>(f.onScreen);
    state.counters["found"] = static_cast<double>(found) / static_cast<double>(picks);
    state.counters["per_pick"] = benchmark::Counter(static_cast<double>(picks),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PickOnAFullField)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// The star field's speed: stars generated per second on one core (counts,
// positions and appearance), the first complete pass at the default viewpoint
// with the default limits on 1, 2 and all cores (wall time, stars per second
// per thread, stars, voxels, memory per star), and a catalog search after
// that pass. The pass's argument is the number of generating threads.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "starfield/search.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"
#include "tests/galaxy_fixture.h"

namespace {

// The voxels of levels 12..18 around the default viewpoint (5 x 5 x 5 of each
// level), with their densities, as the star field would create them.
struct Cell {
    VoxelRequest request;
    uint64_t densities[GALAXY_MAX_COMPONENTS];
    int firstTier, lastTier;
};

std::vector<Cell> cellsAroundViewpoint(const Galaxy& g) {
    const Galaxy& view = g;
    std::vector<Cell> cells;
    // Walk down to level 11 along the viewpoint, then fan out.
    std::vector<VoxelParent> frontier{rootParent(g.count)};
    for (int level = 2; level <= 18; ++level) {
        std::vector<VoxelParent> next;
        const int64_t edge = int64_t{1} << (32 - level);
        for (const VoxelParent& p : frontier) {
            for (int o = 0; o < 8; ++o) {
                Cell c;
                ChildPlan plan;
                if (!planChild(view, p, o, plan, c.densities)) continue;
                // Keep the children within two edges of the viewpoint's cell on every axis.
                bool near = true;
                const uint32_t corner[3] = {plan.x, plan.y, plan.z};
                for (int a = 0; a < 3; ++a) {
                    const int64_t cell = (DEFAULT_VIEWPOINT[a] >> 32) & ~(edge - 1);
                    const int64_t d = static_cast<int32_t>(corner[a]) - cell;
                    near = near && d >= -2 * edge && d <= 2 * edge;
                }
                if (!near) continue;
                next.push_back(parentOf(plan));
                if (level < 12) continue;
                c.request = voxelRequestFor(plan, nullptr, GalaxySeed{});
                c.firstTier = plan.firstTier;
                c.lastTier = plan.lastTier;
                cells.push_back(c);
            }
        }
        frontier.swap(next);
    }
    return cells;
}

void BM_GenerateStars(benchmark::State& state) {
    const Galaxy& g = builtGalaxy();
    const Galaxy& view = g;
    std::vector<Cell> cells = cellsAroundViewpoint(g);
    for (Cell& c : cells) c.request.cellDensity = c.densities;
    const ChannelConstants ch = channelConstantsFor(DEFAULT_WAVELENGTHS);
    GenerationWorkspace ws;
    std::vector<StarRecord> out;
    uint64_t stars = 0;
    for (auto _ : state) {
        for (const Cell& c : cells) {
            const size_t n = generateVoxelStars(view, c.request, c.firstTier, c.lastTier, ch, ws);
            out.resize(n);
            copySorted(ws, out.data());
            stars += n;
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.counters["stars/s"] = benchmark::Counter(static_cast<double>(stars), benchmark::Counter::kIsRate);
    state.counters["voxels"] = static_cast<double>(cells.size());
}
BENCHMARK(BM_GenerateStars)->Unit(benchmark::kMillisecond);

void BM_FirstPassAtDefaultViewpoint(benchmark::State& state) {
    const Galaxy& g = builtGalaxy();
    const auto threads = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const size_t before = mallinfo2().uordblks;
        state.ResumeTiming();
        auto f = std::make_unique<StarField>(g);
        f->settings.generationThreads = threads;
        const auto start = std::chrono::steady_clock::now();
        runToCompletion(*f, DEFAULT_VIEWPOINT);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        const size_t after = mallinfo2().uordblks;
        // The fixed pools: the voxel chunks in use and the queue's block chunks.
        const double pools = static_cast<double>(f->chunks.size()) * VOXEL_CHUNK_SIZE * sizeof(Voxel) +
                             static_cast<double>(f->queue.chunks.size()) * VoxelQueue::CHUNK_WORDS * 4;
        state.counters["wall_s"] = seconds;
        state.counters["stars_per_s_per_thread"] =
            static_cast<double>(f->stats.starsGenerated) / seconds / static_cast<double>(threads);
        state.counters["generated_ahead"] =
            static_cast<double>(f->stats.prefetchesUsed) / static_cast<double>(f->stats.voxelsCreated);
        state.counters["stars"] = static_cast<double>(f->starsInMemory);
        state.counters["voxels"] = static_cast<double>(f->liveVoxels);
        state.counters["points"] = static_cast<double>(f->points.displayed());
        state.counters["updates"] = static_cast<double>(f->stats.passes);
        state.counters["heap_MB"] = static_cast<double>(after - before) / 1e6;
        state.counters["pools_MB"] = pools / 1e6;
        state.counters["bytes_per_star_beyond_pools"] =
            (static_cast<double>(after - before) - pools) / static_cast<double>(f->starsInMemory);
        f.reset();
        state.ResumeTiming();
    }
}
void threadCounts(benchmark::internal::Benchmark* b) {
    b->ArgName("threads")->Arg(1)->Arg(2);
    if (hardwareThreads() > 2) b->Arg(hardwareThreads());
}
BENCHMARK(BM_FirstPassAtDefaultViewpoint)->Apply(threadCounts)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_SearchAfterFirstPass(benchmark::State& state) {
    const Galaxy& g = builtGalaxy();
    auto f = std::make_unique<StarField>(g);
    runToCompletion(*f, DEFAULT_VIEWPOINT);
    for (auto _ : state) {
        searchNearest(*f, f->settings.seed, DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]);
        benchmark::DoNotOptimize(f->searchResults.data());
    }
    state.counters["found"] = static_cast<double>(f->searchResults.size() - 1);
}
BENCHMARK(BM_SearchAfterFirstPass)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

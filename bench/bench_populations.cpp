// Cost of the population table build (part of the galaxy build at start-up),
// of evaluating one star (the control panel and the near-star list do this
// per star) and of one name code (the catalog does this per search result).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "galaxy/populations.h"
#include "galaxy/star_name.h"

namespace {

void BM_BuildPopulations(benchmark::State& state) {
    PopulationTable table;
    for (auto _ : state) {
        buildPopulations(table);
        benchmark::DoNotOptimize(table.levelMask.data());
    }
}
BENCHMARK(BM_BuildPopulations)->Unit(benchmark::kMicrosecond);

void BM_StarFromDraw(benchmark::State& state) {
    PopulationTable table;
    buildPopulations(table);
    const auto population = static_cast<uint32_t>(state.range(0));
    uint64_t draw = 0x123456789ABCDEFull;
    for (auto _ : state) {
        draw = draw * 6364136223846793005ull + 1442695040888963407ull;
        // A uniform value in [0, 1): the top 47 bits of the draw as a fraction.
        const ExtFloat u = scalePow2(xf::fromUint64(draw >> 17), -47);
        StarProperties star = starFromDraw(table, u, population);
        completeStar(star);
        benchmark::DoNotOptimize(star);
    }
}
BENCHMARK(BM_StarFromDraw)->Arg(0)->Arg(5);

void BM_LatticeCode(benchmark::State& state) {
    int32_t x = 12345, y = -6789, z = 4242;
    char buffer[LATTICE_CODE_SIZE];
    char* end = nullptr;
    for (auto _ : state) {
        latticeCode(buffer, end, x, y, z);
        benchmark::DoNotOptimize(end);
        x += 7919;
        y -= 104729;
        z += 31;
    }
}
BENCHMARK(BM_LatticeCode);

}  // namespace

BENCHMARK_MAIN();

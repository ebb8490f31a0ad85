// Locating a star from its name: the walk from the root to the named voxel and
// the generation of that one voxel, for 100 stars found by searches spread
// over the galaxy (the centre, the disc a little above and below the plane, and
// the halo, where the nearest stars lie in big voxels of the upper levels).
// Counters: how many different levels the names come from, the mean per name, and the slowest name's time in its fastest of
// the iterations (so that a scheduler hiccup does not count as the name's cost).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "starfield/locate.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"

namespace {

std::vector<std::string> foundNames(StarField& field) {
    // Ten places: the galaxy's centre (the densest voxels, so the most stars
    // to generate), five of the disc a little above or below the plane, and
    // four of the halo and beyond, 10 to 650 kpc out.
    std::vector<std::array<int64_t, 3>> places{{0, 0, 0}};
    std::mt19937_64 rng(1234);
    std::uniform_int_distribution<int64_t> inPlane(-46000000000000000, 46000000000000000);
    std::uniform_int_distribution<int64_t> height(-3000000000000000, 3000000000000000);
    for (int i = 0; i < 5; ++i) places.push_back({inPlane(rng), inPlane(rng), height(rng)});
    places.push_back({100000000000000000, 0, 0});
    places.push_back({300000000000000000, 0, 300000000000000000});
    places.push_back({1000000000000000000, -1000000000000000000, 0});
    places.push_back({0, 0, 2000000000000000000});
    // Ten names from each, spread over each result list.
    std::vector<std::string> names;
    for (const auto& at : places) {
        std::vector<SearchResult> results;
        search(field, field.settings.seed, results, SEARCH_LIMIT, at[0], at[1], at[2], SEARCH_MIN_PARSECS, SEARCH_MAX_PARSECS);
        for (size_t i = 1; i < results.size(); i += 10) names.push_back(results[i].name);
    }
    return names;
}

void BM_LocateFoundStars(benchmark::State& state) {
    const Galaxy& g = builtGalaxy();
    StarField field(g);
    const std::vector<std::string> names = foundNames(field);
    std::vector<double> fastest(names.size(), 1e30);
    uint64_t located = 0;
    double totalMs = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < names.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            LocatedStar star;
            std::string error;
            if (!locateStar(field, field.settings.seed, names[i], star, error)) state.SkipWithError(error.c_str());
            benchmark::DoNotOptimize(star.found.star.x);
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            fastest[i] = std::min(fastest[i], took.count());
            totalMs += took.count();
            ++located;
        }
    }
    state.counters["names"] = static_cast<double>(names.size());
    std::string letters;
    for (const std::string& n : names)
        if (letters.find(n[0]) == std::string::npos) letters += n[0];
    state.counters["levels"] = static_cast<double>(letters.size());
    state.counters["mean_ms"] = totalMs / static_cast<double>(located);
    state.counters["slowest_ms"] = *std::max_element(fastest.begin(), fastest.end());
    std::vector<double> sorted = fastest;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2];
}
BENCHMARK(BM_LocateFoundStars)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

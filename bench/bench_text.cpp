// Text layout: the longest text block (the licence page) and a label set of
// 100 found stars with their names and distances, in the display font.
//   build/bench/bench_text
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "display_font_data.h"
#include "numeric/constants.h"
#include "starfield/labels.h"
#include "text/licences.h"
#include "text/markup.h"

namespace {

void layoutLicences(benchmark::State& state) {
    const std::string text = licencesText();
    const TextLayoutSettings settings{&builtinDisplayFont(), static_cast<int>(state.range(1)), 16384};
    TextBlockCache cache;
    TextBlock block;
    for (auto _ : state) {
        clearTextBlockCache(cache);
        layoutTextBlock(cache, block, settings, static_cast<int>(state.range(0)), 800, 2, text);
        benchmark::DoNotOptimize(block.vertices.data());
    }
    state.counters["characters"] = static_cast<double>(text.size());
    state.counters["glyphs"] = static_cast<double>(block.vertexCount / TEXT_VERTICES_PER_GLYPH);
    state.counters["height"] = block.contentHeight;
}
BENCHMARK(layoutLicences)->Args({800, 3})->Args({1800, 3})->Args({800, 18})->Unit(benchmark::kMicrosecond);

void labelSet(benchmark::State& state) {
    // 100 found stars named as the search names them, 1 to 100 parsecs away.
    std::vector<SearchResult> results(101);
    for (int i = 1; i <= 100; ++i) {
        std::snprintf(results[i].name, sizeof results[i].name, "X-GFVXPD%c-%d", 'A' + i % 26, 3 * i + 17);
        results[i].star.x = static_cast<int64_t>(i / UNIT_PARSECS_DOUBLE);
        results[i].star.y = static_cast<int64_t>(0.37 * i / UNIT_PARSECS_DOUBLE);
    }
    const int64_t at[3] = {0, 0, 0};
    const uint8_t choices[LABEL_CHOICES] = {LABEL_NAME, LABEL_DISTANCE};
    std::vector<LabelVertex> out;
    uint32_t glyphs = 0;
    for (auto _ : state) {
        glyphs = buildLabels(results, choices, at, builtinDisplayFont(), DEFAULT_DISPLAY_FONT_SIZE, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["glyphs"] = glyphs;
}
BENCHMARK(labelSet)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

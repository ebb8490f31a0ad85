// The control panel's cost per frame, page by page: one Dear ImGui frame
// with the panel's windows (no GPU: the draw data is built, not drawn), on a
// star field whose first pass is complete and with 100 found stars listed.
// The text block of a page is laid out once and then taken from the cache,
// as in the program; BM_TextBlockLayout times a fresh layout of each.
#include <benchmark/benchmark.h>

#include <imgui.h>

#include <memory>

#include "state/program_state.h"
#include "display_font_data.h"
#include "render/renderer.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"
#include "ui/control_panel.h"
#include "ui/text_view.h"

namespace {

struct Panel {
    ProgramState state;
    std::unique_ptr<StarField> engine;
    TextView text;

    Panel() {
        const Galaxy& g = builtGalaxy();
        engine = std::make_unique<StarField>(g);
        const int64_t at[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
        runToCompletion(*engine, at);
        searchNearest(*engine, engine->settings.seed, at[0], at[1], at[2]);
        createPanelContext(1);
        ImGuiIO& io = ImGui::GetIO();
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        io.DisplaySize = ImVec2(1280, 1024);
        io.DeltaTime = 1.0f / 60;
        applyDefaultSettings(state.settings, state.view);
        state.status.version = "bench";
        const DisplayGeometry geometry = displayGeometry(1280, 1024, measurePanel(state));
        state.status.framebufferWidth = geometry.framebufferWidth;
        state.status.framebufferHeight = geometry.framebufferHeight;
        state.status.displayWidth = geometry.displayWidth;
        state.status.displayHeight = geometry.displayHeight;
    }
    ~Panel() { destroyPanelContext(); }

    void frame() {
        ImGui::NewFrame();
        drawPanel(state, *engine, &text);
        ImGui::Render();
    }
};

Panel& panel() {
    static Panel p;
    return p;
}

void BM_PanelFrame(benchmark::State& bench) {
    Panel& p = panel();
    p.state.panel.currentPage = static_cast<int>(bench.range(0));
    p.state.panel.helpShown = bench.range(1) != 0;
    p.frame();  // the page's text block is laid out here, once
    for (auto _ : bench) p.frame();
    bench.SetLabel(std::string(PAGE_NAMES[p.state.panel.currentPage]) + (p.state.panel.helpShown ? " with help" : ""));
}

void BM_TextBlockLayout(benchmark::State& bench) {
    Panel& p = panel();
    const int id = static_cast<int>(bench.range(0));
    TextSource source;
    if (!composeTextBlock(p.text, p.state, *p.engine, id, source)) {
        bench.SkipWithError("no block of that id");
        return;
    }
    TextBlock block;
    TextBlockCache cache;
    const TextLayoutSettings settings{&builtinDisplayFont(), 3, 16384};
    for (auto _ : bench) {
        clearTextBlockCache(cache);
        layoutTextBlock(cache, block, settings, source.width, p.state.status.displayHeight, id, source.text);
        benchmark::DoNotOptimize(block.vertices.data());
    }
    bench.counters["glyphs"] = static_cast<double>(block.vertexCount / TEXT_VERTICES_PER_GLYPH);
}

void pages(benchmark::internal::Benchmark* b) {
    for (int page = 0; page < PAGE_COUNT; ++page) b->Args({page, 0});
    for (int page = 0; page < HELP_PAGE_COUNT; ++page) b->Args({page, 1});
}

BENCHMARK(BM_PanelFrame)->Apply(pages)->Unit(benchmark::kMicrosecond);
// The help screens, the licences and the information pages.
BENCHMARK(BM_TextBlockLayout)->Arg(4)->Arg(10)->Arg(2)->Arg(20)->Arg(18)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

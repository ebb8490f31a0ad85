// How long the panel waits for the star field while a pass runs: Find,
// Paste (of a place in another galaxy) and Load each need the generation
// lock or the engine's settings. A fresh star field's first pass runs on a
// thread of its own until collected, as on the star-field worker; once it
// is under way, the action is timed on this thread. The wait is what a user
// feels as a frame that does not come.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "state/program_state.h"
#include "state/save_file.h"
#include "starfield/location_text.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"
#include "ui/places.h"

namespace {

const int64_t AT[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};

// A star near the default viewpoint, found once.
const std::string& nearStarName() {
    static const std::string name = [] {
        const Galaxy& g = builtGalaxy();
        StarField field(g);
        runToCompletion(field, AT);
        searchNearest(field, field.settings.seed, AT[0], AT[1], AT[2]);
        return std::string(field.searchResults.at(1).name);
    }();
    return name;
}

enum Action { FIND, PASTE, LOAD };

void BM_PanelWaitDuringPass(benchmark::State& bench) {
    const Action action = static_cast<Action>(bench.range(0));
    const std::string name = nearStarName();
    const Galaxy& g = builtGalaxy();
    const std::string savePath = (std::filesystem::temp_directory_path() / "bench_panel_wait.sav").string();
    for (auto _ : bench) {
        bench.PauseTiming();
        ProgramState state;
        applyDefaultSettings(state.settings, state.view);
        auto field = std::make_unique<StarField>(g);
        saveState(savePath, {&state.settings, &state.view});
        Location other{{state.view.position[0], state.view.position[1], state.view.position[2]},
                       state.view.forward, state.view.up, GalaxySeed{7, 9}};
        const std::string pasted = encodeLocation(other);
        StarFieldInput input = inputAt(AT, true);
        input.runUntilCollected = true;
        field->yieldRequested.store(false);
        std::thread pass([&] { field->update(input); });
        // Well into the first pass, which alone fills the field for a second or more.
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        bench.ResumeTiming();

        std::string message;
        const auto start = std::chrono::steady_clock::now();
        switch (action) {
            case FIND: findStar(state, *field, name, message); break;
            case PASTE: goToPlace(state, *field, pasted, message); break;
            case LOAD: {
                std::string error;
                loadState(savePath, error, {&state.settings, &state.view});
                break;
            }
        }
        const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bench.SetIterationTime(waited);

        bench.PauseTiming();
        pass.join();
        field.reset();
        bench.ResumeTiming();
    }
    std::filesystem::remove(savePath);
    static const char* const NAMES[] = {"Find", "Paste", "Load"};
    bench.SetLabel(NAMES[action]);
}

BENCHMARK(BM_PanelWaitDuringPass)->Arg(FIND)->Arg(PASTE)->Arg(LOAD)->UseManualTime()->Iterations(5)
    ->Repetitions(3)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

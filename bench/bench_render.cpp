// Pictures drawn without a window (starloom --render), on the CPU Vulkan
// driver where there is no GPU; no display is needed:
//   build/bench/bench_render
// RenderProcess times the real program from its start to the written PNG of
// the default view at 1280 x 800 (a home of its own, so no save file: the
// defaults). RenderPhases does the same steps inside this process and
// reports each one's share as counters (seconds per picture): the galaxy
// build, start-up with the save file, the offscreen device with its buffers
// and pipelines, the star field run to completion, and drawing, reading
// back and writing the picture (png_write_s: of that, the PNG file alone).
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/application.h"
#include "galaxy/galaxy_build.h"
#include "files/png_file.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int WIDTH = 1280, HEIGHT = 800;

std::filesystem::path scratchFolder() {
    const auto dir = std::filesystem::temp_directory_path() / ("starloom-bench-render-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "home");
    return dir;
}

double seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

void RenderProcess(benchmark::State& state) {
    const auto dir = scratchFolder();
    const std::string out = (dir / "default_view.png").string();
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY HOME='" + (dir / "home").string() +
                                "' XDG_DATA_HOME='" + (dir / "home" / "data").string() + "' '" STARLOOM_PATH
                                "' --render '" + out + "' --size " + std::to_string(WIDTH) + "x" +
                                std::to_string(HEIGHT);
    for (auto _ : state) {
        std::filesystem::remove(out);
        const auto start = Clock::now();
        const int status = std::system(command.c_str());
        const auto end = Clock::now();
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !std::filesystem::exists(out)) {
            state.SkipWithError("starloom --render failed");
            break;
        }
        state.SetIterationTime(seconds(start, end));
    }
    state.counters["png_bytes"] = std::filesystem::exists(out) ? static_cast<double>(std::filesystem::file_size(out)) : 0;
    std::filesystem::remove_all(dir);
}
BENCHMARK(RenderProcess)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void RenderPhases(benchmark::State& state) {
    const auto dir = scratchFolder();
    setenv("XDG_DATA_HOME", (dir / "home" / "data").c_str(), 1);
    const std::string out = (dir / "default_view.png").string();
    double galaxy = 0, startUp = 0, device = 0, starField = 0, picture = 0;
    double starsDisplayed = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const auto model = std::make_unique<const Galaxy>(buildGalaxy());
        const auto t1 = Clock::now();
        auto app = std::make_unique<Application>();
        app->icosa = makeIcosaTables();
        app->init(*model);
        app->saveOnExit = false;
        const auto t2 = Clock::now();
        app->initOffscreenRenderer(WIDTH, HEIGHT);
        const auto t3 = Clock::now();
        app->completeStarField();
        const auto t4 = Clock::now();
        app->renderPicture(out);
        const auto t5 = Clock::now();
        starsDisplayed = app->state.status.starsDisplayed;
        app->shutdown();
        app.reset();
        galaxy += seconds(t0, t1);
        startUp += seconds(t1, t2);
        device += seconds(t2, t3);
        starField += seconds(t3, t4);
        picture += seconds(t4, t5);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["galaxy_s"] = galaxy / n;
    state.counters["startup_s"] = startUp / n;
    state.counters["device_s"] = device / n;
    state.counters["starfield_s"] = starField / n;
    state.counters["draw_read_write_s"] = picture / n;
    state.counters["stars_displayed"] = starsDisplayed;
    // Of the last step, the PNG file alone: the same pixels written again.
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::string error;
    if (readPngRgb(out, width, height, rgb, error)) {
        const auto start = Clock::now();
        writePng((dir / "again.png").string(), width, height, 3, rgb.data(), error);
        state.counters["png_write_s"] = seconds(start, Clock::now());
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(RenderPhases)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

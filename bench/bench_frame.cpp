// Frame time of the real program: window, renderer and workers as starloom
// runs them, from the default viewpoint and while flying forwards at speed
// level 40. Needs a display (run under Xvfb for the CPU Vulkan driver):
//   Xvfb :99 -screen 0 1280x1024x24 & DISPLAY=:99 build/bench/bench_frame
// Counters per frame: panel build, navigation, star-field hand-off and
// upload, the wait for the frame slot's fence, and the queue submit and
// present (where a CPU driver such as lavapipe does the drawing); and the
// process's CPU time (cpu_ms: the driver's drawing threads included, and so
// much steadier than the wall time when other work shares the machine). The first
// benchmark measures launch to the first complete star field: the first
// frame, then the program's main loop until no pass runs, none is pending and
// the engine has no unfinished work; the frame benchmarks then draw frames on
// that complete field.
#include <benchmark/benchmark.h>

#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/application.h"
#include "galaxy/galaxy_build.h"

namespace {

using Clock = std::chrono::steady_clock;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Program {
    std::unique_ptr<const Galaxy> galaxy;
    std::unique_ptr<Application> app;
    Clock::time_point launch;
    double launchToFirstFrame = 0;  // seconds
};

Program* program = nullptr;

Program* startProgram() {
    if (program != nullptr) return program;
    const auto start = Clock::now();
    program = new Program;
    program->launch = start;
    program->galaxy = std::make_unique<const Galaxy>(buildGalaxy());
    program->app = std::make_unique<Application>();
    Application& app = *program->app;
    app.icosa = makeIcosaTables();
    app.state.settings.fullScreen = false;  // 1200 x 800
    app.init(*program->galaxy);
    app.state.settings.fullScreen = false;
    app.initWindowAndRenderer();
    app.drawFrame();
    program->launchToFirstFrame = std::chrono::duration<double>(Clock::now() - start).count();
    return program;
}

void runFrames(benchmark::State& state, bool flying) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no display: run under Xvfb");
        return;
    }
    Application& app = *startProgram()->app;
    app.loop.keys.down[navkey::SPACE] = flying;
    app.state.view.speedLevel = 40;
    app.drawFrame();  // settle after the change
    app.frameTimes = {};
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) app.drawFrame();
    // The last frame's drawing is done before the CPU time is read.
    waitIdle(app.renderer);
    const double cpuSeconds = processCpuSeconds() - cpuStart;
    app.loop.keys.down[navkey::SPACE] = false;
    const double frames = static_cast<double>(app.frameTimes.frames);
    auto perFrameMs = [&](uint64_t ns) { return static_cast<double>(ns) * 1e-6 / frames; };
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["cpu_ms"] = cpuSeconds * 1e3 / frames;
    state.counters["panel_ms"] = perFrameMs(app.frameTimes.panel);
    state.counters["navigation_ms"] = perFrameMs(app.frameTimes.navigation);
    state.counters["upload_ms"] = perFrameMs(app.frameTimes.starField);
    state.counters["gpu_wait_ms"] = perFrameMs(app.frameTimes.gpuWait);
    state.counters["submit_ms"] = perFrameMs(app.frameTimes.submit);
    state.counters["present_ms"] = perFrameMs(app.frameTimes.present);
    state.counters["points"] = app.renderer.midgroundPointCount;
    state.counters["points_drawn"] = app.renderer.pointsDrawn;  // that can show in the view
    state.counters["near_stars"] = app.renderer.shapeVertexCount / SHAPE_INDICES_PER_STAR;
    state.counters["launch_to_first_frame_s"] = program->launchToFirstFrame;
    state.counters["msaa_samples"] = app.renderer.msaaSamples;
}

// Every pass of the star field has been collected and uploaded, and nothing
// asks for another one.
bool starFieldComplete(Application& app) {
    return !app.starFieldJob.running.load() && !app.passes.passWasRunning && !app.passes.restartPending &&
           !app.state.changes.any() && !starFieldUnfinished(&app.starField);
}

void BM_LaunchToCompleteStarField(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no display: run under Xvfb");
        return;
    }
    Program& p = *startProgram();
    Application& app = *p.app;
    double seconds = 0;
    uint64_t frames = 1;  // the first frame, drawn by startProgram
    for (auto _ : state) {
        // The program's own loop: frames, and waits for a running pass when
        // nothing else asks for a frame.
        while (!starFieldComplete(app)) {
            const uint64_t before = app.frameTimes.frames;
            app.runLoopStep();
            frames += app.frameTimes.frames - before;
            seconds = std::chrono::duration<double>(Clock::now() - p.launch).count();
            if (seconds > 1200) {
                state.SkipWithError("the star field did not complete within 20 minutes");
                break;
            }
        }
        seconds = std::chrono::duration<double>(Clock::now() - p.launch).count();
    }
    state.counters["launch_to_first_frame_s"] = p.launchToFirstFrame;
    state.counters["launch_to_complete_s"] = seconds;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["points"] = app.renderer.midgroundPointCount;
    state.counters["near_stars"] = app.renderer.shapeVertexCount / SHAPE_INDICES_PER_STAR;
}

void BM_FrameDefaultView(benchmark::State& state) { runFrames(state, false); }
void BM_FrameFlyingLevel40(benchmark::State& state) { runFrames(state, true); }

BENCHMARK(BM_LaunchToCompleteStarField)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_FrameDefaultView)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameFlyingLevel40)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (program != nullptr) {
        program->app->shutdown();
        program->app.reset();
        delete program;
    }
    return 0;
}

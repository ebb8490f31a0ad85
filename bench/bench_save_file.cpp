// The save file: building the image, saving it (temporary file, flush, fsync,
// rename, folder sync) and loading it (read, decode, check, apply), and the
// in-memory decode alone. The fsync makes a save cost what the disk takes to
// confirm a write; the figures depend on the file system.
//   build/bench/bench_save_file
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "state/program_state.h"
#include "state/save_file.h"

namespace {

struct Target {
    Settings settings;
    Viewpoint view{};
    SaveTarget target() { return {&settings, &view}; }
    Target() { applyDefaultSettings(settings, view); }
};

std::string folder() {
    static const std::string path = [] {
        char name[] = "/tmp/starloom-bench-save-XXXXXX";
        return std::string(::mkdtemp(name));
    }();
    return path;
}

void BM_BuildImage(benchmark::State& bench) {
    Target t;
    for (auto _ : bench) benchmark::DoNotOptimize(buildSaveImage(t.target()));
}
BENCHMARK(BM_BuildImage);

void BM_ApplyImage(benchmark::State& bench) {
    Target t;
    const std::vector<uint8_t> image = buildSaveImage(t.target());
    for (auto _ : bench) applySaveImage(image.data(), image.size(), t.target());
}
BENCHMARK(BM_ApplyImage);

void BM_Save(benchmark::State& bench) {
    Target t;
    const std::string path = folder() + "/default.sav";
    for (auto _ : bench) saveState(path, t.target());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMicrosecond);

void BM_Load(benchmark::State& bench) {
    Target t;
    const std::string path = folder() + "/default.sav";
    saveState(path, t.target());
    std::string text;
    for (auto _ : bench) benchmark::DoNotOptimize(loadState(path, text, t.target()));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder());
    return 0;
}

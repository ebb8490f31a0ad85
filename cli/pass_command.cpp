// starloom-cli pass: star-field passes at a viewpoint until none is unfinished.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "star_session.h"
#include "starfield/star_field_digest.h"

const char* const PASS_HELP =
    "usage: starloom-cli pass [--at X Y Z] [--max-stars N] [--max-voxels CHUNKS] [--timeout-ms MS]\n"
    "                         [--threads N] [--digest]\n\n"
    "Runs star-field updates at the position (signed 64-bit position units; the\n"
    "default is the default viewpoint) until no pass is unfinished, with the\n"
    "default magnitude 12, view angle 45 and a display 800 pixels high. Options:\n"
    "  --max-stars N        stars held in memory (\"Max stars gen\", default 10000000)\n"
    "  --max-voxels CHUNKS  voxel pool in chunks of 65536 (\"Max Voxels\", default 16)\n"
    "  --timeout-ms MS      time budget of one pass (\"Frame Timeout\", default 40)\n"
    "  --threads N          threads generating stars, 1..1024 (default: one per core)\n"
    "  --digest             also print a digest of everything the star field holds\n"
    "Prints one 'name: value' line each: passes, voxels, stars in memory, points\n"
    "on display, near stars, foreground objects, foreground candidates without\n"
    "an entry, evictions, wall time in seconds, stars generated per second, the\n"
    "number of generating threads, and with --digest the digest (0x and 16 hex\n"
    "digits; the same for every thread count).\n";

int runPass(int argc, char** argv) {
    int64_t at[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
    uint64_t maxStars = DEFAULT_MAX_STARS_GEN;
    uint64_t maxChunks = DEFAULT_MAX_VOXEL_CHUNKS;
    uint64_t timeoutMs = DEFAULT_FRAME_TIMEOUT_NS / 1000000;
    uint64_t threads = hardwareThreads();
    bool digest = false;
    for (int i = 0; i < argc; ++i) {
        auto value = [&](uint64_t& out, uint64_t lo, uint64_t hi) { return parseUintOption(argc, argv, i, out, lo, hi); };
        if (std::strcmp(argv[i], "--at") == 0) {
            if (!parseAt(argc, argv, i, at)) return 2;
        } else if (std::strcmp(argv[i], "--max-stars") == 0) {
            if (!value(maxStars, 1, UINT32_MAX)) return 2;
        } else if (std::strcmp(argv[i], "--max-voxels") == 0) {
            if (!value(maxChunks, 1, 4096)) return 2;
        } else if (std::strcmp(argv[i], "--timeout-ms") == 0) {
            if (!value(timeoutMs, 0, 3600000)) return 2;
        } else if (std::strcmp(argv[i], "--threads") == 0) {
            if (!value(threads, 1, 1024)) return 2;
        } else if (std::strcmp(argv[i], "--digest") == 0) {
            digest = true;
        } else {
            std::printf("error: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }

    StarSession session;
    StarField& field = *session.field;
    StarFieldSettings& settings = session.input.settings;
    settings.maxVoxelChunks = static_cast<uint32_t>(maxChunks);
    settings.maxStarsGen = maxStars;
    settings.frameTimeoutNs = timeoutMs * 1000000;
    settings.generationThreads = static_cast<unsigned>(threads);
    const auto start = std::chrono::steady_clock::now();
    session.runToCompletion(at);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("passes: %" PRIu64 "\n", field.stats.passes);
    std::printf("voxels: %u\n", field.liveVoxels);
    std::printf("stars in memory: %" PRIu64 "\n", field.starsInMemory);
    std::printf("points on display: %u\n", field.points.displayed());
    std::printf("near stars: %zu\n", field.nearList.size());
    std::printf("foreground objects: %u\n", field.foreground.count);
    std::printf("foreground candidates without entry: %" PRIu64 "\n", field.foreground.missed);
    std::printf("evictions: %" PRIu64 "\n", field.stats.evictions);
    std::printf("wall time: %.3f s\n", seconds);
    std::printf("stars generated per second: %.0f\n",
                seconds > 0 ? static_cast<double>(field.stats.starsGenerated) / seconds : 0.0);
    std::printf("threads: %u\n", field.settings.generationThreads);
    if (digest) std::printf("digest: 0x%016" PRIX64 "\n", starFieldDigest(field));
    return 0;
}

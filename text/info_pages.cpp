#include "text/info_pages.h"

#include <cinttypes>
#include <cstdio>

#include "text/markup.h"

namespace {

std::string format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

const char* const ROAD_MAP =
    "|i0|#4Road Map\n"
    "|i4Starloom grows in four phases. Only the first is under way; the others are plans.\n"
    "\n"
    "|i0|#2Phase 1: the galaxy and its engine (under way)\n"
    "|i4A procedural galaxy of some 400 billion stars that is the same on every machine, the star-field "
    "engine that generates the stars around the viewpoint, and a Vulkan display with a control panel.\n"
    "|i8Done so far: find any star again by its name alone and share a place as a line of text; "
    "install like any desktop program, with screenshots and pictures rendered without a window; draw "
    "nothing while the view is still and generate stars on every processor core; the same stars on "
    "AArch64 as on x86-64, bit for bit; the galaxy's diffuse light checked against a numerical "
    "integral of its density, with the arms drawn without seams between their pieces.\n"
    "|i8Next: search the catalog by brightness and by kind as well as by distance; add the diffuse "
    "light in a picture of finer steps, so that its faintest parts fade without steps.\n"
    "\n"
    "|i0|#2Phase 2: astronomical objects (planned)\n"
    "|i4More than stars: planets and their orbits, star clusters, nebulae, and stars that change "
    "with age.\n"
    "|i8First steps: planetary systems generated from a star's own random stream, so that they too "
    "need no storage; objects shown in the catalog and the star information block.\n"
    "\n"
    "|i0|#2Phase 3: single-player play (planned)\n"
    "|i4Reasons to travel: exploring, charting and goals that a player sets or finds.\n"
    "|i8First steps: a log of visited stars kept in the save file; marks on charted stars.\n"
    "\n"
    "|i0|#2Phase 4: multiplayer (planned)\n"
    "|i4Several players in the same galaxy: since every star follows from the galaxy seed, only "
    "positions and discoveries need to travel between them.\n"
    "|i8First steps: shared places and names (phase 1's location text), then a small server that "
    "relays positions.\n";

const char* const CHANGE_LOG =
    "|i0|#4Change Log\n"
    "|i0|#2Version 0.1 (in development)\n"
    "|i4The first version, for Linux with Vulkan 1.0.\n"
    "|i8- ExtFloat, the program's own 64-bit floating-point number built from integer operations, "
    "so that the galaxy comes out the same on every machine.\n"
    "|i8- The galaxy model: two core ellipsoids, a disc, two spiral arms grown by a seeded random "
    "walk, a halo and a sphere of rogue stars; seven stellar populations with their physical laws "
    "and spectral classes; a name for every star.\n"
    "|i8- The star-field engine: an octree of voxels around the viewpoint, generated nearest and "
    "brightest first within a time budget per pass, kept within limits of memory by eviction.\n"
    "|i8- The display: the galaxy's diffuse light, stars as points, the nearest as discs in their "
    "colour, markers and labels on found stars, a cross-hair; full screen or a window.\n"
    "|i8- Navigation with the keyboard: movement, pitch, roll, yaw, speed levels, fine aiming with "
    "Caps Lock.\n"
    "|i8- The control panel with its pages; save, load and reset of the viewpoint and settings.\n"
    "|i8- Catalog search of the 100 nearest stars, by distance, with labels, the star information "
    "block and flying to a star.\n"
    "|i8- The display font, help screens, information pages and licence texts.\n"
    "|i8- starloom-cli, the engine without a window, for scripts and checks.\n"
    "|i8- Installs like any desktop program, with a menu entry, an icon and manual pages; F12 saves a "
    "screenshot of the star display; starloom --render draws a saved view into a picture without a "
    "window.\n"
    "|i8- Go to any star by its name (Find on the Catalog page, starloom --at), and share a place as "
    "a line of text (Copy and Paste on the Navigation page).\n"
    "|i8- Quiet at rest: nothing is drawn while nothing can change the picture, and not at all while "
    "the window is hidden; the star field fills at the speed of the processor, on every core, with "
    "the same stars for any number of cores.\n"
    "|i8- The same stars on AArch64 as on x86-64, checked bit for bit.\n"
    "|i8- The diffuse light checked against a numerical integral of the galaxy's density: widening "
    "arm pieces drawn in their true shape, no dark dots along the joints, the disc integrated per "
    "pixel.\n"
    "|i8- Light in floating point, turned into the picture once: no outlines or bands in the diffuse "
    "light; automatic exposure; round stars at every size; stars up close as opaque, limb-darkened "
    "discs with a glow that grows with their brightness; the diffuse light in its populations' "
    "colours on request; frames three times as fast on a CPU driver.\n";

const char* const KNOWN_BUGS =
    "|i0|#4Known Bugs\n"
    "|i4- The catalog searches by distance only.\n"
    "|i4- Labels hold at most 2600 characters in all; beyond that, the labels of the farthest found "
    "stars are left out.\n"
    "|i4- A text block taller than the largest image the GPU can hold is cut off at its end.\n";

}  // namespace

const char* platformName() {
#if defined(__linux__)
    return "Linux";
#elif defined(_WIN32)
    return "Windows";
#elif defined(__APPLE__)
    return "macOS";
#else
    return "unknown";
#endif
}

const char* debugBuildText() {
#ifdef NDEBUG
    return "off";
#else
    return "on";
#endif
}

const char* processorName() {
#if defined(__x86_64__) || defined(_M_X64)
    return "x86-64";
#elif defined(__aarch64__) || defined(_M_ARM64)
    return "AArch64";
#elif defined(__i386__)
    return "x86";
#elif defined(__arm__)
    return "ARM";
#elif defined(__riscv) && __riscv_xlen == 64
    return "RISC-V 64";
#else
    return "unknown";
#endif
}

std::string vulkanVersionText(uint32_t v) {
    return format("%u.%u.%u", (v >> 22) & 0x7Fu, (v >> 12) & 0x3FFu, v & 0xFFFu);
}

std::string starCountsText(const std::array<uint64_t, COMPONENT_KIND_COUNT>& totals) {
    static const char* const LABELS[COMPONENT_KIND_COUNT] = {"Core   |>a:|f", "Arms|<a:|f", "Disc|<a:|f",
                                                             "Halo|<a:|f", "Rogue|<a:|f"};
    std::string text = "|i0|#4Star Counts: |#-4(in billions)|i4\n";
    uint64_t sum = 0;
    for (int k = 0; k < COMPONENT_KIND_COUNT; ++k) {
        text += LABELS[k] + format("%8.3f", static_cast<double>(totals[k]) * 1e-9) + "|v\n";
        sum += totals[k];
    }
    text += "Total|<a:|f" + format("%8.3f", static_cast<double>(sum) * 1e-9) + "|v\n";
    return text;
}

std::string platformText(std::string_view version) {
    std::string text =
        "|#4Platform and CPU Information|#-4\nIt may be useful to include a screenshot of this with bug reports\n\n";
    text += "Version: " + std::string(version) + "\n";
    text += "Platform: " + std::string(platformName()) + "\n";
    text += "Debug: " + std::string(debugBuildText()) + "\n";
    text += "CPU: " + std::string(processorName()) + "\n";
    return text;
}

std::string gpuText(const GpuFacts& gpu, std::string_view version) {
    std::string text =
        "|#4GPU Information|#-4\nIt may be useful to include a screenshot of this with bug reports\n\n";
    text += "Version: " + std::string(version) + "\n";
    text += "Vulkan: " + vulkanVersionText(gpu.apiVersion) + "\n";
    text += "Device: " + markupLiteral(gpu.deviceName) + "\n";
    text += std::string("Local Mem: ") + (gpu.allMemoryHostVisible ? "Y" : "N") + ", 64-bit float: " +
            (gpu.shaderFloat64 ? "Y" : "N") + "\n";
    for (size_t h = 0; h < gpu.heaps.size(); ++h) {
        text += format("Heap: %x:%" PRIu64 "\n", gpu.heaps[h].flags, gpu.heaps[h].size);
        for (const GpuFacts::MemoryType& t : gpu.memoryTypes)
            if (t.heapIndex == h) text += format("  Mem :%x\n", t.propertyFlags);
    }
    text += format("Max UBO: %uk\n", gpu.maxUniformBufferRange / 1024);
    text += format("Sampling: %u/%x\n", gpu.sampleCount, gpu.supportedSampleCounts);
    text += format("Screen: %ux%u\n", gpu.screenWidth, gpu.screenHeight);
    text += format("Transfer: mem: %" PRIu64 ", pci:%" PRIu64 "\n", gpu.hostCopies, gpu.gpuCopies);
    return text;
}

const char* roadMapText() { return ROAD_MAP; }
const char* changeLogText() { return CHANGE_LOG; }
const char* knownBugsText() { return KNOWN_BUGS; }

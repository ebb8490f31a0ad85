// The Information page's six sub-pages as marked-up texts (ui/markup.h):
// three fixed (Road Map, Change Log, Known Bugs) and three composed from what
// the program knows at run time (Star Counts, Platform, GPU).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "galaxy/galaxy.h"

enum InfoPage { INFO_ROAD_MAP, INFO_STAR_COUNTS, INFO_PLATFORM, INFO_GPU, INFO_CHANGE_LOG, INFO_KNOWN_BUGS, INFO_PAGE_COUNT };

// The sub-pages' names, in the order of the page's combo.
inline constexpr const char* INFO_PAGE_NAMES[INFO_PAGE_COUNT] = {"Road Map",   "Star Counts", "Platform",
                                                                 "GPU",        "Change Log",  "Known Bugs"};

// The text-block id of each sub-page (every block has its own).
inline constexpr int INFO_BLOCK_IDS[INFO_PAGE_COUNT] = {12, 20, 18, 21, 16, 14};

// What the GPU page shows: facts of the Vulkan device and the renderer,
// filled in by the renderer (Vulkan's values, as plain numbers).
struct GpuFacts {
    uint32_t apiVersion = 0;  // VkPhysicalDeviceProperties::apiVersion
    std::string deviceName;
    struct Heap {
        uint32_t flags = 0;  // VkMemoryHeapFlags
        uint64_t size = 0;   // bytes
    };
    struct MemoryType {
        uint32_t propertyFlags = 0;  // VkMemoryPropertyFlags
        uint32_t heapIndex = 0;
    };
    std::vector<Heap> heaps;
    std::vector<MemoryType> memoryTypes;
    bool allMemoryHostVisible = false;  // every memory type is host-visible
    bool shaderFloat64 = false;
    uint32_t maxUniformBufferRange = 0;  // bytes
    uint32_t sampleCount = 1;            // in use
    uint32_t supportedSampleCounts = 0;  // VkSampleCountFlags
    uint32_t screenWidth = 0, screenHeight = 0;  // swap-chain image size
    uint64_t hostCopies = 0;  // the renderer's copies by the CPU
    uint64_t gpuCopies = 0;   // and by the GPU
};

// The five star totals (per component kind, in the order of ComponentKind) in billions.
std::string starCountsText(const std::array<uint64_t, COMPONENT_KIND_COUNT>& kindTotals);
// The platform, whether the build has debugging, and the processor.
std::string platformText(std::string_view version);
std::string gpuText(const GpuFacts& gpu, std::string_view version);
const char* roadMapText();
const char* changeLogText();
const char* knownBugsText();

// The names this build reports on the Platform page.
const char* platformName();       // "Linux", ...
const char* debugBuildText();     // "on" or "off"
const char* processorName();      // "x86-64", "AArch64", ...

// "major.minor.patch" of a Vulkan version number.
std::string vulkanVersionText(uint32_t version);

// The entries of the control panel's combos: the text each shows and the
// value it stands for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "state/settings.h"

template <typename T>
struct Choice {
    const char* name;
    T value;
};

inline constexpr Choice<float> BRIGHTNESS_CHOICES[] = {{"1.0", 1.0f}, {"1.2", 1.2f}, {"1.5", 1.5f}, {"2.0", 2.0f},
                                                {"3.0", 3.0f}, {"4.0", 4.0f}, {"5.0", 5.0f}, {"6.0", 6.0f},
                                                {"8.0", 8.0f}, {"10", 10.0f}};
inline constexpr Choice<uint64_t> STARS_GEN_CHOICES[] = {
    {"10K", 10000},     {"15K", 15000},     {"20K", 20000},     {"30K", 30000},     {"40K", 40000},
    {"60K", 60000},     {"80K", 80000},     {"100K", 100000},   {"150K", 150000},   {"200K", 200000},
    {"300K", 300000},   {"400K", 400000},   {"600K", 600000},   {"800K", 800000},   {"1M", 1000000},
    {"1.5M", 1500000},  {"2M", 2000000},    {"3M", 3000000},    {"4M", 4000000},    {"6M", 6000000},
    {"8M", 8000000},    {"10M", 10000000}};
inline constexpr Choice<uint64_t> POINT_CAPACITY_CHOICES[] = {{"3M", 3000000}};
inline constexpr Choice<uint32_t> VOXEL_CHOICES[] = {{"64K", 1},   {"128K", 2},  {"192K", 3},  {"256K", 4},
                                              {"384K", 6},  {"512K", 8},  {"768K", 12}, {"1M", 16},
                                              {"1.5M", 24}, {"2M", 32},   {"3M", 48},   {"4M", 64},
                                              {"6M", 96},   {"8M", 128},  {"12M", 192}, {"16M", 256}};
inline constexpr uint64_t MILLISECOND_NS = 1000000;
inline constexpr Choice<uint64_t> TIMEOUT_CHOICES[] = {
    {"10m", 10 * MILLISECOND_NS},   {"15m", 15 * MILLISECOND_NS},   {"20m", 20 * MILLISECOND_NS},   {"30m", 30 * MILLISECOND_NS},   {"40m", 40 * MILLISECOND_NS},
    {"60m", 60 * MILLISECOND_NS},   {"80m", 80 * MILLISECOND_NS},   {"100m", 100 * MILLISECOND_NS}, {"150m", 150 * MILLISECOND_NS}, {"200m", 200 * MILLISECOND_NS},
    {"300m", 300 * MILLISECOND_NS}, {"400m", 400 * MILLISECOND_NS}, {"600m", 600 * MILLISECOND_NS}, {"800m", 800 * MILLISECOND_NS}, {"1", 1000 * MILLISECOND_NS}};
inline constexpr Choice<uint64_t> LOOKAHEAD_CHOICES[] = {
    {"0", 0},           {"10m", 10 * MILLISECOND_NS},   {"15m", 15 * MILLISECOND_NS},   {"20m", 20 * MILLISECOND_NS},   {"30m", 30 * MILLISECOND_NS},
    {"40m", 40 * MILLISECOND_NS},   {"60m", 60 * MILLISECOND_NS},   {"80m", 80 * MILLISECOND_NS},   {"100m", 100 * MILLISECOND_NS}, {"150m", 150 * MILLISECOND_NS},
    {"200m", 200 * MILLISECOND_NS}, {"300m", 300 * MILLISECOND_NS}, {"400m", 400 * MILLISECOND_NS}, {"600m", 600 * MILLISECOND_NS}, {"800m", 800 * MILLISECOND_NS},
    {"1", 1000 * MILLISECOND_NS}};
inline constexpr Choice<BackgroundMode> BACKGROUND_CHOICES[] = {
    {"(none)", BackgroundMode::None}, {"Low Q", BackgroundMode::LowQuality}, {"Normal", BackgroundMode::Normal}};
inline constexpr Choice<StarShape> STAR_SHAPE_CHOICES[] = {{"Circle", StarShape::Circle}, {"Fuzzy", StarShape::Fuzzy}};
inline constexpr Choice<ExposureMode> EXPOSURE_CHOICES[] = {{"Fixed", ExposureMode::Fixed}, {"Auto", ExposureMode::Auto}};
inline constexpr Choice<DiffuseColour> DIFFUSE_COLOUR_CHOICES[] = {{"Even", DiffuseColour::Even},
                                                                   {"Populations", DiffuseColour::Populations}};
inline constexpr Choice<LabelText> STAR_LABEL_CHOICES[] = {
    {"(none)", LABEL_NONE}, {"Name", LABEL_NAME}, {"Distance", LABEL_DISTANCE}};
inline constexpr Choice<bool> SHOWN_CHOICES[] = {{"Hidden", false}, {"Shown", true}};
inline constexpr Choice<int> SIDE_CHOICES[] = {{"Left", 0}, {"Right", 1}};

enum CatalogSort { SORT_DISTANCE = 0, SORT_BRIGHTNESS = 1, SORT_POPULATION = 2 };
inline constexpr Choice<int> SORT_CHOICES[] = {
    {"Distance", SORT_DISTANCE}, {"Brightness", SORT_BRIGHTNESS}, {"Population", SORT_POPULATION}};

// The entry of a value; null when no entry has it.
template <typename T, size_t N>
const char* choiceName(const Choice<T> (&choices)[N], T value) {
    for (const Choice<T>& c : choices) {
        if (c.value == value) return c.name;
    }
    return nullptr;
}

// What the user sets: the settings the save file keeps, and those that last
// for the run only, with the ranges the panel keeps them in, the defaults a
// missing save file stands for, and the values derived from them.
#pragma once

#include <cstdint>

#include "starfield/appearance.h"
#include "starfield/labels.h"
#include "starfield/navigation.h"
#include "starfield/star_field.h"

// The window's size when it is not full screen.
inline constexpr int WINDOWED_WIDTH = 1200;
inline constexpr int WINDOWED_HEIGHT = 800;

// The ranges the control panel keeps the settings in. A save file's values
// must lie in them too.
inline constexpr double VIEW_ANGLE_MIN = 1, VIEW_ANGLE_MAX = 90;  // degrees
inline constexpr float MAX_MAGNITUDE_MIN = 4, MAX_MAGNITUDE_MAX = 16;
inline constexpr uint32_t DISPLAY_FONT_SIZE_MAX = 18;  // index of the display font's 19 sizes
inline constexpr uint32_t CONTROL_FONT_SCALE_MIN = 1, CONTROL_FONT_SCALE_MAX = 4;
// Channel wavelengths in metres (no widget sets them). Outside 10 nm to 100 um
// the single-precision channel constants overflow or every star goes black.
inline constexpr float CHANNEL_WAVELENGTH_MIN = 1e-8f, CHANNEL_WAVELENGTH_MAX = 1e-4f;

// How the diffuse light of the galaxy is drawn: not at all, per vertex, or
// integrated per pixel.
enum class BackgroundMode : int { None = 0, LowQuality = 1, Normal = 2 };
// How a star brighter than a point is drawn: a hard disc or a soft one.
enum class StarShape : int { Circle = 0, Fuzzy = 1 };
// The exposure of the star display: a fixed factor on the light, or one that
// follows the light of the view (Brightness then works as a correction of it).
enum class ExposureMode : int { Fixed = 0, Auto = 1 };
// The colour of the galaxy's diffuse light: the one colour of all its stars'
// light, or each component's from its populations at its stars' age.
enum class DiffuseColour : int { Even = 0, Populations = 1 };

// Where the window returns to when it leaves full screen.
struct WindowPlacement {
    int width = WINDOWED_WIDTH, height = WINDOWED_HEIGHT;
    int x = 100, y = 100;
};

// The window's place when it is not full screen, in a monitor's work area
// (the screen less its panels and docks): WINDOWED_WIDTH x WINDOWED_HEIGHT,
// smaller where that is more than 90 % of the area in either direction, and
// centred in it.
WindowPlacement windowedPlacement(int areaX, int areaY, int areaWidth, int areaHeight);

struct Settings {
    // ---- kept in the save file (the viewpoint is kept too, see Viewpoint)
    GalaxySeed seed{};
    double viewAngle = 45.0;  // degrees
    float channelWavelength[3] = {6.5e-7f, 5.5e-7f, 4.5e-7f};  // red, green, blue, metres
    float maxMagnitude = 12.0f;
    uint32_t displayFontSize = 3;
    uint32_t controlFontScale = 1;
    uint32_t maxVoxelChunks = DEFAULT_MAX_VOXEL_CHUNKS;  // "Max Voxels", chunks of 65,536 voxels
    uint64_t maxStarsGen = DEFAULT_MAX_STARS_GEN;        // "Max stars gen"
    uint64_t pointCapacity = DEFAULT_POINT_CAPACITY;     // "Max stars gc"
    bool panelOnRight = true;
    bool showCrosshair = true;
    bool multisampling = true;

    // ---- for the run only
    BackgroundMode backgroundMode = BackgroundMode::Normal;
    StarShape starShape = StarShape::Fuzzy;
    float brightness = 1.0f;
    ExposureMode exposureMode = ExposureMode::Fixed;
    float exposure = 1.0f;  // the fixed exposure's factor (1 unless starloom --render --exposure sets another)
    DiffuseColour diffuseColour = DiffuseColour::Even;
    float maximumCircleSize = 20.0f;  // largest near-star shape radius, pixels
    LabelText starLabel[LABEL_CHOICES] = {LABEL_NAME, LABEL_NONE};
    bool bookmarksOnSky = true;  // the bookmarks marked and named in the star display
    uint64_t frameTimeoutNs = DEFAULT_FRAME_TIMEOUT_NS;
    uint64_t frameLookaheadNs = DEFAULT_FRAME_LOOKAHEAD_NS;
    bool fullScreen = true;
    WindowPlacement windowed;
};

// The values a missing save file stands for, in every saved setting (those of
// the settings file beside it included) and the viewpoint (position,
// orientation, speed level); nothing else changes.
void applyDefaultSettings(Settings& settings, Viewpoint& view);

// ---- derived from the settings

// The six channel constants of the channel wavelengths.
ChannelConstants channelConstants(const Settings& settings);

// What the star field is asked to work with.
StarFieldSettings starFieldSettings(const Settings& settings);

// The label lines the found stars get: the second choice counts only with
// the first.
void labelChoices(const Settings& settings, uint8_t out[LABEL_CHOICES]);
// True when a label shows the distance, which changes as the viewpoint moves.
bool labelsShowDistance(const Settings& settings);

// The display value the diffuse background light is scaled by for a star
// display displayHeight pixels high showing viewAngle degrees:
// (h x 360 / viewAngle)^2 / pi, h x 360 taken as a 32-bit integer.
double backgroundDisplayValue(int displayHeight, double viewAngle);

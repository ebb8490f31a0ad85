// The state the user edits: settings, viewpoint, what the control panel shows
// and the change flags that tell the rest of the program what to redo. A plain
// struct with no window, renderer or panel in it, so that the panel, the save
// file and the tests can all work on it alone.
#pragma once

#include <cstdint>
#include <string>

#include "starfield/navigation.h"

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

// The five change flags a star-field pass consumes, in hand-off order.
struct ChangeFlags {
    uint8_t viewpointMoved;
    uint8_t settingsChanged;
    uint8_t reserved;  // never set
    uint8_t swapChainRecreated;
    uint8_t labelsChanged;

    bool any() const { return viewpointMoved | settingsChanged | reserved | swapChainRecreated | labelsChanged; }
};

struct AppState {
    // ---- settings (saved)
    Viewpoint view{};
    double viewAngle = 0;  // degrees
    float channelWavelength[3]{};
    float maxMagnitude = 0;
    uint32_t displayFontSize = 0;
    uint32_t controlFontScale = 0;
    bool panelOnRight = false;
    bool showCrosshair = false;
    bool multisampling = false;

    // ---- display settings (not saved)
    int backgroundMode = 2;  // 0 "(none)", 1 "Low Q", 2 "Normal"
    int starShape = 1;       // 0 "Circle", 1 "Fuzzy"
    float brightness = 1.0f;
    // The exposure of the star display: fixed (the factor `exposure`, 1
    // unless --exposure sets another), or automatic, following the light of
    // the picture (the brightness then works as a correction of it).
    bool autoExposure = false;
    float exposure = 1.0f;
    float maximumCircleSize = 20.0f;  // largest near-star shape radius, pixels
    int starLabel[2] = {1, 0};
    bool fullScreen = true;
    int windowedWidth = WINDOWED_WIDTH, windowedHeight = WINDOWED_HEIGHT;
    int windowedX = 100, windowedY = 100;

    // ---- derived from the settings
    float channelIntensity[3]{};  // a[i] = (1 / wavelength)^4 x 2hc^2
    float channelExponent[3]{};   // b[i] = (hc / k) / wavelength

    // ---- run-time state
    std::string version;
    int framebufferWidth = 0, framebufferHeight = 0;
    int displayWidth = 0, displayHeight = 0;  // the star display, both odd
    bool keyDown[navkey::COUNT]{};
    uint64_t lastFrameTime = 0;
    float framesPerSecond = 0;  // of the last two frames drawn back to back
    // The main loop's pace (see app/loop_rule.h).
    uint32_t framesSinceInput = 0;  // frames drawn since the last window event
    uint64_t lastInputTime = 0;     // steady clock (steadyClockNs), of the last window event
    bool waitedSinceFrame = false;  // the loop waited after the last frame
    int64_t previousPosition[3]{};
    std::string saveDirectory;
    std::string lastError;

    // ---- the control panel
    int panelWidth = 0;
    float charSize[2]{};  // width of "0" in whole pixels, line height
    int currentPage = 0;  // index into the page combo
    bool helpShown = false;  // the "?" toggle
    bool infoShown = false;  // the Catalog page's " i ##info" toggle
    int infoPage = 0;        // the Information page's sub-page
    int selectedResult = 0;  // the catalog's selected entry; 0: none
    int sortChoice = 0;      // the catalog's sort order: "Distance"
    int64_t lastSearchPosition[3]{};
    char findText[64]{};      // the Catalog page's "Find:" field
    std::string findMessage;  // what the last Find or Copy of a name did
    std::string placeMessage;  // what the Navigation page's last Copy or Paste did
    // The text block the panel shows this frame (help screen, information
    // page, licences, star information; 0: none), and whether the block of
    // that id must be laid out again although its id did not change.
    int textBlockId = 0;
    bool refreshTextBlock = false;
    bool hideStarDisplay = false;
    int helpMarginRequested = 0;  // width of an open help screen beside the panel
    uint32_t starsDisplayed = 0;  // points on display, from the last collected pass
    // What the panel asks the program to do once it is built: the view
    // limits and the display constants after a magnitude or view angle
    // change; the Navigation page's Save, Load and Reset.
    bool viewLimitsChanged = false;
    bool saveRequested = false, loadRequested = false, resetRequested = false;
    // F12 asks for a screenshot of the star display; the panel shows where
    // the last one went, or why it failed, until screenshotShownUntil
    // (lastFrameTime's clock).
    bool screenshotRequested = false;
    std::string screenshotMessage;
    uint64_t screenshotShownUntil = 0;

    // ---- change flags
    ChangeFlags changes{1, 0, 0, 0, 0};  // viewpointMoved starts set
    bool framebufferResized = false;
    bool rebuildDevicePipelines = false;
    bool labelsNeedDistance = false;
    bool redrawStars = false;  // the star draws must be re-recorded
    bool redrawPanel = false;  // the panel draws must be re-recorded
    bool running = true;
    bool saveOnExit = true;
    bool shutdownDone = false;
};

// Writes the values a missing save file stands for (the viewpoint, the view,
// the display settings and the panel's side and fonts).
void applyDefaultSettings(AppState& state);

// speed from speedLevel.
void recomputeSpeed(AppState& state);

// The six channel constants from the channel wavelengths.
void recomputeChannelConstants(AppState& state);

// The display value the diffuse background light is scaled by for a star
// display displayHeight pixels high showing viewAngle degrees:
// (h x 360 / viewAngle)^2 / pi, h x 360 taken as a 32-bit integer.
double backgroundDisplayValue(int displayHeight, double viewAngle);

// What a key event does: the speed keys, the key states, Caps Lock, and the
// cross-hair and full-screen toggles, which act on a press only. Returns
// whether full screen must be toggled. While the panel has the keyboard only
// releases count (false is returned).
bool applyKeyEvent(AppState& state, int key, int action, int mods, bool panelWantsKeyboard);

// The Application: the state the user edits, the renderer, the star-field
// engine's link, the window and the two workers, and the order in which they
// start, run frames and stop. One object exists, created by the entry
// function.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/mouse_input.h"
#include "app/star_field_link.h"
#include "app/worker_thread.h"
#include "render/imgui_backend.h"
#include "render/meshes.h"
#include "render/renderer.h"
#include "state/program_state.h"
#include "state/save_file.h"
#include "ui/text_view.h"

struct GLFWwindow;
struct LoopSituation;

// The exit status of a run whose state could not be saved at exit (1 is a
// fatal error, 2 a command-line error).
inline constexpr int EXIT_SAVE_FAILED = 3;

// What start-up or the run is doing, named in a fatal-error message; a
// failure while setting up the Vulkan device also gets the hint about
// compatible graphics cards.
struct Stage {
    const char* doing;
    bool vulkanDevice = false;
};
inline constexpr Stage STAGE_STARTING{"starting"};
inline constexpr Stage STAGE_SAVE_FOLDER{"creating the save folder"};
inline constexpr Stage STAGE_STAR_FIELD{"starting the star field"};
inline constexpr Stage STAGE_LOADING{"loading the save file"};
inline constexpr Stage STAGE_WINDOW{"opening the window"};
inline constexpr Stage STAGE_DEVICE{"setting up the Vulkan device", true};
inline constexpr Stage STAGE_PICTURE_SIZE{"checking the picture's size against the device"};
inline constexpr Stage STAGE_BUFFERS{"creating the GPU buffers"};
inline constexpr Stage STAGE_PIPELINES{"creating the shaders and pipelines"};
inline constexpr Stage STAGE_FIRST_STARS{"generating the first stars"};
inline constexpr Stage STAGE_RUNNING{"running"};
inline constexpr Stage STAGE_WAITING{"waiting for window events"};
inline constexpr Stage STAGE_FRAME{"drawing a frame"};
inline constexpr Stage STAGE_STARS{"generating the stars"};
inline constexpr Stage STAGE_PICTURE{"drawing the picture"};
inline constexpr Stage STAGE_WRITING_PICTURE{"writing the picture"};
inline constexpr Stage STAGE_SHUTDOWN{"shutting down"};

// A window event as a callback stamped it, waiting to be handled.
struct WindowEvent {
    uint64_t time = 0;  // steady clock (steadyClockNs), nanoseconds
    PanelEvent event;
    int action = 0, mods = 0;  // of a key: GLFW's press, release or repeat, and the modifiers
};

// The main loop's own state: the window's events, the keys as navigation
// follows them, the clock of the frames and the pace of the loop
// (app/loop_rule.h).
struct LoopState {
    std::vector<WindowEvent> events;     // from the callbacks, not yet handled
    std::vector<KeyEvent> flightEvents;  // handled, for navigation to follow at their times
    HeldKeys keys;                       // the keys navigation follows, and how far it has
    uint64_t lastFrameTime = 0;     // real-time clock of the last frame, nanoseconds
    uint32_t framesSinceInput = 0;  // frames drawn since the last window event
    uint64_t lastInputTime = 0;     // steady clock (steadyClockNs), of the last window event
    bool waitedSinceFrame = false;  // the loop waited after the last frame
    // The panel of the last frame is not what the next one shows: a pass was
    // collected after it was built (its counts are old), or a window of it
    // was still appearing.
    bool panelBehind = false;
    int64_t previousPosition[3]{};  // the viewpoint's integer parts at the last frame
};

struct Application {
    ProgramState state;
    LoopState loop;
    Renderer renderer;
    StarFieldLink starField;
    TextView textView;  // the text block the panel shows
    PanelInput panelInput;  // the window's events on their way to the panel
    MouseState mouse;       // the left button on the star display
    GLFWwindow* window = nullptr;
    IcosaTables icosa{};

    WorkerThread starFieldWorker;
    WorkerJob starFieldJob;
    WorkerThread panelWorker;
    WorkerJob panelJob;
    PassTracker passes;
    std::mutex stateMutex;  // save, load, reset and shutdown

    // The save file given on the command line; empty: the default one in
    // the save folder (saveDirectoryPath()), which saveDirectory holds.
    std::string saveFile;
    std::string saveDirectory;

    // What start-up or the last Load found at the save path: what a save may
    // do there (an unreadable file is moved aside first, a newer one is never
    // written over).
    SaveFileStatus saveStatus;
    bool running = true;       // the main loop goes on
    bool saveOnExit = true;    // shutdown saves the state ("Quit/nosave" and --render clear it)
    bool shutdownDone = false;
    bool saveFailedAtExit = false;  // shutdown's save failed: the program exits with EXIT_SAVE_FAILED

    Stage stage = STAGE_STARTING;

    // Time spent per part of the frame, summed over frames (nanoseconds).
    // On a CPU driver the drawing itself happens inside submit and present.
    struct FrameTimes {
        uint64_t gpuWait = 0, panel = 0, navigation = 0, starField = 0, submit = 0, present = 0, frames = 0;
    } frameTimes;

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up and shutdown, in calling order.
    void init(const Galaxy& galaxy);
    void initWindowAndRenderer();
    // One turn of the main loop: a frame when something can change the
    // picture, otherwise a wait for window events (app/loop_rule.h).
    void runLoopStep();
    // The window's events so far: keys to the state and to navigation, and
    // everything to the panel's queue.
    void handleWindowEvents();
    // A click at pixel (x, y) of the star display: selects the star there
    // (and shows its information block), or clears the selection.
    void pickAt(double x, double y);
    // The bookmarks file beside the save file: read at start-up (its
    // problems on standard error and in the panel's message area).
    void loadBookmarkFile();
    void drawFrame();
    void shutdown();

    // Drawing a picture without a window (starloom --render), after init and
    // before shutdown, in this order: the renderer for a width x height
    // picture; star-field passes until the stars around the view are
    // complete; one frame drawn, read back and written as a PNG file.
    // With linearLight the picture is the light itself as floats, written as
    // a PFM file (for the tests that check it).
    void initOffscreenRenderer(int width, int height, bool linearLight = false);
    void completeStarField();
    void renderPicture(const std::string& path, bool backgroundOnly = false);

    // After a frame drawn with a screenshot asked for (F12): writes it into
    // the pictures folder and words the panel's line about it.
    void saveScreenshot(const FrameEnd& end);

    // Settings: what follows from them, after start-up, Load and Reset.
    void applySettings();
    // The view limits for the magnitude, view angle and display height.
    void recomputeViewLimits();
    void recomputeDisplayConstants();

    // The save file: its path (saveFile, else the default), and the actions of the panel's Save, Load and
    // Reset buttons. Each holds stateMutex, clears lastError and leaves the
    // text of a failure there; Load and Reset then derive the settings
    // (applySettings). Main thread, while the panel worker waits.
    std::string savePath() const;
    // What start-up found wrong with the save file, for standard error; empty
    // when it was read whole or is absent.
    std::string saveFileNotice() const;
    void saveNow();
    void loadNow();
    void resetNow();
    // Carries out and clears what the panel asked for (save, load, reset,
    // new view limits, quitting).
    void handleRequests();
    // After Load or Reset replaced the state: what follows from it.
    void takeReplacedState();

    // Hand-off with the workers. runPanel also draws a text block the panel
    // laid out anew.
    void runPanel();
    void updateStarField();

    // The swap chain for the current window, panel and settings.
    void recreateSwapChain();
    // Where the panel and the star display lie, as the renderer laid them out.
    void setDisplayGeometry(const DisplayGeometry& geometry);
    // The snapshot of the view and display settings the renderer draws.
    FrameInput frameInput() const;
    // What the main loop decides on.
    LoopSituation loopSituation() const;
    // The device's facts as the GPU page shows them.
    void refreshGpuFacts();
};

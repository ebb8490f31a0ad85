// The Application: the state the user edits, the renderer, the star-field
// engine's link, the window and the two workers, and the order in which they
// start, run frames and stop. One object exists, created by the entry
// function.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "app/app_state.h"
#include "app/star_field_link.h"
#include "app/worker_thread.h"
#include "render/meshes.h"
#include "render/renderer.h"
#include "ui/text_view.h"

struct GLFWwindow;
struct LoopSituation;

struct Application {
    AppState state;
    Renderer renderer;
    StarFieldLink starField;
    TextView textView;  // the text block the panel shows
    GLFWwindow* window = nullptr;
    IcosaTables icosa{};

    WorkerThread starFieldWorker;
    WorkerJob starFieldJob;
    WorkerThread panelWorker;
    WorkerJob panelJob;
    PassTracker passes;
    std::mutex stateMutex;  // save, load, reset and shutdown

    // The save file given on the command line; empty: the default one in
    // the save folder (saveDirectoryPath()).
    std::string saveFile;

    // What start-up or the run is doing, named in a fatal-error message.
    const char* stage = "starting";

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
    void init(const GalaxyModel& galaxy);
    void initWindowAndRenderer();
    // One turn of the main loop: a frame when something can change the
    // picture, otherwise a wait for window events (app/loop_rule.h).
    void runLoopStep();
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

    // Settings.
    // The values of a missing save file, in the state and the star-field engine.
    void applyDefaults();
    void applySettings();
    // The view limits for the magnitude, view angle and display height.
    void recomputeViewLimits();
    void recomputeDisplayConstants();

    // The save file: its path (saveFile, else the default), and the actions of the panel's Save, Load and
    // Reset buttons. Each holds stateMutex, clears lastError and leaves the
    // text of a failure there; Load and Reset then derive the settings
    // (applySettings). Main thread, while the panel worker waits.
    std::string savePath() const;
    void saveNow();
    void loadNow();
    void resetNow();
    // Carries out and clears the Save, Load and Reset requests the panel left
    // in the state (saveRequested, loadRequested, resetRequested).
    void handleSaveFileRequests();
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

// Where the save file lives: $XDG_DATA_HOME (or ~/.local/share) + "/tarnwick/".
std::string saveDirectoryPath();

#include "app/application.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>

#include "state/save_file.h"
#include "numeric/constants.h"
#include "starloom_version.h"
#include "starfield/pick.h"
#include "ui/control_panel.h"
#include "ui/places.h"
#include "text/info_pages.h"

namespace {

SaveTarget saveTarget(ProgramState& state) { return {&state.settings, &state.view}; }

// Lines of the settings file beside the save file that could not be read:
// they are kept in the file, and said on standard error.
void reportSettingsProblems(const SaveFileStatus& status) {
    for (const std::string& problem : status.settingsProblems) std::fprintf(stderr, "starloom: %s\n", problem.c_str());
}

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

// The panel is built on a thread of its own while the main thread waits for
// it: the two never run at once, so this buys no concurrency today. The
// thread is there so that the panel's build can move beside the frame (for
// example while the GPU draws) without changing what the panel may touch.
void panelJobBody(void* owner) {
    Application& app = *static_cast<Application*>(owner);
    buildControlPanel(app.state, *app.starField.engine, &app.textView);
}

void preparePassHook(void* owner, const ChangeFlags& changes) {
    Application& app = *static_cast<Application*>(owner);
    preparePass(app.starField, app.state, changes);
}

bool unfinishedHook(void* owner) { return starFieldUnfinished(&static_cast<Application*>(owner)->starField); }

}  // namespace

Application::Application() { state.status.version = STARLOOM_VERSION; }

Application::~Application() {
    // shutdown() has normally joined both workers; after a fatal error it may
    // not have run, and a joinable thread would abort the process instead of
    // letting the error be reported.
    stopWorker(panelWorker);
    stopWorker(starFieldWorker);
    // Renderer first, then the panel's context, the window and the engine.
    destroyRenderer(renderer);
    destroyPanelContext();
    if (window != nullptr) {
        glfwDestroyWindow(window);
        glfwTerminate();
        window = nullptr;
    }
    starField.engine.reset();
}

void Application::init(const Galaxy& galaxy) {
    stage = STAGE_SAVE_FOLDER;
    saveDirectory = dataFolderOf(saveFile);
    if (!saveDirectory.empty()) std::filesystem::create_directories(saveDirectory);

    stage = STAGE_STAR_FIELD;
    starFieldJob.owner = &starField;
    starFieldJob.work = runStarFieldPass;
    launchWorker(starFieldWorker, starFieldJob);

    createStarField(starField, galaxy);

    panelJob.owner = this;
    panelJob.work = panelJobBody;
    launchWorker(panelWorker, panelJob);

    loop.keys = HeldKeys{};
    state.status.lastError.clear();

    // The defaults first, so that a file that fails part-way leaves every
    // field it did not reach at a usable value; then the file. A missing file
    // is no error.
    stage = STAGE_LOADING;
    applyDefaultSettings(state.settings, state.view);
    saveStatus = loadSaveFile(savePath(), saveTarget(state));
    if (saveStatus.condition != SaveFileCondition::ABSENT) state.status.lastError = saveStatus.problem;
    reportSettingsProblems(saveStatus);
    // No save file yet: the first start, which shows how to fly.
    state.panel.flightHint = saveStatus.condition == SaveFileCondition::ABSENT;

    loop.lastFrameTime = nowNanoseconds() - 1;
    loop.keys.clock = steadyClockNs();
    state.view.capsLock = false;
    state.settings.starLabel[0] = LABEL_NAME;
    loadBookmarkFile();
}

void Application::loadBookmarkFile() {
    state.bookmarksPath = bookmarksPath(saveDirectory);
    std::vector<std::string> problems;
    loadBookmarks(state.bookmarksPath, state.bookmarks, problems);
    state.changes.labelsChanged = 1;  // their marks on the sky
    for (const std::string& p : problems) std::fprintf(stderr, "starloom: %s\n", p.c_str());
    if (!problems.empty()) {
        showMessage(state, problems.size() == 1 ? problems[0]
                                                : std::to_string(problems.size()) + " lines of " + state.bookmarksPath +
                                                      " could not be read; they are kept as they are.",
                    nowNanoseconds());
    }
}

void Application::pickAt(double x, double y) {
    PickView view;
    view.display.forward = state.view.forward;
    view.display.up = state.view.up;
    view.display.viewAngle = state.settings.viewAngle;
    view.display.width = std::max(1, state.status.displayWidth);
    view.display.height = std::max(1, state.status.displayHeight);
    for (int a = 0; a < 3; ++a) view.eye[a] = state.view.position[a].integer;
    view.luminosityConst = pointLuminosityConstant(starField.limits.limitScale, state.settings.brightness);
    view.maximumCircleSize = state.settings.maximumCircleSize;
    view.foregroundRadiusFactor = toDouble(SUN_RADIUS);
    PickedStar picked;
    if (!pickStar(*starField.engine, view, x, y, picked)) {
        clearSelection(state);
        return;
    }
    selectStar(state, picked.found);
    state.panel.infoShown = true;
    showMessage(state,
                std::string(picked.found.name) + ":" + starDistanceText(std::sqrt(picked.found.distanceSquared)) + ".",
                nowNanoseconds());
}

std::string Application::savePath() const { return saveFile.empty() ? saveDirectory + SAVE_FILE_NAME : saveFile; }

std::string Application::saveFileNotice() const {
    const std::string path = savePath();
    switch (saveStatus.condition) {
        case SaveFileCondition::UNREADABLE:
            return "the save file " + path + " could not be read (" + saveStatus.problem +
                   "); it is kept, and moved aside before the state is saved";
        case SaveFileCondition::NEWER:
            return "the save file " + path + " is of a newer version of Starloom; it is never written over, "
                   "so the state will not be saved";
        case SaveFileCondition::NOT_A_FILE:
            return path + ": " + saveStatus.problem;
        default:
            return "";
    }
}

namespace {

// The line about an unreadable save file kept under another name.
std::string movedAsideText(const std::string& movedTo) {
    return "The save file could not be read; it was kept as " + movedTo + " and the state saved anew.";
}

}  // namespace

void Application::saveNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    state.status.lastError.clear();
    try {
        std::string movedTo;
        saveGuarded(savePath(), saveTarget(state), saveStatus, std::time(nullptr), movedTo);
        showMessage(state, "Saved: the place, the view and the settings.", nowNanoseconds());
        if (!movedTo.empty()) {
            state.status.lastError = movedAsideText(movedTo);
            std::fprintf(stderr, "starloom: %s\n", state.status.lastError.c_str());
        }
    } catch (const std::exception& e) {
        state.status.lastError = e.what();
    }
}

void Application::loadNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    // A file that cannot be opened is reported too: a Load that loads nothing
    // must not look like one that worked.
    saveStatus = loadSaveFile(savePath(), saveTarget(state));
    state.status.lastError = saveStatus.condition == SaveFileCondition::READ ? "" : saveStatus.problem;
    reportSettingsProblems(saveStatus);
    if (saveStatus.condition == SaveFileCondition::READ) {
        showMessage(state, "Loaded the saved place, view and settings.", nowNanoseconds());
    }
    // Also after a failure: the fields read before it are in force.
    takeReplacedState();
}

void Application::resetNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    state.status.lastError.clear();
    applyDefaultSettings(state.settings, state.view);
    takeReplacedState();
    showMessage(state, "Back at the start, with the default settings.", nowNanoseconds());
}

void Application::takeReplacedState() {
    // A journey of the old view ends with it; the labels and an open text
    // block follow the (possibly) new display font; the rest is derived.
    state.view.flyingToTarget = false;
    state.view.turningToTarget = false;
    state.changes.labelsChanged = 1;
    state.panel.refreshTextBlock = true;
    applySettings();
}

void Application::handleRequests() {
    Requests& asked = state.requests;
    if (asked.viewLimits) {
        recomputeViewLimits();
        recomputeDisplayConstants();
    }
    // The save file no longer touches the star field: Load and Reset hand
    // their settings to the next pass like any other change.
    if (asked.save) saveNow();
    // Load and Reset are jumps: Back returns to the place they leave.
    if (asked.load || asked.reset) rememberJump(state);
    if (asked.load) loadNow();
    if (asked.reset) resetNow();
    if (asked.back || asked.forward) {
        std::string message;
        if (asked.back) goBack(state, *starField.engine, message);
        if (asked.forward) goForward(state, *starField.engine, message);
        showMessage(state, message, nowNanoseconds());
    }
    if (asked.quit) running = false;
    if (asked.quitWithoutSaving) saveOnExit = false;
    asked.viewLimits = asked.save = asked.load = asked.reset = asked.quit = asked.quitWithoutSaving = false;
    asked.back = asked.forward = false;
}

void Application::recomputeViewLimits() {
    ::recomputeViewLimits(starField, state.settings.maxMagnitude, state.settings.viewAngle, state.status.displayHeight);
    state.changes.settingsChanged = 1;
}

void Application::recomputeDisplayConstants() {
    // A display not measured yet counts as the windowed height, as for the
    // view limits: a height of 0 would make the light infinite.
    const int height = state.status.displayHeight > 0 ? state.status.displayHeight : DEFAULT_DISPLAY_HEIGHT;
    recomputeBackgroundLight(starField, channelConstants(state.settings),
                             backgroundDisplayValue(height, state.settings.viewAngle),
                             state.settings.diffuseColour == DiffuseColour::Populations);
}

void Application::applySettings() {
    state.redraw.rebuildDevicePipelines = true;
    // Directions that are already orthonormal keep every bit (a place pasted
    // or loaded is exactly the place copied or saved).
    if (!isOrthonormal(state.view.forward, state.view.up, 1e-12)) orthonormalise(state.view.forward, state.view.up);
    recomputeViewLimits();
    recomputeDisplayConstants();
}

void Application::runPanel() {
    if (state.panel.currentPage == PAGE_INFORMATION && state.panel.infoPage == INFO_GPU) refreshGpuFacts();
    preparePanelFrame(panelInput);
    startJob(panelWorker);
    waitForJob(panelWorker);
    loop.panelBehind = imguiWindowsSettling();
    if (textView.rebuilt) {
        const TextBlock& block = textView.block;
        renderTextBlock(renderer, block.vertices.data(), block.vertexCount, block.width, block.height);
    }
}

void Application::updateStarField() {
    // A change waits for the next pass: the running one has done enough.
    if (starFieldJob.running.load() && (state.changes.any() || passes.restartPending)) requestPassResults(starField);
    // A pass collected and uploaded here is followed at once by the next one,
    // when there is one to start, so that the worker goes on generating while
    // this frame is drawn instead of waiting for the next frame.
    for (int round = 0; round < 2; ++round) {
        const bool collected =
            updateStarFieldHandOff(passes, state.changes, starFieldWorker, {unfinishedHook, preparePassHook, this});
        if (!collected) return;
        waitIdle(renderer);
        StarField& engine = *starField.engine;
        uploadStarFieldResults(renderer, engine.results, engine.nearList, starField.input.position);
        publishPassResults(starField);
        // The panel of this frame was built before the pass was collected:
        // one more frame shows its count, even when nothing else moves.
        if (state.status.starsDisplayed != starField.starsDisplayed) loop.panelBehind = true;
        state.status.starsDisplayed = starField.starsDisplayed;
        // Waiting for every pass: one start per frame.
        if (passes.waitForPass) return;
    }
}

void Application::recreateSwapChain() {
    const int panelWidthBase = measurePanel(state);
    const Settings& set = state.settings;
    const SwapChainSettings settings{set.multisampling, panelWidthBase, set.panelOnRight, set.backgroundMode};
    const DisplayGeometry g = ::recreateSwapChain(renderer, settings, state.redraw.rebuildDevicePipelines);
    state.redraw.rebuildDevicePipelines = false;
    setDisplayGeometry(g);
    // The star field sizes stars on screen by the display height.
    recomputeViewLimits();
    recomputeDisplayConstants();
}

void Application::setDisplayGeometry(const DisplayGeometry& g) {
    state.status.framebufferWidth = g.framebufferWidth;
    state.status.framebufferHeight = g.framebufferHeight;
    state.panel.width = g.panelWidth;
    state.status.displayWidth = g.displayWidth;
    state.status.displayHeight = g.displayHeight;
}

FrameInput Application::frameInput() const {
    FrameInput in;
    for (int a = 0; a < 3; ++a) in.position[a] = state.view.position[a].integer;
    in.forward = state.view.forward;
    in.up = state.view.up;
    const Settings& set = state.settings;
    in.viewAngle = set.viewAngle;
    in.brightness = set.brightness;
    in.autoExposure = set.exposureMode == ExposureMode::Auto;
    in.exposure = set.exposure;
    in.maximumCircleSize = set.maximumCircleSize;
    in.showCrosshair = set.showCrosshair;
    in.backgroundMode = set.backgroundMode;
    in.starShape = set.starShape;
    in.panelOnRight = set.panelOnRight;
    in.redrawStars = state.redraw.stars;
    in.redrawPanel = state.redraw.panel;
    in.capture = state.requests.screenshot;
    in.starField = &starField.draw;
    in.highlightStyle = &starField.highlightStyle;
    return in;
}

void Application::refreshGpuFacts() {
    const DeviceFacts device = deviceFacts(renderer);
    GpuFacts& gpu = textView.gpu;
    gpu.apiVersion = device.apiVersion;
    gpu.deviceName = device.name;
    gpu.heaps.clear();
    for (uint32_t i = 0; i < device.memory.memoryHeapCount; ++i) {
        gpu.heaps.push_back({device.memory.memoryHeaps[i].flags, device.memory.memoryHeaps[i].size});
    }
    gpu.memoryTypes.clear();
    for (uint32_t i = 0; i < device.memory.memoryTypeCount; ++i) {
        gpu.memoryTypes.push_back({device.memory.memoryTypes[i].propertyFlags, device.memory.memoryTypes[i].heapIndex});
    }
    gpu.allMemoryHostVisible = device.allMemoryHostVisible;
    gpu.shaderFloat64 = device.shaderFloat64;
    gpu.maxUniformBufferRange = device.maxUniformBufferRange;
    gpu.sampleCount = static_cast<uint32_t>(device.samplesInUse);
    gpu.supportedSampleCounts = device.supportedSamples;
    gpu.screenWidth = static_cast<uint32_t>(state.status.framebufferWidth);
    gpu.screenHeight = static_cast<uint32_t>(state.status.framebufferHeight);
    gpu.hostCopies = device.hostCopies;
    gpu.gpuCopies = device.gpuCopies;
    textView.maxImageSize = static_cast<int>(device.maxImageSize);
}

void Application::shutdown() {
    std::lock_guard<std::mutex> guard(stateMutex);
    if (shutdownDone) return;
    shutdownDone = true;
    stage = STAGE_SHUTDOWN;
    // A running pass ends at its next bucket: the save below and the
    // worker's stop wait for it.
    requestPassResults(starField);
    if (saveOnExit && starField.engine != nullptr) {
        // Nobody is left to show a failure on the panel: it goes to standard
        // error, and the exit status says it.
        try {
            std::string movedTo;
            saveGuarded(savePath(), saveTarget(state), saveStatus, std::time(nullptr), movedTo);
            if (!movedTo.empty()) std::fprintf(stderr, "starloom: %s\n", movedAsideText(movedTo).c_str());
        } catch (const std::exception& e) {
            saveFailedAtExit = true;
            std::fprintf(stderr, "Error: the state could not be saved to %s: %s\n", savePath().c_str(), e.what());
        }
    }
    waitIdle(renderer);
    stopWorker(panelWorker);
    stopWorker(starFieldWorker);
}

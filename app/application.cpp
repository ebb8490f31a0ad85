#include "app/application.h"

#include <GLFW/glfw3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "app/save_file.h"
#include "numeric/constants.h"
#include "starloom_version.h"
#include "ui/control_panel.h"
#include "ui/info_pages.h"

namespace {

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

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

Application::Application() { state.version = STARLOOM_VERSION; }

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

std::string saveDirectoryPath() {
    const std::string folder = std::string("/") + BRAND_FOLDER + "/";
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] != '\0') {
        return std::string(data) + folder;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/share" + folder;
    }
    return std::string(".") + folder;
}

void Application::init(const GalaxyModel& galaxy) {
    stage = "creating the save folder";
    if (saveFile.empty()) {
        state.saveDirectory = saveDirectoryPath();
    } else {
        const std::filesystem::path parent = std::filesystem::path(saveFile).parent_path();
        state.saveDirectory = parent.empty() ? std::string() : parent.string() + "/";
    }
    if (!state.saveDirectory.empty()) std::filesystem::create_directories(state.saveDirectory);

    stage = "starting the star field";
    starFieldJob.owner = &starField;
    starFieldJob.work = runStarFieldPass;
    launchWorker(starFieldWorker, starFieldJob);

    createStarField(starField, galaxy);

    panelJob.owner = this;
    panelJob.work = panelJobBody;
    launchWorker(panelWorker, panelJob);

    for (bool& k : state.keyDown) k = false;
    state.lastError.clear();

    // The defaults first, so that a file that fails part-way leaves every
    // field it did not reach at a usable value; then the file. A missing file
    // is no error.
    stage = "loading the save file";
    applyDefaults();
    try {
        std::string errorText;
        const int error = loadState(savePath(), errorText, saveTargetFor(state, *starField.engine));
        if (error != 0 && error != ENOENT) state.lastError = errorText;
    } catch (const std::exception& e) {
        state.lastError = e.what()[0] != '\0' ? e.what() : "Unknown exception";
    }

    state.lastFrameTime = nowNanoseconds() - 1;
    state.view.capsLock = false;
    state.starLabel[0] = 1;
}

void Application::applyDefaults() {
    if (starField.engine != nullptr) {
        ::applyDefaults(saveTargetFor(state, *starField.engine));
    } else {
        applyDefaultSettings(state);  // before init: no engine yet
    }
}

std::string Application::savePath() const { return saveFile.empty() ? state.saveDirectory + SAVE_FILE_NAME : saveFile; }

void Application::saveNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    state.lastError.clear();
    try {
        saveState(savePath(), saveTargetFor(state, *starField.engine));
    } catch (const std::exception& e) {
        state.lastError = e.what();
    }
}

void Application::loadNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    state.lastError.clear();
    try {
        // A file that cannot be opened is reported too: a Load that loads
        // nothing must not look like one that worked.
        std::string errorText;
        if (loadState(savePath(), errorText, saveTargetFor(state, *starField.engine)) != 0)
            state.lastError = errorText;
    } catch (const std::exception& e) {
        state.lastError = e.what();
    }
    // Also after a failure: the fields read before it are in force.
    takeReplacedState();
}

void Application::resetNow() {
    std::lock_guard<std::mutex> guard(stateMutex);
    state.lastError.clear();
    applyDefaults();
    takeReplacedState();
}

void Application::takeReplacedState() {
    // A journey of the old view ends with it; the labels and an open text
    // block follow the (possibly) new display font; the rest is derived.
    state.view.flyingToTarget = false;
    state.view.turningToTarget = false;
    state.changes.labelsChanged = 1;
    state.refreshTextBlock = true;
    applySettings();
}

void Application::handleSaveFileRequests() {
    // The save file takes the generation lock: a pass that would run until
    // collected ends at its next bucket instead.
    if (state.saveRequested || state.loadRequested || state.resetRequested) requestPassResults(starField);
    if (state.saveRequested) saveNow();
    if (state.loadRequested) loadNow();
    if (state.resetRequested) resetNow();
    state.saveRequested = state.loadRequested = state.resetRequested = false;
}

void Application::recomputeViewLimits() {
    ::recomputeViewLimits(starField, state.maxMagnitude, state.viewAngle, state.displayHeight);
    state.changes.settingsChanged = 1;
}

void Application::recomputeDisplayConstants() {
    recomputeBackgroundLight(starField, state, backgroundDisplayValue(state.displayHeight, state.viewAngle));
}

void Application::applySettings() {
    state.rebuildDevicePipelines = true;
    // Directions that are already orthonormal keep every bit (a place pasted
    // or loaded is exactly the place copied or saved).
    if (!isOrthonormal(state.view.forward, state.view.up, 1e-12)) orthonormalise(state.view.forward, state.view.up);
    recomputeChannelConstants(state);
    recomputeSpeed(state);
    recomputeViewLimits();
    recomputeDisplayConstants();
}

void Application::runPanel() {
    if (state.currentPage == PAGE_INFORMATION && state.infoPage == INFO_GPU) refreshGpuFacts();
    preparePanelFrame();
    startJob(panelWorker);
    waitForJob(panelWorker);
    if (textView.rebuilt) {
        const TextBlock& block = textView.block;
        renderTextBlock(renderer, block.vertices.data(), block.vertexCount, block.width, block.height);
    }
    if (state.viewLimitsChanged) {
        state.viewLimitsChanged = false;
        recomputeViewLimits();
        recomputeDisplayConstants();
    }
}

void Application::updateStarField() {
    // A change waits for the next pass: the running one has done enough.
    if (starFieldJob.running.load() && (state.changes.any() || passes.restartPending)) requestPassResults(starField);
    // A pass collected and uploaded here is followed at once by the next one,
    // when there is one to start, so that the worker goes on generating while
    // this frame is drawn instead of waiting for the next frame.
    for (int round = 0; round < 2; ++round) {
        // New view limits reach the engine only between passes.
        if (!starFieldJob.running.load()) handOverViewLimits(starField);
        const bool collected =
            updateStarFieldHandOff(passes, state.changes, starFieldWorker, {unfinishedHook, preparePassHook, this});
        if (!collected) return;
        waitIdle(renderer);
        StarField& engine = *starField.engine;
        uploadStarFieldResults(renderer, engine.results, engine.nearList, starField.input.position);
        publishPassResults(starField);
        state.starsDisplayed = starField.starsDisplayed;
        // Waiting for every pass: one start per frame, as before.
        if (passes.waitForPass) return;
    }
}

void Application::recreateSwapChain() {
    const int panelWidthBase = measurePanel(state);
    const SwapChainSettings settings{state.multisampling, panelWidthBase, state.panelOnRight, state.backgroundMode,
                                     state.helpMarginRequested};
    const DisplayGeometry g = ::recreateSwapChain(renderer, settings, state.rebuildDevicePipelines);
    state.rebuildDevicePipelines = false;
    setDisplayGeometry(g);
    // The star field sizes stars on screen by the display height.
    recomputeViewLimits();
    recomputeDisplayConstants();
}

void Application::setDisplayGeometry(const DisplayGeometry& g) {
    state.framebufferWidth = g.framebufferWidth;
    state.framebufferHeight = g.framebufferHeight;
    state.panelWidth = g.panelWidth;
    state.displayWidth = g.displayWidth;
    state.displayHeight = g.displayHeight;
}

FrameInput Application::frameInput() const {
    FrameInput in;
    for (int a = 0; a < 3; ++a) in.position[a] = state.view.position[a].integer;
    in.forward = state.view.forward;
    in.up = state.view.up;
    in.viewAngle = state.viewAngle;
    in.brightness = state.brightness;
    in.autoExposure = state.autoExposure;
    in.exposure = state.exposure;
    in.maximumCircleSize = state.maximumCircleSize;
    in.showCrosshair = state.showCrosshair;
    in.hideStarDisplay = state.hideStarDisplay;
    in.backgroundMode = state.backgroundMode;
    in.starShape = state.starShape;
    in.helpMargin = state.helpMarginRequested;
    in.panelOnRight = state.panelOnRight;
    in.redrawStars = state.redrawStars;
    in.redrawPanel = state.redrawPanel;
    in.capture = state.screenshotRequested;
    in.starField = &starField.draw;
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
    gpu.screenWidth = static_cast<uint32_t>(state.framebufferWidth);
    gpu.screenHeight = static_cast<uint32_t>(state.framebufferHeight);
    gpu.hostCopies = device.hostCopies;
    gpu.gpuCopies = device.gpuCopies;
    textView.maxImageSize = static_cast<int>(device.maxImageSize);
}

void Application::shutdown() {
    std::lock_guard<std::mutex> guard(stateMutex);
    if (state.shutdownDone) return;
    state.shutdownDone = true;
    stage = "shutting down";
    // A running pass ends at its next bucket: the save below and the
    // worker's stop wait for it.
    requestPassResults(starField);
    if (state.saveOnExit && starField.engine != nullptr) {
        // Nobody is left to show a failure on the panel: it goes to standard error.
        try {
            saveState(savePath(), saveTargetFor(state, *starField.engine));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Error: the state could not be saved to %s: %s\n", savePath().c_str(), e.what());
        }
    }
    waitIdle(renderer);
    stopWorker(panelWorker);
    stopWorker(starFieldWorker);
}

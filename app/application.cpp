#include "app/application.h"

#include <GLFW/glfw3.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "numeric/constants.h"
#include "render/renderer.h"
#include "starfield/appearance.h"
#include "starfield/star_field.h"
#include "render/vk_check.h"
#include "ui/control_panel.h"

namespace {

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

void panelJobBody(void* owner) { buildControlPanel(*static_cast<Application*>(owner)); }

}  // namespace

Application::Application() = default;

Application::~Application() {
    // shutdown() has normally joined both workers; after a fatal error it may
    // not have run, and a joinable thread would abort the process instead of
    // letting the error be reported.
    stopWorker(panelWorker);
    stopWorker(starFieldWorker);
    // Renderer first, then the engine.
    cleanupRenderer(*this);
    destroyStarField(*this);
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
    saveDirectory = saveDirectoryPath();
    std::filesystem::create_directories(saveDirectory);

    starFieldJob.owner = this;
    starFieldJob.work = runStarFieldPass;
    launchWorker(starFieldWorker, starFieldJob);

    createStarField(*this, galaxy);

    panelJob.owner = this;
    panelJob.work = panelJobBody;
    launchWorker(panelWorker, panelJob);

    for (bool& k : keyDown) k = false;
    lastError.clear();

    // The save file arrives with its own module; until then start-up always
    // takes the defaults of a missing file.
    applyDefaults();

    lastFrameTime = nowNanoseconds() - 1;
    view.capsLock = false;
    starLabel[0] = 1;
}

void Application::applyDefaults() {
    for (int i = 0; i < 3; ++i) view.position[i] = {0, DEFAULT_VIEWPOINT[i]};
    view.forward = {0.11452456541239872, 0.9923381374686082, 0.04635887015917146};
    view.up = {-0.2337868985261635, 0.07227757620959413, -0.9695976681360078};
    viewAngle = 45.0;
    channelWavelength[0] = 6.5e-7f;
    channelWavelength[1] = 5.5e-7f;
    channelWavelength[2] = 4.5e-7f;
    maxMagnitude = 12.0f;
    view.speedLevel = 40;
    displayFontSize = 3;
    controlFontScale = 1;
    panelOnRight = true;
    showCrosshair = true;
    multisampling = true;
    // Galaxy seed (1, 3) and the capacities (16 chunks, 10,000,000 and
    // 3,000,000 stars) are the star-field engine's own defaults.
}

void Application::recomputeSpeed() { view.speed = speedFromLevel(view.speedLevel); }

void Application::recomputeChannelConstants() {
    const ChannelConstants channels = channelConstantsFor(channelWavelength);
    for (int i = 0; i < 3; ++i) {
        channelIntensity[i] = channels.intensity[i];
        channelExponent[i] = channels.exponent[i];
    }
}

void Application::recomputeComponentTables() {
    recomputeViewLimits(*this);
    changes.settingsChanged = 1;
}

void Application::recomputeDisplayConstants() {
    // (h x 360 / viewAngle)^2 / pi, h x 360 taken as a 32-bit integer.
    const int32_t scaled = static_cast<int32_t>(displayHeight) * 360;
    const double perDegree = scaled / viewAngle;
    recomputeBackgroundLight(*this, perDegree * perDegree / 3.141592653589793);
}

void Application::applySettings() {
    rebuildDevicePipelines = true;
    orthonormalise(view.forward, view.up);
    recomputeChannelConstants();
    recomputeSpeed();
    recomputeComponentTables();
    recomputeDisplayConstants();
}

void Application::markAllForRedraw(int which) {
    for (auto& flags : vk.redraw) flags[which] = 1;
}

void Application::runPanel() {
    preparePanelFrame(*this);
    startJob(panelWorker);
    waitForJob(panelWorker);
}

void Application::updateStarField() {
    // New view limits reach the engine only between passes.
    if (!starFieldJob.running.load()) handOverViewLimits(*this);
    const bool collected = updateStarFieldHandOff(passes, changes, starField.request, starFieldWorker,
                                                  starFieldUnfinished, this);
    if (collected) {
        checkVkResult(vkDeviceWaitIdle(vk.device));
        uploadStarFieldResults(*this);
    }
}

void Application::shutdown() {
    std::lock_guard<std::mutex> guard(stateMutex);
    if (shutdownDone) return;
    shutdownDone = true;
    if (saveOnExit) {
        try {
            // Writing the save file belongs to the save-file module; nothing
            // to write yet.
        } catch (...) {
        }
    }
    if (vk.device != VK_NULL_HANDLE) checkVkResult(vkDeviceWaitIdle(vk.device));
    stopWorker(panelWorker);
    stopWorker(starFieldWorker);
    destroyBuffer(staging.midground);
    destroyBuffer(staging.highlight);
    destroyBuffer(staging.label);
    destroyBuffer(staging.nearStars);
    destroyBuffer(staging.reserved[0]);
    destroyBuffer(staging.reserved[1]);
}

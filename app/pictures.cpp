// Pictures of the star display: a screenshot of the window's (F12), and a
// picture drawn without a window (starloom --render).
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "app/application.h"
#include "app/screenshot.h"
#include "display_font_data.h"
#include "render/png_file.h"

namespace {

// How long the panel shows where a screenshot went.
constexpr uint64_t SCREENSHOT_MESSAGE_NS = 10'000'000'000ull;

}  // namespace

void Application::saveScreenshot(const FrameEnd& end) {
    state.screenshotRequested = false;
    ScreenshotResult result;
    if (!end.captureError.empty()) {
        result.error = end.captureError;
    } else {
        result = writeScreenshot(end.picture, screenshotFolder(), std::time(nullptr));
    }
    state.screenshotMessage = screenshotMessage(result, std::getenv("HOME"));
    state.screenshotShownUntil = state.lastFrameTime + SCREENSHOT_MESSAGE_NS;
    state.redrawPanel = true;
}

void Application::initOffscreenRenderer(int width, int height, bool linearLight) {
    stage = "setting up the Vulkan device";
    const PicturePlan plan = openOffscreenDevice(renderer, width, height, state.multisampling, linearLight);
    // Before anything of the picture's size exists or the stars are made.
    stage = "checking the picture's size against the device";
    if (!plan.problem.empty()) throw std::runtime_error(plan.problem);
    stage = "setting up the Vulkan device";
    createOffscreenDevice(renderer, plan);

    stage = "creating the GPU buffers";
    createDrawResources(renderer, icosa, {&starField.galaxy->ellipsoids, &starField.galaxy->armChains},
                        state.starShape, builtinDisplayFont());

    stage = "creating the shaders and pipelines";
    // No panel: the star display is the whole picture.
    setDisplayGeometry(createPipelines(renderer, {state.multisampling, 0, state.panelOnRight, state.backgroundMode, 0}));
    applySettings();
}

void Application::completeStarField() {
    stage = "generating the stars";
    // One pass without a time budget does what the window's frames spread
    // over many passes; the loop only guards against a pass that still stops.
    starField.engine->frameTimeoutNs = UINT64_MAX;
    handOverViewLimits(starField);
    preparePass(starField, state, state.changes);
    state.changes = ChangeFlags{};
    do {
        runStarFieldPass(&starField);
        waitIdle(renderer);
        StarField& engine = *starField.engine;
        uploadStarFieldResults(renderer, engine.results, engine.nearList, starField.input.position);
        publishPassResults(starField);
        preparePass(starField, state, ChangeFlags{});
    } while (starFieldUnfinished(&starField));
    state.starsDisplayed = starField.starsDisplayed;
}

void Application::renderPicture(const std::string& path, bool backgroundOnly) {
    stage = "drawing the picture";
    FrameInput input = frameInput();
    // A picture of the sky: the cross-hair is an aiming aid of the window.
    input.showCrosshair = false;
    input.redrawStars = true;
    input.backgroundOnly = backgroundOnly;
    const Picture picture = drawOffscreen(renderer, input);

    stage = "writing the picture";
    std::string error;
    const bool written = picture.linear.empty()
                             ? writePng(path, picture.width, picture.height, 3, picture.rgb.data(), error)
                             : writePfm(path, picture.width, picture.height, picture.linear.data(), error);
    if (!written) throw std::runtime_error(error);
}

// Pictures of the star display: a screenshot of the window's (F12), and a
// picture drawn without a window (starloom --render).
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "app/application.h"
#include "app/screenshot.h"
#include "display_font_data.h"
#include "files/png_file.h"

void Application::saveScreenshot(const FrameEnd& end) {
    state.requests.screenshot = false;
    ScreenshotResult result;
    if (!end.captureError.empty()) {
        result.error = end.captureError;
    } else {
        result = writeScreenshot(end.picture, screenshotFolder(), std::time(nullptr));
    }
    showMessage(state, screenshotMessage(result, std::getenv("HOME")), loop.lastFrameTime);
}

void Application::initOffscreenRenderer(int width, int height, bool linearLight) {
    stage = STAGE_DEVICE;
    const PicturePlan plan = openOffscreenDevice(renderer, width, height, state.settings.multisampling, linearLight);
    // Before anything of the picture's size exists or the stars are made.
    stage = STAGE_PICTURE_SIZE;
    if (!plan.problem.empty()) throw std::runtime_error(plan.problem);
    stage = STAGE_DEVICE;
    createOffscreenDevice(renderer, plan);

    stage = STAGE_BUFFERS;
    createDrawResources(renderer, icosa, {&starField.ellipsoids, &starField.armChains},
                        state.settings.starShape, builtinDisplayFont());

    stage = STAGE_PIPELINES;
    // No panel: the star display is the whole picture.
    const Settings& set = state.settings;
    setDisplayGeometry(createPipelines(renderer, {set.multisampling, 0, set.panelOnRight, set.backgroundMode, 0}));
    applySettings();
}

void Application::completeStarField() {
    stage = STAGE_STARS;
    // One pass without a time budget does what the window's frames spread
    // over many passes; the loop only guards against a pass that still stops.
    state.settings.frameTimeoutNs = UINT64_MAX;
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
    state.status.starsDisplayed = starField.starsDisplayed;
}

void Application::renderPicture(const std::string& path, bool backgroundOnly) {
    stage = STAGE_PICTURE;
    FrameInput input = frameInput();
    // A picture of the sky: the cross-hair is an aiming aid of the window.
    input.showCrosshair = false;
    input.redrawStars = true;
    input.backgroundOnly = backgroundOnly;
    const Picture picture = drawOffscreen(renderer, input);

    stage = STAGE_WRITING_PICTURE;
    std::string error;
    const bool written = picture.linear.empty()
                             ? writePng(path, picture.width, picture.height, 3, picture.rgb.data(), error)
                             : writePfm(path, picture.width, picture.height, picture.linear.data(), error);
    if (!written) throw std::runtime_error(error);
}

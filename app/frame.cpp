// One frame of the main loop: events, the frame slot, the panel, navigation,
// the star-field hand-off, then the renderer draws and presents.
#include <GLFW/glfw3.h>

#include <chrono>

#include "app/application.h"
#include "ui/control_panel.h"

namespace {

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

}  // namespace

void Application::drawFrame() {
    stage = "drawing a frame";
    glfwPollEvents();
    const FrameStart start = beginFrame(renderer);
    frameTimes.gpuWait += start.fenceWaitNs;
    if (!start.ok) {
        // The swap chain is out of date; a minimised window waits here until
        // it has a size again.
        int width = 0, height = 0;
        glfwGetFramebufferSize(window, &width, &height);
        while (width == 0 || height == 0) {
            glfwWaitEvents();
            glfwGetFramebufferSize(window, &width, &height);
        }
        state.changes.swapChainRecreated = 1;
        recreateSwapChain();
        return;
    }

    const uint64_t panelStart = nowNanoseconds();
    runPanel();
    handleSaveFileRequests();
    frameTimes.panel += nowNanoseconds() - panelStart;

    const uint64_t now = nowNanoseconds();
    const double dt = static_cast<double>(now - state.lastFrameTime) * 1e-9;
    state.framesPerSecond = static_cast<float>(1.0 / dt);
    state.lastFrameTime = now;

    // Moved when the position's integer parts changed since the last frame.
    bool moved = false;
    for (int a = 0; a < 3; ++a) {
        moved |= state.view.position[a].integer != state.previousPosition[a];
        state.previousPosition[a] = state.view.position[a].integer;
    }
    state.changes.viewpointMoved = moved ? 1 : 0;

    const uint64_t navigationStart = nowNanoseconds();
    // While a panel field has the keyboard the flight keys are text.
    static const bool noKeys[navkey::COUNT] = {};
    const NavigationResult nav = navigate(state.view, panelWantsKeyboard() ? noKeys : state.keyDown, dt);
    starField.velocity = nav.velocity;  // zero when no translation input is active
    if (nav.moved) state.changes.viewpointMoved = 1;
    if (nav.redraw) state.redrawStars = true;
    const uint64_t starFieldStart = nowNanoseconds();
    updateStarField();
    const uint64_t starFieldEnd = nowNanoseconds();

    const FrameEnd end = endFrame(renderer, start.imageIndex, frameInput());
    state.redrawStars = false;
    state.redrawPanel = false;
    if (end.swapChainOutOfDate || state.framebufferResized || state.rebuildDevicePipelines) {
        state.framebufferResized = false;
        recreateSwapChain();
    }

    frameTimes.navigation += starFieldStart - navigationStart;
    frameTimes.starField += starFieldEnd - starFieldStart;
    frameTimes.submit += end.submitNs;
    frameTimes.present += end.presentNs;
    ++frameTimes.frames;
}

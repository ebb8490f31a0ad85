// One turn of the main loop: a frame (events, the frame slot, the panel,
// navigation, the star-field hand-off, then the renderer draws and presents),
// or, when nothing can change the picture, a wait for window events.
#include <GLFW/glfw3.h>

#include <chrono>

#include "app/application.h"
#include "app/loop_rule.h"
#include "ui/control_panel.h"

namespace {

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

}  // namespace

LoopSituation Application::loopSituation() const {
    LoopSituation s;
    int width = 0, height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    s.windowHidden = glfwGetWindowAttrib(window, GLFW_ICONIFIED) != 0 ||
                     glfwGetWindowAttrib(window, GLFW_VISIBLE) == 0 || width == 0 || height == 0;
    for (bool down : state.keyDown) s.keyHeld = s.keyHeld || down;
    const Viewpoint& v = state.view;
    s.navigating = v.flyingToTarget || v.turningToTarget || v.goInput != 0 || v.rollInput != 0 || v.pitchInput != 0;
    s.changesPending = state.changes.any() || passes.restartPending || state.redrawStars || state.redrawPanel ||
                       state.framebufferResized || state.rebuildDevicePipelines || state.viewLimitsChanged ||
                       state.refreshTextBlock || state.saveRequested || state.loadRequested || state.resetRequested ||
                       exposureAdapting(renderer);
    s.passRunning = starFieldJob.running.load();
    // The engine's pass state may be read only while no pass runs.
    s.passToCollect = !s.passRunning && passes.passWasRunning;
    s.unfinishedWork = !s.passRunning && starField.engine != nullptr && starField.engine->unfinished();
    s.framesSinceInput = state.framesSinceInput;
    s.secondsSinceInput = static_cast<double>(steadyClockNs() - state.lastInputTime) * 1e-9;
    return s;
}

void Application::runLoopStep() {
    // A screenshot's message leaves the panel when its time is up, even at rest.
    if (!state.screenshotMessage.empty() && nowNanoseconds() >= state.screenshotShownUntil) {
        state.screenshotMessage.clear();
        state.redrawPanel = true;
    }
    const LoopAction action = nextLoopAction(loopSituation());
    if (action == LoopAction::Draw) {
        drawFrame();
        return;
    }
    stage = "waiting for window events";
    // Nothing to draw before the running pass ends: it need not go on.
    if (action == LoopAction::AwaitPass) requestPassResults(starField);
    glfwWaitEventsTimeout(action == LoopAction::AwaitPass ? PASS_WAIT_SECONDS : REST_WAIT_SECONDS);
    // The wait is no part of a frame: the next one measures its time from here.
    state.lastFrameTime = nowNanoseconds();
    state.waitedSinceFrame = true;
}

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
    // After a wait there is no frame rate to show: the panel keeps the last one.
    if (!state.waitedSinceFrame) state.framesPerSecond = static_cast<float>(1.0 / dt);
    state.waitedSinceFrame = false;
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
    if (state.screenshotRequested) saveScreenshot(end);
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
    if (state.framesSinceInput < FRAMES_AFTER_INPUT) ++state.framesSinceInput;
}

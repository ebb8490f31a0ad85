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
    for (bool down : loop.keys.down) s.keyHeld = s.keyHeld || down;
    s.inputQueued = !loop.events.empty() || !loop.flightEvents.empty() || !panelInput.queue.empty();
    const Viewpoint& v = state.view;
    s.navigating = v.flyingToTarget || v.turningToTarget || v.goInput != 0 || v.rollInput != 0 || v.pitchInput != 0;
    const Requests& asked = state.requests;
    s.changesPending = state.changes.any() || loop.panelBehind || passes.restartPending || state.redraw.stars || state.redraw.panel ||
                       state.redraw.framebufferResized || state.redraw.rebuildDevicePipelines ||
                       state.panel.refreshTextBlock || asked.viewLimits || asked.save || asked.load || asked.reset ||
                       exposureAdapting(renderer);
    s.passRunning = starFieldJob.running.load();
    // The engine's pass state may be read only while no pass runs.
    s.passToCollect = !s.passRunning && passes.passWasRunning;
    s.unfinishedWork = !s.passRunning && starField.engine != nullptr && starField.engine->unfinished();
    s.framesSinceInput = loop.framesSinceInput;
    s.secondsSinceInput = static_cast<double>(steadyClockNs() - loop.lastInputTime) * 1e-9;
    return s;
}

void Application::runLoopStep() {
    // A message leaves the panel when its time is up, even at rest.
    if (!state.status.message.empty() && nowNanoseconds() >= state.status.messageUntil) {
        state.status.message.clear();
        state.redraw.panel = true;
    }
    const LoopAction action = nextLoopAction(loopSituation());
    if (action == LoopAction::Draw) {
        drawFrame();
        return;
    }
    stage = STAGE_WAITING;
    // Nothing to draw before the running pass ends: it need not go on.
    if (action == LoopAction::AwaitPass) requestPassResults(starField);
    glfwWaitEventsTimeout(action == LoopAction::AwaitPass ? PASS_WAIT_SECONDS : REST_WAIT_SECONDS);
    // The wait is no part of a frame: the next one measures its time from
    // here, and navigation starts here (a key that woke the loop counts
    // from now, the rest before it not at all).
    loop.lastFrameTime = nowNanoseconds();
    loop.keys.clock = steadyClockNs();
    loop.waitedSinceFrame = true;
}

void Application::drawFrame() {
    stage = STAGE_FRAME;
    glfwPollEvents();
    handleWindowEvents();
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
            loop.keys.clock = steadyClockNs();
        }
        state.changes.swapChainRecreated = 1;
        recreateSwapChain();
        return;
    }

    // What arrived while the frame waited for its slot, for the panel and
    // navigation of this frame.
    handleWindowEvents();
    const uint64_t panelStart = nowNanoseconds();
    runPanel();
    handleRequests();
    frameTimes.panel += nowNanoseconds() - panelStart;

    const uint64_t now = nowNanoseconds();
    const double dt = static_cast<double>(now - loop.lastFrameTime) * 1e-9;
    // After a wait there is no frame rate to show: the panel keeps the last one.
    if (!loop.waitedSinceFrame) state.status.framesPerSecond = static_cast<float>(1.0 / dt);
    loop.waitedSinceFrame = false;
    loop.lastFrameTime = now;
    state.status.now = now;

    // Moved when the position's integer parts changed since the last frame.
    bool moved = false;
    for (int a = 0; a < 3; ++a) {
        moved |= state.view.position[a].integer != loop.previousPosition[a];
        loop.previousPosition[a] = state.view.position[a].integer;
    }
    state.changes.viewpointMoved = moved ? 1 : 0;

    const uint64_t navigationStart = nowNanoseconds();
    // Up to now, with the keys as they went down and up in the meantime.
    const NavigationResult nav =
        navigateOver(state.view, loop.keys, loop.flightEvents.data(), loop.flightEvents.size(), steadyClockNs());
    loop.flightEvents.clear();
    starField.velocity = nav.velocity;  // zero when no translation input is active
    if (nav.moved) state.changes.viewpointMoved = 1;
    if (nav.redraw) state.redraw.stars = true;
    const uint64_t starFieldStart = nowNanoseconds();
    updateStarField();
    const uint64_t starFieldEnd = nowNanoseconds();

    styleHighlights(starField, state);
    const FrameEnd end = endFrame(renderer, start.imageIndex, frameInput());
    if (state.requests.screenshot) saveScreenshot(end);
    state.redraw.stars = false;
    state.redraw.panel = false;
    if (end.swapChainOutOfDate || state.redraw.framebufferResized || state.redraw.rebuildDevicePipelines) {
        state.redraw.framebufferResized = false;
        recreateSwapChain();
    }

    frameTimes.navigation += starFieldStart - navigationStart;
    frameTimes.starField += starFieldEnd - starFieldStart;
    frameTimes.submit += end.submitNs;
    frameTimes.present += end.presentNs;
    ++frameTimes.frames;
    if (loop.framesSinceInput < FRAMES_AFTER_INPUT) ++loop.framesSinceInput;
}

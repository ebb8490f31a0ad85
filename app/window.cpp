// The window, its input callbacks, and the start-up order of the renderer.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "app/application.h"
#include "app/key_input.h"
#include "app/mouse_input.h"
#include "display_font_data.h"
#include "ui/control_panel.h"

namespace {

void glfwErrorCallback(int error, const char* description) {
    std::fprintf(stderr, "Glfw Error %d: %s\n", error, description);
}

Application& owner(GLFWwindow* window) { return *static_cast<Application*>(glfwGetWindowUserPointer(window)); }

// Any window event: the loop draws a few frames from now on, so that the
// panel and the view follow it (app/loop_rule.h).
void noteInput(GLFWwindow* window) {
    LoopState& loop = owner(window).loop;
    loop.framesSinceInput = 0;
    loop.lastInputTime = steadyClockNs();
}

void framebufferSizeCallback(GLFWwindow* window, int, int) {
    owner(window).state.redraw.framebufferResized = true;
    noteInput(window);
}

// The input callbacks only queue the event with its time: they also run
// while the renderer waits in the middle of a frame, and the frame handles
// them at its own points (Application::handleWindowEvents).
void queueEvent(GLFWwindow* window, const PanelEvent& event, int action = 0, int mods = 0) {
    owner(window).loop.events.push_back({steadyClockNs(), event, action, mods});
    noteInput(window);
}

// The modifier keys held now, for the events whose callbacks do not say.
int heldModifiers(GLFWwindow* window) {
    int mods = 0;
    if (glfwGetKey(window, GLFW_KEY_LEFT_SHIFT) == GLFW_PRESS || glfwGetKey(window, GLFW_KEY_RIGHT_SHIFT) == GLFW_PRESS)
        mods |= GLFW_MOD_SHIFT;
    if (glfwGetKey(window, GLFW_KEY_LEFT_CONTROL) == GLFW_PRESS ||
        glfwGetKey(window, GLFW_KEY_RIGHT_CONTROL) == GLFW_PRESS)
        mods |= GLFW_MOD_CONTROL;
    return mods;
}

void mouseButtonCallback(GLFWwindow* window, int button, int action, int mods) {
    owner(window).state.redraw.panel = true;
    queueEvent(window, {PanelEvent::BUTTON, button, action == GLFW_PRESS}, action, mods);
}

void cursorPosCallback(GLFWwindow* window, double x, double y) {
    queueEvent(window, {PanelEvent::CURSOR, 0, false, static_cast<float>(x), static_cast<float>(y)}, 0,
               heldModifiers(window));
}
void scrollCallback(GLFWwindow* window, double x, double y) {
    queueEvent(window, {PanelEvent::SCROLL, 0, false, static_cast<float>(x), static_cast<float>(y)}, 0,
               heldModifiers(window));
}
void charCallback(GLFWwindow* window, unsigned int c) {
    queueEvent(window, {PanelEvent::CHARACTER, static_cast<int>(c)});
}
void cursorEnterCallback(GLFWwindow* window, int entered) {
    if (entered == 0) {
        queueEvent(window, {PanelEvent::LEAVE});
    } else {
        noteInput(window);
    }
}
void focusCallback(GLFWwindow* window, int focused) { queueEvent(window, {PanelEvent::FOCUS, 0, focused != 0}); }
void iconifyCallback(GLFWwindow* window, int) { noteInput(window); }
// Part of the window was uncovered and must be drawn again.
void refreshCallback(GLFWwindow* window) { noteInput(window); }

void keyCallback(GLFWwindow* window, int key, int, int action, int mods) {
    queueEvent(window, {PanelEvent::KEY, key, action != GLFW_RELEASE}, action, mods);
}

// What the renderer calls while it waits for the device or the display.
void pollWhileWaiting(void*) { glfwPollEvents(); }

void toggleFullScreen(Application& app) {
    Settings& s = app.state.settings;
    s.fullScreen = !s.fullScreen;
    if (app.window == nullptr) return;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    WindowPlacement& w = s.windowed;
    if (s.fullScreen && mode != nullptr) {
        glfwGetWindowSize(app.window, &w.width, &w.height);
        glfwGetWindowPos(app.window, &w.x, &w.y);
        glfwSetWindowMonitor(app.window, monitor, 0, 0, mode->width, mode->height, GLFW_DONT_CARE);
    } else {
        s.fullScreen = false;
        glfwSetWindowMonitor(app.window, nullptr, w.x, w.y, w.width, w.height, GLFW_DONT_CARE);
    }
    app.state.redraw.framebufferResized = true;
}

}  // namespace

void Application::handleWindowEvents() {
    const bool panelKeys = panelWantsKeyboard();
    // The star display beside the panel.
    DisplayArea area;
    area.x = state.settings.panelOnRight ? 0 : state.status.framebufferWidth - state.status.displayWidth;
    area.width = std::max(1, state.status.displayWidth);
    area.height = std::max(1, state.status.displayHeight);
    for (const WindowEvent& w : loop.events) {
        if (w.event.kind != PanelEvent::KEY) {
            panelInput.queue.push_back(w.event);
            const bool panelMouse = panelWantsMouseAt(static_cast<float>(mouse.lastX), static_cast<float>(mouse.lastY));
            const MouseOutcome mouseDid = applyMouseEvent(state, mouse, w.event, w.mods, panelMouse, area);
            if (mouseDid.click) pickAt(mouseDid.x, mouseDid.y);
            continue;
        }
        const int key = w.event.code;
        const KeyOutcome outcome = applyKeyEvent(state, key, w.action, w.mods, panelKeys);
        if (outcome.toFlight) loop.flightEvents.push_back({w.time, key, w.action == GLFW_PRESS});
        if (w.action != GLFW_REPEAT) panelInput.queue.push_back(w.event);
        if (outcome.toggleFullScreen) toggleFullScreen(*this);
    }
    loop.events.clear();
    // While a text field has the keyboard the flight keys are text: those
    // held when it took the keyboard are let go.
    if (panelKeys) {
        const uint64_t now = steadyClockNs();
        for (int key = 0; key < navkey::COUNT; ++key) {
            if (loop.keys.down[key]) loop.flightEvents.push_back({now, key, false});
        }
    }
}

void Application::initWindowAndRenderer() {
    stage = STAGE_WINDOW;
    createPanelContext(state.settings.controlFontScale);

    glfwSetErrorCallback(glfwErrorCallback);
    glfwInit();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_NO_API);

    // The window's size and place whenever it is not full screen: one that
    // fits the primary monitor's work area, centred in it.
    GLFWmonitor* primary = glfwGetPrimaryMonitor();
    WindowPlacement& windowed = state.settings.windowed;
    windowed = WindowPlacement{};
    if (primary != nullptr) {
        int x = 0, y = 0, w = 0, h = 0;
        glfwGetMonitorWorkarea(primary, &x, &y, &w, &h);
        if (w > 0 && h > 0) windowed = windowedPlacement(x, y, w, h);
    }
    GLFWmonitor* monitor = nullptr;
    int width = windowed.width, height = windowed.height;
    if (state.settings.fullScreen) {
        monitor = primary;
        if (const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr) {
            width = mode->width;
            height = mode->height;
        } else {
            monitor = nullptr;  // no monitor to fill: stay windowed
        }
    }
    window = glfwCreateWindow(width, height, "Starloom", monitor, nullptr);
    // Without a window (no display, no GLFW) nothing below can work; the
    // error callback has already printed GLFW's reason.
    if (window == nullptr) throw std::runtime_error("no window could be created (is a display available?)");
    if (monitor == nullptr) glfwSetWindowPos(window, windowed.x, windowed.y);
    glfwSetInputMode(window, GLFW_LOCK_KEY_MODS, GLFW_TRUE);
    glfwSetWindowUserPointer(window, this);
    glfwSetFramebufferSizeCallback(window, framebufferSizeCallback);
    glfwSetMouseButtonCallback(window, mouseButtonCallback);
    glfwSetKeyCallback(window, keyCallback);
    // Installed before the panel's back end, which calls them after its own
    // handling of the events it follows too.
    glfwSetCursorPosCallback(window, cursorPosCallback);
    glfwSetScrollCallback(window, scrollCallback);
    glfwSetCharCallback(window, charCallback);
    glfwSetCursorEnterCallback(window, cursorEnterCallback);
    glfwSetWindowFocusCallback(window, focusCallback);
    glfwSetWindowIconifyCallback(window, iconifyCallback);
    glfwSetWindowRefreshCallback(window, refreshCallback);

    stage = STAGE_DEVICE;
    createDevice(renderer, window, state.settings.multisampling);
    renderer.whileWaiting = pollWhileWaiting;

    stage = STAGE_BUFFERS;
    const int panelWidthBase = measurePanel(state);
    setDisplayGeometry(displayGeometry(static_cast<int>(renderer.extent.width),
                                       static_cast<int>(renderer.extent.height), panelWidthBase));
    applySettings();
    createDrawResources(renderer, icosa, {&starField.ellipsoids, &starField.armChains},
                        state.settings.starShape, builtinDisplayFont());

    stage = STAGE_PIPELINES;
    const Settings& set = state.settings;
    createPipelines(renderer, {set.multisampling, panelWidthBase, set.panelOnRight, set.backgroundMode, 0});

    // The first pass on this thread, so that the first frame shows stars.
    stage = STAGE_FIRST_STARS;
    preparePass(starField, state, state.changes);
    starField.input.runUntilCollected = false;  // nobody would ask for it: one budget's worth
    state.changes = ChangeFlags{};
    runStarFieldPass(&starField);
    waitIdle(renderer);
    StarField& engine = *starField.engine;
    uploadStarFieldResults(renderer, engine.results, engine.nearList, starField.input.position);
    publishPassResults(starField);
    state.status.starsDisplayed = starField.starsDisplayed;

    preparePanelFrame(panelInput);
    refreshGpuFacts();
    buildControlPanel(state, *starField.engine, &textView);
    if (textView.rebuilt) {
        renderTextBlock(renderer, textView.block.vertices.data(), textView.block.vertexCount, textView.block.width,
                        textView.block.height);
    }
    stage = STAGE_RUNNING;
}

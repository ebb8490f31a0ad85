// The window, its input callbacks, and the start-up order of the renderer.
#include <GLFW/glfw3.h>

#include <cstdio>
#include <stdexcept>

#include "app/application.h"
#include "app/key_input.h"
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

void mouseButtonCallback(GLFWwindow* window, int, int, int) {
    owner(window).state.redraw.panel = true;
    noteInput(window);
}

void cursorPosCallback(GLFWwindow* window, double, double) { noteInput(window); }
void scrollCallback(GLFWwindow* window, double, double) { noteInput(window); }
void charCallback(GLFWwindow* window, unsigned int) { noteInput(window); }
void cursorEnterCallback(GLFWwindow* window, int) { noteInput(window); }
void focusCallback(GLFWwindow* window, int) { noteInput(window); }
void iconifyCallback(GLFWwindow* window, int) { noteInput(window); }
// Part of the window was uncovered and must be drawn again.
void refreshCallback(GLFWwindow* window) { noteInput(window); }

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

void keyCallback(GLFWwindow* window, int key, int, int action, int mods) {
    Application& app = owner(window);
    noteInput(window);
    if (applyKeyEvent(app.state, app.loop.keyDown, key, action, mods, panelWantsKeyboard())) toggleFullScreen(app);
}

}  // namespace

void Application::initWindowAndRenderer() {
    stage = STAGE_WINDOW;
    createPanelContext(state.settings.controlFontScale);

    glfwSetErrorCallback(glfwErrorCallback);
    glfwInit();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_NO_API);

    state.settings.windowed.width = WINDOWED_WIDTH;
    state.settings.windowed.height = WINDOWED_HEIGHT;
    GLFWmonitor* monitor = nullptr;
    int width = WINDOWED_WIDTH, height = WINDOWED_HEIGHT;
    if (state.settings.fullScreen) {
        monitor = glfwGetPrimaryMonitor();
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

    preparePanelFrame();
    refreshGpuFacts();
    buildControlPanel(state, *starField.engine, &textView);
    if (textView.rebuilt) {
        renderTextBlock(renderer, textView.block.vertices.data(), textView.block.vertexCount, textView.block.width,
                        textView.block.height);
    }
    stage = STAGE_RUNNING;
}

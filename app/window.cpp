// The window, its input callbacks, and the start-up order of the renderer.
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_glfw.h>

#include <cstdio>
#include <stdexcept>

#include "app/application.h"
#include "render/renderer.h"
#include "render/vk_check.h"
#include "ui/control_panel.h"

namespace {

void glfwErrorCallback(int error, const char* description) {
    std::fprintf(stderr, "Glfw Error %d: %s\n", error, description);
}

void framebufferSizeCallback(GLFWwindow* window, int, int) {
    static_cast<Application*>(glfwGetWindowUserPointer(window))->framebufferResized = true;
}

void mouseButtonCallback(GLFWwindow* window, int, int, int) {
    static_cast<Application*>(glfwGetWindowUserPointer(window))->markAllForRedraw(1);
}

void toggleFullScreen(Application& app) {
    app.fullScreen = !app.fullScreen;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (app.fullScreen) {
        glfwGetWindowSize(app.window, &app.windowedWidth, &app.windowedHeight);
        glfwGetWindowPos(app.window, &app.windowedX, &app.windowedY);
        const GLFWvidmode* mode = glfwGetVideoMode(monitor);
        glfwSetWindowMonitor(app.window, monitor, 0, 0, mode->width, mode->height, GLFW_DONT_CARE);
    } else {
        glfwSetWindowMonitor(app.window, nullptr, app.windowedX, app.windowedY, app.windowedWidth,
                             app.windowedHeight, GLFW_DONT_CARE);
    }
    app.framebufferResized = true;
}

void keyCallback(GLFWwindow* window, int key, int, int action, int mods) {
    Application& app = *static_cast<Application*>(glfwGetWindowUserPointer(window));
    applyKeyEvent(app, key, action, mods, ImGui::GetIO().WantCaptureKeyboard);
}

}  // namespace

bool applyKeyEvent(Application& app, int key, int action, int mods, bool imguiWantsKeyboard) {
    if (imguiWantsKeyboard) return false;
    const bool valid = key >= 0 && key < navkey::COUNT;
    if (action == GLFW_PRESS && valid) {
        if (key == navkey::COMMA) {
            app.view.speedLevel -= 1;
            app.recomputeSpeed();
        } else if (key == navkey::PERIOD && app.view.speedLevel < MAX_SPEED_LEVEL) {
            app.view.speedLevel += 1;
            app.recomputeSpeed();
        }
        app.keyDown[key] = true;
    } else if (action == GLFW_RELEASE && valid) {
        app.keyDown[key] = false;
    }
    app.view.capsLock = (mods & GLFW_MOD_CAPS_LOCK) != 0;
    if (app.keyDown[navkey::C]) app.showCrosshair = !app.showCrosshair;
    if (app.keyDown[navkey::EQUAL]) {
        if (app.window != nullptr) {
            toggleFullScreen(app);
        } else {
            app.fullScreen = !app.fullScreen;
        }
    }
    return true;
}

void Application::initWindowAndRenderer() {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.FontGlobalScale = static_cast<float>(controlFontScale);
    ImGui::StyleColorsDark();
    ImGui::GetStyle().ItemSpacing.y = 10;

    glfwSetErrorCallback(glfwErrorCallback);
    glfwInit();
    glfwWindowHint(GLFW_CLIENT_API, GLFW_NO_API);

    windowedWidth = WINDOWED_WIDTH;
    windowedHeight = WINDOWED_HEIGHT;
    GLFWmonitor* monitor = nullptr;
    int width = WINDOWED_WIDTH, height = WINDOWED_HEIGHT;
    if (fullScreen) {
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
    if (window == nullptr) throw std::runtime_error("failed to create the window");
    {
        glfwSetInputMode(window, GLFW_LOCK_KEY_MODS, GLFW_TRUE);
        glfwSetWindowUserPointer(window, this);
        glfwSetFramebufferSizeCallback(window, framebufferSizeCallback);
        glfwSetMouseButtonCallback(window, mouseButtonCallback);
        glfwSetKeyCallback(window, keyCallback);
    }

    createInstance(*this);
    createSurface(*this);
    pickPhysicalDevice(*this);
    createLogicalDevice(*this);
    createSwapChain(*this);
    createDescriptorSetLayout(*this);
    createCommandPool(*this);
    createDescriptorPool(*this);
    createImageViews(*this);
    createRenderPass(*this);
    createUniformBuffers(*this);
    createSyncObjects(*this);

    ImGui_ImplGlfw_InitForVulkan(window, true);
    vk.imguiGlfwReady = true;
    initImGuiVulkan(*this);
    ImGui_ImplGlfw_NewFrame();

    updatePanelGeometry(*this);
    createLabelFontTexture(*this);
    updateDisplayGeometry(*this);
    applySettings();

    createGpuBuffers(*this);
    handOverViewLimits(*this);
    starField.request = changes;
    changes = ChangeFlags{};
    runStarFieldPass(this);
    checkVkResult(vkDeviceWaitIdle(vk.device));
    uploadStarFieldResults(*this);
    buildSphereMeshes(*this);

    createDescriptorSets(*this);
    createPipelineLayout(*this);
    createGraphicsPipelines(*this);
    createColorAndDepthResources(*this);
    createFramebuffers(*this);
    allocateCommandBuffers(*this);

    buildControlPanel(*this);
    for (uint32_t i = 0; i < vk.commandBuffers.size(); ++i) recordCommandBuffer(*this, i);
}

#include "render/imgui_backend.h"

#include <imgui.h>
#include <imgui_internal.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_vulkan.h>

#include <GLFW/glfw3.h>

#include "render/render_internal.h"
#include "render/renderer.h"
#include "render/vk_check.h"

namespace {

// What the text-block callback draws with: set while the panel's draws are
// recorded (on the main thread).
Renderer* drawingRenderer = nullptr;
VkCommandBuffer drawingCommands = VK_NULL_HANDLE;

// Where the panel placed the text block this frame: written while the panel
// is built, read when its draws are recorded, which always follows.
float textBlockRect[4] = {0, 0, 0, 0};

void drawTextBlockCallback(const ImDrawList*, const ImDrawCmd* command) {
    if (drawingRenderer == nullptr) return;
    const float clip[4] = {command->ClipRect.x, command->ClipRect.y, command->ClipRect.z, command->ClipRect.w};
    drawTextBlockImage(*drawingRenderer, drawingCommands, textBlockRect, clip);
}

}  // namespace

void imguiBackendInit(Renderer& r) {
    if (r.imguiReady) return;
    // The program's own window callbacks queue the events, and
    // imguiFeedInput hands them over: the back end installs none.
    ImGui_ImplGlfw_InitForVulkan(r.window, false);
    ImGui_ImplVulkan_InitInfo info{};
    info.Instance = r.instance;
    info.PhysicalDevice = r.physicalDevice;
    info.Device = r.device;
    info.QueueFamily = r.graphicsFamily;
    info.Queue = r.graphicsQueue;
    info.PipelineCache = VK_NULL_HANDLE;
    info.DescriptorPool = r.descriptorPool;
    info.Subpass = 0;
    info.MinImageCount = static_cast<uint32_t>(r.images.size());
    info.ImageCount = static_cast<uint32_t>(r.images.size());
    info.MSAASamples = VK_SAMPLE_COUNT_1_BIT;  // the display pass
    info.Allocator = nullptr;
    info.CheckVkResultFn = checkVkResult;
    // 1.86 takes the render pass as an argument of its own.
    ImGui_ImplVulkan_Init(&info, r.renderPass);
    // 1.86 creates no font texture by itself: upload the built-in font with
    // one-time commands of ours.
    VkCommandBuffer commands = beginSingleTimeCommands(r.gpu);
    ImGui_ImplVulkan_CreateFontsTexture(commands);
    endSingleTimeCommands(r.gpu, commands);
    ImGui_ImplVulkan_DestroyFontUploadObjects();
    r.imguiReady = true;
}

void imguiBackendShutdown(Renderer& r) {
    if (!r.imguiReady) return;
    ImGui_ImplVulkan_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    r.imguiReady = false;
}

void imguiBackendDraw(Renderer& r, VkCommandBuffer_T* commands) {
    ImDrawData* drawData = ImGui::GetDrawData();
    if (drawData == nullptr || !drawData->Valid) return;
    drawingRenderer = &r;
    drawingCommands = commands;
    ImGui_ImplVulkan_RenderDrawData(drawData, commands);
    drawingRenderer = nullptr;
    drawingCommands = VK_NULL_HANDLE;
}

void imguiTextBlockImage(float width, float height) {
    ImGui::Dummy(ImVec2(width, height));
    const ImVec2 from = ImGui::GetItemRectMin();
    textBlockRect[0] = from.x;
    textBlockRect[1] = from.y;
    textBlockRect[2] = from.x + width;
    textBlockRect[3] = from.y + height;
    ImDrawList* list = ImGui::GetWindowDrawList();
    list->AddCallback(drawTextBlockCallback, nullptr);
    // The back end sets its own pipeline and buffers again afterwards.
    list->AddCallback(ImDrawCallback_ResetRenderState, nullptr);
}

void imguiFeedInput(PanelInput& input) {
    ImGuiIO& io = ImGui::GetIO();
    bool buttonChanged[5] = {};
    bool keyChanged[IM_ARRAYSIZE(io.KeysDown)] = {};
    bool anyButtonChanged = false;
    while (!input.queue.empty()) {
        const PanelEvent& e = input.queue.front();
        bool next = false;  // this event waits for the next frame
        switch (e.kind) {
            case PanelEvent::CURSOR:
                if (anyButtonChanged) {
                    next = true;
                    break;
                }
                input.mouseX = e.x;
                input.mouseY = e.y;
                input.mouseKnown = true;
                input.mouseInside = true;
                break;
            case PanelEvent::LEAVE:
                if (anyButtonChanged) {
                    next = true;
                    break;
                }
                input.mouseKnown = true;
                input.mouseInside = false;
                break;
            case PanelEvent::BUTTON:
                if (e.code < 0 || e.code >= 5 || input.buttons[e.code] == e.down) break;
                if (buttonChanged[e.code]) {
                    next = true;
                    break;
                }
                input.buttons[e.code] = e.down;
                buttonChanged[e.code] = anyButtonChanged = true;
                break;
            case PanelEvent::SCROLL:
                io.MouseWheelH += e.x;
                io.MouseWheel += e.y;
                break;
            case PanelEvent::KEY:
                if (e.code < 0 || e.code >= IM_ARRAYSIZE(io.KeysDown) || io.KeysDown[e.code] == e.down) break;
                if (keyChanged[e.code]) {
                    next = true;
                    break;
                }
                io.KeysDown[e.code] = e.down;
                keyChanged[e.code] = true;
                break;
            case PanelEvent::CHARACTER:
                if (e.code > 0) io.AddInputCharacter(static_cast<unsigned>(e.code));
                break;
            case PanelEvent::FOCUS:
                io.AddFocusEvent(e.down);
                if (!e.down) {
                    for (bool& b : input.buttons) b = false;
                }
                break;
        }
        if (next) break;
        input.queue.pop_front();
    }
    for (int i = 0; i < 5; ++i) io.MouseDown[i] = input.buttons[i];
    if (input.mouseKnown) {
        io.MousePos = input.mouseInside ? ImVec2(input.mouseX, input.mouseY) : ImVec2(-FLT_MAX, -FLT_MAX);
    }
    io.KeyCtrl = io.KeysDown[GLFW_KEY_LEFT_CONTROL] || io.KeysDown[GLFW_KEY_RIGHT_CONTROL];
    io.KeyShift = io.KeysDown[GLFW_KEY_LEFT_SHIFT] || io.KeysDown[GLFW_KEY_RIGHT_SHIFT];
    io.KeyAlt = io.KeysDown[GLFW_KEY_LEFT_ALT] || io.KeysDown[GLFW_KEY_RIGHT_ALT];
    io.KeySuper = io.KeysDown[GLFW_KEY_LEFT_SUPER] || io.KeysDown[GLFW_KEY_RIGHT_SUPER];
}

void imguiPrepareFrame(PanelInput& input) {
    // Display size and time; the back end also reads the pointer and the
    // buttons as they are now, which the queued events then replace.
    ImGui_ImplGlfw_NewFrame();
    imguiFeedInput(input);
}

void imguiNewFrame() {
    ImGui_ImplVulkan_NewFrame();
    ImGui::NewFrame();
}

bool imguiWindowAt(float x, float y) {
    for (const ImGuiWindow* w : GImGui->Windows) {
        const bool takesMouse = (w->Flags & (ImGuiWindowFlags_NoMouseInputs | ImGuiWindowFlags_Tooltip)) == 0;
        if (w->Active && !w->Hidden && takesMouse && w->OuterRectClipped.Contains(ImVec2(x, y))) return true;
    }
    return false;
}

bool imguiWindowsSettling() {
    for (const ImGuiWindow* w : GImGui->Windows) {
        if (w->Active && (w->Hidden || w->Appearing)) return true;
    }
    return false;
}

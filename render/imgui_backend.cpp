#include "render/imgui_backend.h"

#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_vulkan.h>

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
    // The window's callbacks are installed before this, so the back end
    // chains to them after its own handling.
    ImGui_ImplGlfw_InitForVulkan(r.window, true);
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

void imguiPrepareFrame() { ImGui_ImplGlfw_NewFrame(); }

void imguiNewFrame() {
    ImGui_ImplVulkan_NewFrame();
    ImGui::NewFrame();
}

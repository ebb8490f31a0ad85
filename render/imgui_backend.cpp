#include "render/imgui_backend.h"

#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_vulkan.h>

#include "render/renderer.h"
#include "render/vk_check.h"

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
    info.MSAASamples = r.msaaSamples;
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

void imguiBackendDraw(VkCommandBuffer_T* commands) {
    ImDrawData* drawData = ImGui::GetDrawData();
    if (drawData != nullptr && drawData->Valid) ImGui_ImplVulkan_RenderDrawData(drawData, commands);
}

void imguiPrepareFrame() { ImGui_ImplGlfw_NewFrame(); }

void imguiNewFrame() {
    ImGui_ImplVulkan_NewFrame();
    ImGui::NewFrame();
}

#include "ui/imgui_compat.h"

#include <imgui.h>
#include <backends/imgui_impl_vulkan.h>

#include "render/gpu_buffer.h"

namespace {
// 1.86 keeps the old texture id after a shutdown, so the font upload is tracked here.
bool fontsUploaded = false;
}  // namespace

void imguiVulkanInit(const ImGuiVulkanSetup& setup) {
    ImGui_ImplVulkan_InitInfo info{};
    info.Instance = setup.instance;
    info.PhysicalDevice = setup.physicalDevice;
    info.Device = setup.device;
    info.QueueFamily = setup.queueFamily;
    info.Queue = setup.queue;
    info.PipelineCache = VK_NULL_HANDLE;
    info.DescriptorPool = setup.descriptorPool;
    info.Subpass = 0;
    info.MinImageCount = setup.imageCount;
    info.ImageCount = setup.imageCount;
    info.MSAASamples = setup.samples;
    info.Allocator = nullptr;
    info.CheckVkResultFn = setup.checkResult;
    ImGui_ImplVulkan_Init(&info, setup.renderPass);
    fontsUploaded = false;
}

bool imguiVulkanHasFonts() { return fontsUploaded; }

void imguiVulkanCreateFonts(GpuContext& context) {
    VkCommandBuffer commands = beginSingleTimeCommands(context);
    ImGui_ImplVulkan_CreateFontsTexture(commands);
    endSingleTimeCommands(context, commands);
    ImGui_ImplVulkan_DestroyFontUploadObjects();
    fontsUploaded = true;
}

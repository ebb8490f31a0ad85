// The few Dear ImGui calls whose form differs between the ImGui version this
// program was written against and the one Debian ships (1.86): the Vulkan
// back end takes the render pass as a separate argument of its Init, and its
// font texture is uploaded with a command buffer of ours.
#pragma once

#include <vulkan/vulkan.h>

struct GpuContext;

struct ImGuiVulkanSetup {
    VkInstance instance;
    VkPhysicalDevice physicalDevice;
    VkDevice device;
    uint32_t queueFamily;
    VkQueue queue;
    VkDescriptorPool descriptorPool;
    uint32_t imageCount;
    VkSampleCountFlagBits samples;
    VkRenderPass renderPass;
    void (*checkResult)(VkResult);
};

void imguiVulkanInit(const ImGuiVulkanSetup& setup);

// True when the back end has a font texture.
bool imguiVulkanHasFonts();

// Uploads ImGui's built-in font through one-time commands.
void imguiVulkanCreateFonts(GpuContext& context);

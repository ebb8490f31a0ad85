// The Vulkan renderer: device and swap chain, pipelines, buffers and the frame.
// Every function works on the Application's VulkanState on the main thread.
#pragma once

#include <vulkan/vulkan.h>

#include <cstdint>

struct Application;

// Device and swap chain.
void createInstance(Application& app);
void createSurface(Application& app);
void pickPhysicalDevice(Application& app);
void createLogicalDevice(Application& app);
void createSwapChain(Application& app);
void createImageViews(Application& app);
void createRenderPass(Application& app);
void createColorAndDepthResources(Application& app);
void createFramebuffers(Application& app);
void createCommandPool(Application& app);
void createDescriptorPool(Application& app);
void createSyncObjects(Application& app);
void allocateCommandBuffers(Application& app);
void initImGuiVulkan(Application& app);
void updatePanelGeometry(Application& app);
void updateDisplayGeometry(Application& app);
void recreateSwapChain(Application& app);
void cleanupSwapChain(Application& app);
void cleanupRenderer(Application& app);

// MSAA choice from the mask of counts supported for colour and depth: 4, 8, 16,
// 32, 64, 2 in that order, else 1; always 1 with multisampling off.
VkSampleCountFlagBits chooseSampleCount(VkSampleCountFlags supported, bool multisampling);

// Pipelines and the shader interface.
void createDescriptorSetLayout(Application& app);
void createUniformBuffers(Application& app);
void createDescriptorSets(Application& app);
void createPipelineLayout(Application& app);
void createGraphicsPipelines(Application& app);
void destroyGraphicsPipelines(Application& app);

// Buffers, meshes and textures.
void createGpuBuffers(Application& app);
void buildShapeTable(Application& app);
void createLabelFontTexture(Application& app);
void buildSphereMeshes(Application& app);

// The frame.
void recordCommandBuffer(Application& app, uint32_t imageIndex);
void updateUniformBuffer(Application& app, uint32_t imageIndex);

// What the renderer's own source files share and nothing outside uses: image
// and buffer creation tied to a deletion queue, and the steps of building the
// descriptor sets and pipelines.
#pragma once

#include <vulkan/vulkan.h>

#include <string>

#include "render/renderer.h"

// An image with its own device memory, destroyed with `lifetime`.
VkImage createImage(Renderer& r, uint32_t width, uint32_t height, VkSampleCountFlagBits samples, VkFormat format,
                    VkImageUsageFlags usage, DeletionQueue& lifetime);
VkImageView createImageView(Renderer& r, VkImage image, VkFormat format, VkImageAspectFlags aspect,
                            DeletionQueue& lifetime);
// A buffer of the renderer's, destroyed with the device.
void createRendererBuffer(Renderer& r, GpuBuffer& b, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                          VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize);

void createDescriptorSetLayout(Renderer& r);
void createUniformBuffers(Renderer& r);
void createDescriptorSets(Renderer& r);
void createPipelineLayout(Renderer& r);
// The eight pipelines for the star viewport of r.geometry and r.built.
void createGraphicsPipelines(Renderer& r);
// The pipelines again, after the help margin or the background mode changed.
void rebuildGraphicsPipelines(Renderer& r);
// The shape table for a star shape (0 circle, 1 fuzzy).
void uploadShapeTable(Renderer& r, int starShape);

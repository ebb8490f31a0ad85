// What the renderer's own source files share and nothing outside uses: image
// and buffer creation tied to a deletion queue, and the steps of building the
// descriptor sets and pipelines.
#pragma once

#include <vulkan/vulkan.h>

#include <string>
#include <vector>

#include "render/renderer.h"

// An image with its own device memory, destroyed with `lifetime`.
VkImage createImage(Renderer& r, uint32_t width, uint32_t height, VkSampleCountFlagBits samples, VkFormat format,
                    VkImageUsageFlags usage, DeletionQueue& lifetime);
VkImageView createImageView(Renderer& r, VkImage image, VkFormat format, VkImageAspectFlags aspect,
                            DeletionQueue& lifetime);
// A buffer of the renderer's, destroyed with the device.
void createRendererBuffer(Renderer& r, GpuBuffer& b, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                          VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize);

// A graphics pipeline of the renderer's: two shader stages, fill mode,
// counter-clockwise front faces, no depth test (depth writes on, as the
// main pass wants them), per-sample shading, one colour attachment.
enum class Blend { None, Additive, Alpha };
struct ViewportRect {
    float x, y, width, height;
};
struct ShaderCode;
struct PipelineDesc {
    const ShaderCode* vertex = nullptr;
    const ShaderCode* fragment = nullptr;
    std::vector<VkVertexInputBindingDescription> bindings;
    std::vector<VkVertexInputAttributeDescription> attributes;
    VkPrimitiveTopology topology = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    VkCullModeFlags cull = VK_CULL_MODE_BACK_BIT;
    Blend blend = Blend::None;
    VkPipelineLayout layout = VK_NULL_HANDLE;
    VkRenderPass renderPass = VK_NULL_HANDLE;
    VkSampleCountFlagBits samples = VK_SAMPLE_COUNT_1_BIT;
    bool dynamicRect = false;  // viewport and scissor set while drawing, else the static rect
    ViewportRect rect{0, 0, 1, 1};
};
VkShaderModule createShaderModule(Renderer& r, const ShaderCode& code);
VkPipeline createPipeline(Renderer& r, const PipelineDesc& desc);

// A sampler that takes the nearest texel, for textures drawn one texel per pixel.
VkSampler createNearestSampler(Renderer& r, VkSamplerAddressMode addressing);

void createDescriptorSetLayout(Renderer& r);
void createUniformBuffers(Renderer& r);
void createDescriptorSets(Renderer& r);
void createPipelineLayout(Renderer& r);
// The eight pipelines for the star viewport of r.geometry and r.built.
void createGraphicsPipelines(Renderer& r);
// The pipelines again, after the help margin or the background mode changed.
void rebuildGraphicsPipelines(Renderer& r);
// The shape table for a star shape (0 circle, 1 fuzzy).
void uploadShapeTable(Renderer& r, StarShape starShape);

// Text blocks: the resources to draw them (after the font texture exists),
// the quad pipeline that shows one in the main render pass (with the swap
// chain), the destruction of retired textures (each frame, after the frame
// slot's fence), and the quad itself, over rect (x0, y0, x1, y1 in pixels)
// within clip.
void createTextBlockResources(Renderer& r);
void createTextImagePipeline(Renderer& r);
void retireTextTextures(Renderer& r);
void drawTextBlockImage(Renderer& r, VkCommandBuffer commands, const float rect[4], const float clip[4]);

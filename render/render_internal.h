// What the renderer's own source files share and nothing outside uses: image
// and buffer creation tied to a deletion queue, and the steps of building the
// descriptor sets and pipelines.
#pragma once

#include <vulkan/vulkan.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "render/exposure.h"
#include "render/renderer.h"

// The star display's light is held in 16-bit floats; the exposure
// measurement in two 32-bit floats per block.
inline constexpr VkFormat LIGHT_FORMAT = VK_FORMAT_R16G16B16A16_SFLOAT;
inline constexpr VkFormat EXPOSURE_FORMAT = VK_FORMAT_R32G32_SFLOAT;

// The diffuse background has little fine detail, and a pixel's light costs
// an integral along its ray: on a display of more than BACKGROUND_FULL_PIXELS
// pixels it is drawn at half the resolution along each axis (a quarter of
// the pixels) and interpolated when the display pass reads it; on a smaller
// one, where a pixel is larger and the thinnest structures (the disc seen
// edge-on from afar) span only a few, at the display's own.
inline constexpr uint64_t BACKGROUND_FULL_PIXELS = 300000;
inline double backgroundResolution(VkExtent2D display) {
    return uint64_t{display.width} * display.height > BACKGROUND_FULL_PIXELS ? 0.5 : 1.0;
}
// The background pixels that cover `area` display pixels at `resolution`.
inline VkExtent2D backgroundExtentFor(VkExtent2D area, double resolution) {
    auto part = [resolution](uint32_t pixels) {
        return std::max<uint32_t>(1, static_cast<uint32_t>(std::ceil(pixels * resolution)));
    };
    return {part(area.width), part(area.height)};
}

// The device memory of the renderer's buffers whatever the display's size
// (the midground points and near-star records above all).
extern const uint64_t RENDERER_BUFFER_BYTES;

// An image with its own device memory, destroyed with `lifetime`.
VkImage createImage(Renderer& r, uint32_t width, uint32_t height, VkSampleCountFlagBits samples, VkFormat format,
                    VkImageUsageFlags usage, DeletionQueue& lifetime);
VkImageView createImageView(Renderer& r, VkImage image, VkFormat format, VkImageAspectFlags aspect,
                            DeletionQueue& lifetime);
// A buffer of the renderer's, destroyed with the device.
void createRendererBuffer(Renderer& r, GpuBuffer& b, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                          VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize);

// A graphics pipeline of the renderer's: two shader stages, fill mode,
// counter-clockwise front faces, no depth, shading once per pixel (the
// samples of a multisampled pass take its coverage), one colour attachment.
// Blends: None; Light (colour added, alpha kept: light that covers
// nothing); Cover (premultiplied: the source's alpha hides that share of
// what is there, and adds to the alpha); Alpha (over, by the source's alpha).
enum class Blend { None, Light, Cover, Alpha };
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
    // The fragment program's specialisation constant 0, when it has one.
    bool specialised = false;
    uint32_t specialisation = 0;
};
VkShaderModule createShaderModule(Renderer& r, const ShaderCode& code);
VkPipeline createPipeline(Renderer& r, const PipelineDesc& desc);

// A sampler that takes the nearest texel, for textures drawn one texel per pixel.
VkSampler createNearestSampler(Renderer& r, VkSamplerAddressMode addressing);

void createDescriptorSetLayout(Renderer& r);
void createUniformBuffers(Renderer& r);
void createDescriptorSets(Renderer& r);
// The light images' bindings (6 and 7) of every set, after they were made anew.
void writeLightDescriptors(Renderer& r);
void createPipelineLayout(Renderer& r);
// The star viewport: where it lies in the display pass (x; y is 0), its
// size, and the part of the background's image that covers it.
struct StarViewport {
    int x = 0, width = 1, height = 1;
    VkExtent2D background{1, 1};
};
StarViewport starViewport(const Renderer& r);
// The pipelines for the star viewport of r.geometry and r.built, each in its
// pass: background, stars, exposure measurement, display.
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

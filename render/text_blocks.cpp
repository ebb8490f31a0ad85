// Text blocks: a laid-out block of glyph quads drawn once into a texture of
// its own with the display font, and that texture shown in the panel's
// "Text" window, drawn in the middle of the panel's own draws.
#include <algorithm>
#include <memory>
#include <stdexcept>

#include "render/render_internal.h"
#include "render/renderer.h"
#include "render/shader_code.h"
#include "render/vk_check.h"

namespace {

// The format of a block's texture (sampled as sRGB, so that drawing it into
// the sRGB swap-chain image gives back the same pixels).
constexpr VkFormat TEXT_FORMAT = VK_FORMAT_B8G8R8A8_SRGB;

VkDescriptorSetLayout samplerLayout(Renderer& r) {
    const VkDescriptorSetLayoutBinding binding{0, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1,
                                               VK_SHADER_STAGE_FRAGMENT_BIT, nullptr};
    VkDescriptorSetLayoutCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    create.bindingCount = 1;
    create.pBindings = &binding;
    VkDescriptorSetLayout layout = VK_NULL_HANDLE;
    checkVkResult(vkCreateDescriptorSetLayout(r.device, &create, nullptr, &layout));
    defer(r.deviceObjects, [&r, layout] { vkDestroyDescriptorSetLayout(r.device, layout, nullptr); });
    return layout;
}

VkPipelineLayout pushLayout(Renderer& r, VkDescriptorSetLayout set, uint32_t pushBytes) {
    const VkPushConstantRange range{VK_SHADER_STAGE_VERTEX_BIT, 0, pushBytes};
    VkPipelineLayoutCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
    create.setLayoutCount = 1;
    create.pSetLayouts = &set;
    create.pushConstantRangeCount = 1;
    create.pPushConstantRanges = &range;
    VkPipelineLayout layout = VK_NULL_HANDLE;
    checkVkResult(vkCreatePipelineLayout(r.device, &create, nullptr, &layout));
    defer(r.deviceObjects, [&r, layout] { vkDestroyPipelineLayout(r.device, layout, nullptr); });
    return layout;
}

VkDescriptorSet samplerSet(Renderer& r, VkDescriptorSetLayout layout, VkImageView view, VkSampler sampler) {
    VkDescriptorSetAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
    alloc.descriptorPool = r.descriptorPool;
    alloc.descriptorSetCount = 1;
    alloc.pSetLayouts = &layout;
    VkDescriptorSet set = VK_NULL_HANDLE;
    checkVkResult(vkAllocateDescriptorSets(r.device, &alloc, &set));
    const VkDescriptorImageInfo image{sampler, view, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
    VkWriteDescriptorSet write{};
    write.sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
    write.dstSet = set;
    write.dstBinding = 0;
    write.descriptorCount = 1;
    write.descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
    write.pImageInfo = &image;
    vkUpdateDescriptorSets(r.device, 1, &write, 0, nullptr);
    return set;
}

void createTextRenderPass(Renderer& r) {
    VkAttachmentDescription colour{};
    colour.format = TEXT_FORMAT;
    colour.samples = VK_SAMPLE_COUNT_1_BIT;
    colour.loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    colour.storeOp = VK_ATTACHMENT_STORE_OP_STORE;
    colour.stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    colour.stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    colour.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    colour.finalLayout = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;
    const VkAttachmentReference reference{0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    VkSubpassDescription subpass{};
    subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
    subpass.colorAttachmentCount = 1;
    subpass.pColorAttachments = &reference;
    VkSubpassDependency dependency{};
    dependency.srcSubpass = VK_SUBPASS_EXTERNAL;
    dependency.dstSubpass = 0;
    dependency.srcStageMask = VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT;
    dependency.dstStageMask = VK_PIPELINE_STAGE_EARLY_FRAGMENT_TESTS_BIT | VK_PIPELINE_STAGE_LATE_FRAGMENT_TESTS_BIT |
                              VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    dependency.srcAccessMask = 0;
    dependency.dstAccessMask = VK_ACCESS_COLOR_ATTACHMENT_READ_BIT | VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
    dependency.dependencyFlags = VK_DEPENDENCY_BY_REGION_BIT;
    VkRenderPassCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO;
    create.attachmentCount = 1;
    create.pAttachments = &colour;
    create.subpassCount = 1;
    create.pSubpasses = &subpass;
    create.dependencyCount = 1;
    create.pDependencies = &dependency;
    checkVkResult(vkCreateRenderPass(r.device, &create, nullptr, &r.text.renderPass));
    defer(r.deviceObjects, [&r] { vkDestroyRenderPass(r.device, r.text.renderPass, nullptr); });
}

void destroyTexture(Renderer& r, TextTexture& t) {
    if (t.set != VK_NULL_HANDLE) vkFreeDescriptorSets(r.device, r.descriptorPool, 1, &t.set);
    if (t.sampler != VK_NULL_HANDLE) vkDestroySampler(r.device, t.sampler, nullptr);
    if (t.view != VK_NULL_HANDLE) vkDestroyImageView(r.device, t.view, nullptr);
    if (t.image != VK_NULL_HANDLE) vkDestroyImage(r.device, t.image, nullptr);
    if (t.memory != VK_NULL_HANDLE) vkFreeMemory(r.device, t.memory, nullptr);
    t = TextTexture{};
}

struct TextPush {
    float offset[2];
    float scale[2];
};

struct QuadPush {
    float origin[2], size[2], uvOrigin[2], uvSize[2];
};

}  // namespace

void createTextBlockResources(Renderer& r) {
    TextBlockResources& t = r.text;
    // Drawing blocks: the font atlas as the one texture, the pixel-to-clip
    // mapping as push constants, a render pass leaving the image ready to
    // be sampled, and one pipeline for every block.
    t.atlasLayout = samplerLayout(r);
    t.atlasSet = samplerSet(r, t.atlasLayout, r.fontView, r.fontSampler);
    t.blockLayout = pushLayout(r, t.atlasLayout, sizeof(TextPush));
    createTextRenderPass(r);
    PipelineDesc block;
    block.vertex = &shaders::block_text_vert;
    block.fragment = &shaders::block_text_frag;
    block.bindings = {{0, 8, VK_VERTEX_INPUT_RATE_VERTEX}};
    block.attributes = {{0, 0, VK_FORMAT_R32_UINT, 0}, {1, 0, VK_FORMAT_R32_UINT, 4}};
    block.blend = Blend::Alpha;
    block.layout = t.blockLayout;
    block.renderPass = t.renderPass;
    block.dynamicRect = true;  // each block its own size
    t.blockPipeline = createPipeline(r, block);
    defer(r.deviceObjects, [&r] { vkDestroyPipeline(r.device, r.text.blockPipeline, nullptr); });
    // Showing them: each block's texture as the one texture of the quad.
    t.imageLayout = samplerLayout(r);
    t.quadLayout = pushLayout(r, t.imageLayout, sizeof(QuadPush));
    // Every texture still alive goes with the device.
    defer(r.deviceObjects, [&r] {
        for (TextTexture& texture : r.text.textures) destroyTexture(r, texture);
        r.text.textures.clear();
    });
}

void createTextImagePipeline(Renderer& r) {
    PipelineDesc quad;
    quad.vertex = &shaders::text_image_vert;
    quad.fragment = &shaders::text_image_frag;
    quad.cull = VK_CULL_MODE_NONE;
    quad.layout = r.text.quadLayout;
    quad.renderPass = r.renderPass;
    quad.samples = VK_SAMPLE_COUNT_1_BIT;  // the display pass
    quad.dynamicRect = true;  // clipped to the Text window as it scrolls
    r.text.quadPipeline = createPipeline(r, quad);
    defer(r.swapChainObjects, [&r] {
        vkDestroyPipeline(r.device, r.text.quadPipeline, nullptr);
        r.text.quadPipeline = VK_NULL_HANDLE;
    });
}

void renderTextBlock(Renderer& r, const void* vertices, uint32_t vertexCount, int width, int height) {
    TextBlockResources& t = r.text;
    const auto maxSide = static_cast<int>(r.deviceProperties.limits.maxImageDimension2D);
    width = std::clamp(width, 1, maxSide);
    height = std::clamp(height, 1, maxSide);

    // The texture: device memory of its own, a view, a sampler and the set
    // the Text window's quad binds.
    TextTexture texture;
    texture.width = width;
    texture.height = height;
    VkImageCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO;
    info.imageType = VK_IMAGE_TYPE_2D;
    info.extent = {static_cast<uint32_t>(width), static_cast<uint32_t>(height), 1};
    info.mipLevels = 1;
    info.arrayLayers = 1;
    info.format = TEXT_FORMAT;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    info.usage = VK_IMAGE_USAGE_SAMPLED_BIT | VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
    info.samples = VK_SAMPLE_COUNT_1_BIT;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    VkFramebuffer framebuffer = VK_NULL_HANDLE;
    GpuBuffer vertexBuffer;
    try {
        checkVkResult(vkCreateImage(r.device, &info, nullptr, &texture.image));
        VkMemoryRequirements requirements;
        vkGetImageMemoryRequirements(r.device, texture.image, &requirements);
        VkMemoryPropertyFlags flags = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
        VkMemoryAllocateInfo alloc{};
        alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
        alloc.allocationSize = requirements.size;
        alloc.memoryTypeIndex = findMemoryType(r.gpu.memoryProperties, requirements.memoryTypeBits, flags, 0,
                                               requirements.size);
        checkVkResult(vkAllocateMemory(r.device, &alloc, nullptr, &texture.memory));
        checkVkResult(vkBindImageMemory(r.device, texture.image, texture.memory, 0));
        VkImageViewCreateInfo viewInfo{};
        viewInfo.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
        viewInfo.image = texture.image;
        viewInfo.viewType = VK_IMAGE_VIEW_TYPE_2D;
        viewInfo.format = TEXT_FORMAT;
        viewInfo.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
        checkVkResult(vkCreateImageView(r.device, &viewInfo, nullptr, &texture.view));
        texture.sampler = createNearestSampler(r, VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE);
        texture.set = samplerSet(r, t.imageLayout, texture.view, texture.sampler);

        VkFramebufferCreateInfo fb{};
        fb.sType = VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO;
        fb.renderPass = t.renderPass;
        fb.attachmentCount = 1;
        fb.pAttachments = &texture.view;
        fb.width = static_cast<uint32_t>(width);
        fb.height = static_cast<uint32_t>(height);
        fb.layers = 1;
        checkVkResult(vkCreateFramebuffer(r.device, &fb, nullptr, &framebuffer));

        // The glyphs, drawn with one-time commands.
        if (vertexCount > 0) {
            createBuffer(vertexBuffer, r.gpu, "block_text_buffer_vertex", vertexCount * 8,
                         VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | VK_BUFFER_USAGE_TRANSFER_SRC_BIT |
                             VK_BUFFER_USAGE_TRANSFER_DST_BIT,
                         VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT, VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT, 8);
            uploadToBuffer(vertexBuffer, vertices, vertexCount * 8);
        }
        VkCommandBuffer commands = beginSingleTimeCommands(r.gpu);
        VkClearValue clear{};
        clear.color = {{0.0f, 0.0f, 0.0f, 1.0f}};
        VkRenderPassBeginInfo pass{};
        pass.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
        pass.renderPass = t.renderPass;
        pass.framebuffer = framebuffer;
        pass.renderArea = {{0, 0}, {static_cast<uint32_t>(width), static_cast<uint32_t>(height)}};
        pass.clearValueCount = 1;
        pass.pClearValues = &clear;
        vkCmdBeginRenderPass(commands, &pass, VK_SUBPASS_CONTENTS_INLINE);
        if (vertexCount > 0) {
            const VkViewport viewport{0, 0, static_cast<float>(width), static_cast<float>(height), 0.0f, 1.0f};
            const VkRect2D scissor{{0, 0}, {static_cast<uint32_t>(width), static_cast<uint32_t>(height)}};
            vkCmdSetViewport(commands, 0, 1, &viewport);
            vkCmdSetScissor(commands, 0, 1, &scissor);
            vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, t.blockPipeline);
            vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, t.blockLayout, 0, 1, &t.atlasSet, 0,
                                    nullptr);
            const TextPush push{{-1.0f, -1.0f}, {2.0f / static_cast<float>(width), 2.0f / static_cast<float>(height)}};
            vkCmdPushConstants(commands, t.blockLayout, VK_SHADER_STAGE_VERTEX_BIT, 0, sizeof push, &push);
            const VkDeviceSize zero = 0;
            vkCmdBindVertexBuffers(commands, 0, 1, &vertexBuffer.buffer, &zero);
            vkCmdDraw(commands, vertexCount, 1, 0, 0);
        }
        vkCmdEndRenderPass(commands);
        endSingleTimeCommands(r.gpu, commands);
    } catch (...) {
        if (framebuffer != VK_NULL_HANDLE) vkDestroyFramebuffer(r.device, framebuffer, nullptr);
        destroyBuffer(vertexBuffer);
        destroyTexture(r, texture);
        throw;
    }
    vkDestroyFramebuffer(r.device, framebuffer, nullptr);
    destroyBuffer(vertexBuffer);

    // The block shown so far may still be read by a frame in flight: it goes
    // once every frame slot has been waited for since.
    for (TextTexture& old : t.textures) {
        if (old.retireAfter == 0) old.retireAfter = t.frameCounter + FRAMES_IN_FLIGHT;
    }
    t.textures.push_back(texture);
    t.current = texture;
    for (auto& marks : r.redraw) marks[1] = 1;
}

void retireTextTextures(Renderer& r) {
    TextBlockResources& t = r.text;
    ++t.frameCounter;
    for (TextTexture& texture : t.textures) {
        if (texture.retireAfter != 0 && texture.retireAfter < t.frameCounter) destroyTexture(r, texture);
    }
    t.textures.erase(std::remove_if(t.textures.begin(), t.textures.end(),
                                    [](const TextTexture& x) { return x.image == VK_NULL_HANDLE; }),
                     t.textures.end());
}

void drawTextBlockImage(Renderer& r, VkCommandBuffer commands, const float rect[4], const float clip[4]) {
    const TextBlockResources& t = r.text;
    if (t.current.image == VK_NULL_HANDLE || t.quadPipeline == VK_NULL_HANDLE) return;
    const float W = static_cast<float>(r.extent.width), H = static_cast<float>(r.extent.height);
    const float x0 = std::max(clip[0], 0.0f), y0 = std::max(clip[1], 0.0f);
    const float x1 = std::min(clip[2], W), y1 = std::min(clip[3], H);
    if (x1 <= x0 || y1 <= y0) return;
    const VkViewport viewport{0, 0, W, H, 0.0f, 1.0f};
    const VkRect2D scissor{{static_cast<int32_t>(x0), static_cast<int32_t>(y0)},
                           {static_cast<uint32_t>(x1 - x0), static_cast<uint32_t>(y1 - y0)}};
    vkCmdSetViewport(commands, 0, 1, &viewport);
    vkCmdSetScissor(commands, 0, 1, &scissor);
    vkCmdBindPipeline(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, t.quadPipeline);
    vkCmdBindDescriptorSets(commands, VK_PIPELINE_BIND_POINT_GRAPHICS, t.quadLayout, 0, 1, &t.current.set, 0,
                            nullptr);
    // The whole texture, one texel per pixel, over the rectangle.
    const QuadPush push{{rect[0] / W * 2 - 1, rect[1] / H * 2 - 1},
                        {(rect[2] - rect[0]) / W * 2, (rect[3] - rect[1]) / H * 2},
                        {0, 0},
                        {(rect[2] - rect[0]) / static_cast<float>(t.current.width),
                         (rect[3] - rect[1]) / static_cast<float>(t.current.height)}};
    vkCmdPushConstants(commands, t.quadLayout, VK_SHADER_STAGE_VERTEX_BIT, 0, sizeof push, &push);
    vkCmdDraw(commands, 6, 1, 0, 0);
}

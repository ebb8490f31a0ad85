// Descriptor layout and sets, uniform buffers, and the graphics pipelines of
// the four passes.
#include <algorithm>
#include <stdexcept>
#include <vector>

#include "render/render_internal.h"
#include "render/renderer.h"
#include "render/shader_code.h"
#include "render/vk_check.h"

void createDescriptorSetLayout(Renderer& r) {
    const VkShaderStageFlags vertex = VK_SHADER_STAGE_VERTEX_BIT;
    const VkShaderStageFlags fragment = VK_SHADER_STAGE_FRAGMENT_BIT;
    // Binding 2 is not used any more (the foreground discs are worked out per
    // pixel) and keeps its number free.
    // 6 and 7: the stars' and the background's light, for the display pass
    // and the exposure measurement.
    const VkDescriptorSetLayoutBinding bindings[7] = {
        {0, VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER, 1, vertex | fragment, nullptr},
        {1, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, fragment, nullptr},
        {3, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex, nullptr},
        {4, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex, nullptr},
        {5, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex | fragment, nullptr},
        {6, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, fragment, nullptr},
        {7, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, fragment, nullptr},
    };
    VkDescriptorSetLayoutCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    create.bindingCount = 7;
    create.pBindings = bindings;
    checkVkResult(vkCreateDescriptorSetLayout(r.device, &create, nullptr, &r.descriptorSetLayout));
    defer(r.deviceObjects, [&r] {
        vkDestroyDescriptorSetLayout(r.device, r.descriptorSetLayout, nullptr);
        r.descriptorSetLayout = VK_NULL_HANDLE;
    });
}

void createUniformBuffers(Renderer& r) {
    r.uniformBuffers.resize(r.images.size());
    for (GpuBuffer& b : r.uniformBuffers) {
        createRendererBuffer(r, b, "uniform buffer", sizeof(UniformBufferObject), VK_BUFFER_USAGE_UNIFORM_BUFFER_BIT,
                             VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT, 0, 1);
    }
}

void createDescriptorSets(Renderer& r) {
    const size_t count = r.images.size();
    std::vector<VkDescriptorSetLayout> layouts(count, r.descriptorSetLayout);
    VkDescriptorSetAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_ALLOCATE_INFO;
    alloc.descriptorPool = r.descriptorPool;
    alloc.descriptorSetCount = static_cast<uint32_t>(count);
    alloc.pSetLayouts = layouts.data();
    r.descriptorSets.resize(count);
    checkVkResult(vkAllocateDescriptorSets(r.device, &alloc, r.descriptorSets.data()));

    for (size_t i = 0; i < count; ++i) {
        const VkDescriptorBufferInfo uniform{r.uniformBuffers[i].buffer, 0, sizeof(UniformBufferObject)};
        const VkDescriptorImageInfo font{r.fontSampler, r.fontView, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL};
        const VkDescriptorBufferInfo storage[3] = {
            {r.nearRecords.buffer, 0, VK_WHOLE_SIZE},
            {r.shapeTable.buffer, 0, VK_WHOLE_SIZE},
            {r.backgroundParams.buffer, 0, VK_WHOLE_SIZE},
        };
        VkWriteDescriptorSet writes[5]{};
        const uint32_t binding[5] = {0, 1, 3, 4, 5};
        for (uint32_t b = 0; b < 5; ++b) {
            writes[b].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
            writes[b].dstSet = r.descriptorSets[i];
            writes[b].dstBinding = binding[b];
            writes[b].descriptorCount = 1;
            writes[b].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
        }
        writes[0].descriptorType = VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER;
        writes[0].pBufferInfo = &uniform;
        writes[1].descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
        writes[1].pImageInfo = &font;
        for (int s = 0; s < 3; ++s) writes[2 + s].pBufferInfo = &storage[s];
        // The background parameters exist only when the galaxy has arms to show.
        const uint32_t writeCount = r.backgroundParams.size > 0 ? 5 : 4;
        vkUpdateDescriptorSets(r.device, writeCount, writes, 0, nullptr);
    }
}

void writeLightDescriptors(Renderer& r) {
    const VkDescriptorImageInfo images[2] = {
        {r.lightSampler, r.lightView, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL},
        {r.lightSampler, r.backgroundView, VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL},
    };
    for (VkDescriptorSet set : r.descriptorSets) {
        VkWriteDescriptorSet writes[2]{};
        for (uint32_t b = 0; b < 2; ++b) {
            writes[b].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
            writes[b].dstSet = set;
            writes[b].dstBinding = 6 + b;
            writes[b].descriptorCount = 1;
            writes[b].descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
            writes[b].pImageInfo = &images[b];
        }
        vkUpdateDescriptorSets(r.device, 2, writes, 0, nullptr);
    }
}

void createPipelineLayout(Renderer& r) {
    VkPipelineLayoutCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_PIPELINE_LAYOUT_CREATE_INFO;
    create.setLayoutCount = 1;
    create.pSetLayouts = &r.descriptorSetLayout;
    checkVkResult(vkCreatePipelineLayout(r.device, &create, nullptr, &r.pipelineLayout));
    defer(r.swapChainObjects, [&r] {
        vkDestroyPipelineLayout(r.device, r.pipelineLayout, nullptr);
        r.pipelineLayout = VK_NULL_HANDLE;
    });
}

VkShaderModule createShaderModule(Renderer& r, const ShaderCode& code) {
    VkShaderModuleCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_SHADER_MODULE_CREATE_INFO;
    create.codeSize = code.size;
    create.pCode = code.words;
    VkShaderModule module;
    if (vkCreateShaderModule(r.device, &create, nullptr, &module) != VK_SUCCESS) {
        throw std::runtime_error("failed to create shader module!");
    }
    return module;
}

VkPipeline createPipeline(Renderer& r, const PipelineDesc& desc) {
    VkShaderModule vertex = createShaderModule(r, *desc.vertex);
    VkShaderModule fragment = VK_NULL_HANDLE;
    try {
        fragment = createShaderModule(r, *desc.fragment);
    } catch (...) {
        vkDestroyShaderModule(r.device, vertex, nullptr);
        throw;
    }
    const VkSpecializationMapEntry entry{0, 0, sizeof(uint32_t)};
    const VkSpecializationInfo specialisation{1, &entry, sizeof(uint32_t), &desc.specialisation};
    VkPipelineShaderStageCreateInfo stages[2]{};
    stages[0].sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    stages[0].stage = VK_SHADER_STAGE_VERTEX_BIT;
    stages[0].module = vertex;
    stages[0].pName = "main";
    stages[1] = stages[0];
    stages[1].stage = VK_SHADER_STAGE_FRAGMENT_BIT;
    stages[1].module = fragment;
    if (desc.specialised) stages[1].pSpecializationInfo = &specialisation;

    VkPipelineVertexInputStateCreateInfo input{};

    input.sType = VK_STRUCTURE_TYPE_PIPELINE_VERTEX_INPUT_STATE_CREATE_INFO;
    input.vertexBindingDescriptionCount = static_cast<uint32_t>(desc.bindings.size());
    input.pVertexBindingDescriptions = desc.bindings.data();
    input.vertexAttributeDescriptionCount = static_cast<uint32_t>(desc.attributes.size());
    input.pVertexAttributeDescriptions = desc.attributes.data();

    VkPipelineInputAssemblyStateCreateInfo assembly{};

    assembly.sType = VK_STRUCTURE_TYPE_PIPELINE_INPUT_ASSEMBLY_STATE_CREATE_INFO;
    assembly.topology = desc.topology;
    assembly.primitiveRestartEnable = VK_FALSE;

    const ViewportRect& rect = desc.rect;
    const VkViewport viewport{rect.x, rect.y, rect.width, rect.height, 0.0f, 1.0f};
    const VkRect2D scissor{{static_cast<int32_t>(rect.x), static_cast<int32_t>(rect.y)},
                           {static_cast<uint32_t>(rect.width), static_cast<uint32_t>(rect.height)}};
    const VkDynamicState dynamicStates[2] = {VK_DYNAMIC_STATE_VIEWPORT, VK_DYNAMIC_STATE_SCISSOR};
    VkPipelineDynamicStateCreateInfo dynamic{};
    dynamic.sType = VK_STRUCTURE_TYPE_PIPELINE_DYNAMIC_STATE_CREATE_INFO;
    dynamic.dynamicStateCount = 2;
    dynamic.pDynamicStates = dynamicStates;
    VkPipelineViewportStateCreateInfo viewportState{};
    viewportState.sType = VK_STRUCTURE_TYPE_PIPELINE_VIEWPORT_STATE_CREATE_INFO;
    viewportState.viewportCount = 1;
    viewportState.pViewports = &viewport;
    viewportState.scissorCount = 1;
    viewportState.pScissors = &scissor;

    VkPipelineRasterizationStateCreateInfo raster{};

    raster.sType = VK_STRUCTURE_TYPE_PIPELINE_RASTERIZATION_STATE_CREATE_INFO;
    raster.depthClampEnable = VK_FALSE;
    raster.rasterizerDiscardEnable = VK_FALSE;
    raster.polygonMode = VK_POLYGON_MODE_FILL;
    raster.lineWidth = 1.0f;
    raster.cullMode = desc.cull;
    raster.frontFace = VK_FRONT_FACE_COUNTER_CLOCKWISE;
    raster.depthBiasEnable = VK_FALSE;

    VkPipelineMultisampleStateCreateInfo multisample{};

    multisample.sType = VK_STRUCTURE_TYPE_PIPELINE_MULTISAMPLE_STATE_CREATE_INFO;
    multisample.rasterizationSamples = desc.samples;
    multisample.sampleShadingEnable = VK_FALSE;

    VkPipelineDepthStencilStateCreateInfo depth{};

    depth.sType = VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO;
    depth.depthTestEnable = VK_FALSE;
    depth.depthWriteEnable = VK_FALSE;
    depth.depthCompareOp = VK_COMPARE_OP_LESS;
    depth.depthBoundsTestEnable = VK_FALSE;
    depth.minDepthBounds = 0.0f;
    depth.maxDepthBounds = 1.0f;
    depth.stencilTestEnable = VK_FALSE;

    VkPipelineColorBlendAttachmentState attachment{};
    attachment.colorWriteMask =
        VK_COLOR_COMPONENT_R_BIT | VK_COLOR_COMPONENT_G_BIT | VK_COLOR_COMPONENT_B_BIT | VK_COLOR_COMPONENT_A_BIT;
    attachment.blendEnable = desc.blend != Blend::None;
    attachment.colorBlendOp = VK_BLEND_OP_ADD;
    attachment.alphaBlendOp = VK_BLEND_OP_ADD;
    if (desc.blend == Blend::Light) {
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ZERO;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
    } else if (desc.blend == Blend::Cover) {
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
    } else if (desc.blend == Blend::Alpha) {
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_SRC_ALPHA;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE_MINUS_SRC_ALPHA;
    }
    VkPipelineColorBlendStateCreateInfo colorBlend{};
    colorBlend.sType = VK_STRUCTURE_TYPE_PIPELINE_COLOR_BLEND_STATE_CREATE_INFO;
    colorBlend.logicOpEnable = VK_FALSE;
    colorBlend.attachmentCount = 1;
    colorBlend.pAttachments = &attachment;

    VkGraphicsPipelineCreateInfo create{};

    create.sType = VK_STRUCTURE_TYPE_GRAPHICS_PIPELINE_CREATE_INFO;
    create.stageCount = 2;
    create.pStages = stages;
    create.pVertexInputState = &input;
    create.pInputAssemblyState = &assembly;
    create.pViewportState = &viewportState;
    create.pRasterizationState = &raster;
    create.pMultisampleState = &multisample;
    create.pDepthStencilState = &depth;
    create.pColorBlendState = &colorBlend;
    create.layout = desc.layout;
    create.pDynamicState = desc.dynamicRect ? &dynamic : nullptr;
    create.renderPass = desc.renderPass;
    create.subpass = 0;
    VkPipeline pipeline = VK_NULL_HANDLE;
    const VkResult result = vkCreateGraphicsPipelines(r.device, VK_NULL_HANDLE, 1, &create, nullptr, &pipeline);
    vkDestroyShaderModule(r.device, fragment, nullptr);
    vkDestroyShaderModule(r.device, vertex, nullptr);
    if (result != VK_SUCCESS) throw std::runtime_error("failed to create graphics pipeline!");
    return pipeline;
}

namespace {

// Where a pipeline draws: its pass, the pass's sample count and the viewport.
struct PassTarget {
    VkRenderPass pass;
    VkSampleCountFlagBits samples;
    ViewportRect rect;
};

PipelineDesc program(const ShaderCode& vertexCode, const ShaderCode& fragmentCode, VkPrimitiveTopology topology,
                     VkCullModeFlags cull, Blend blend,
                     std::vector<VkVertexInputBindingDescription> bindings = {},
                     std::vector<VkVertexInputAttributeDescription> attributes = {}) {
    PipelineDesc desc;
    desc.vertex = &vertexCode;
    desc.fragment = &fragmentCode;
    desc.bindings = std::move(bindings);
    desc.attributes = std::move(attributes);
    desc.topology = topology;
    desc.cull = cull;
    desc.blend = blend;
    return desc;
}

// A main pipeline: the main layout, the target's pass, sample count and a
// static viewport and scissor.
void createGraphicsPipeline(Renderer& r, VkPipeline& pipeline, const PassTarget& target, PipelineDesc desc) {
    desc.layout = r.pipelineLayout;
    desc.renderPass = target.pass;
    desc.samples = target.samples;
    desc.rect = target.rect;
    pipeline = createPipeline(r, desc);
    defer(r.pipelineObjects, [&r, &pipeline] {
        vkDestroyPipeline(r.device, pipeline, nullptr);
        pipeline = VK_NULL_HANDLE;
    });
}

VkVertexInputBindingDescription binding(uint32_t stride) { return {0, stride, VK_VERTEX_INPUT_RATE_VERTEX}; }

}  // namespace

StarViewport starViewport(const Renderer& r) {
    // The display area minus an open help screen's margin, on the side away
    // from the panel.
    const int W = r.geometry.framebufferWidth;
    const int M = r.built.helpMargin;
    StarViewport v;
    v.x = r.built.panelOnRight ? M : W - r.geometry.displayWidth;
    v.width = std::max(1, r.geometry.displayWidth - M);
    v.height = std::max(1, r.geometry.displayHeight);
    v.background = backgroundExtentFor({static_cast<uint32_t>(v.width), static_cast<uint32_t>(v.height)},
                                       backgroundResolution(r.lightExtent));
    return v;
}

void createGraphicsPipelines(Renderer& r) {
    const StarViewport v = starViewport(r);
    const float width = static_cast<float>(v.width), height = static_cast<float>(v.height);
    const ViewportRect backgroundRect{0, 0, static_cast<float>(v.background.width),
                                      static_cast<float>(v.background.height)};
    const PassTarget background{r.backgroundPass, VK_SAMPLE_COUNT_1_BIT, backgroundRect};
    const PassTarget stars{r.starPass, r.msaaSamples, {0, 0, width, height}};
    const PassTarget measure{r.exposurePass, VK_SAMPLE_COUNT_1_BIT,
                             {0, 0, static_cast<float>(EXPOSURE_GRID_WIDTH), static_cast<float>(EXPOSURE_GRID_HEIGHT)}};
    const PassTarget display{r.renderPass, VK_SAMPLE_COUNT_1_BIT, {static_cast<float>(v.x), 0, width, height}};

    const auto tri = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    const auto back = VK_CULL_MODE_BACK_BIT;
    const auto none = VK_CULL_MODE_NONE;

    // The diffuse background: Background "Normal" integrates the ellipsoids
    // and the tubes per pixel, "Low Q" per vertex.
    const bool perPixel = r.built.backgroundMode == BackgroundMode::Normal;
    createGraphicsPipeline(
        r, r.ellipsoidPipeline, background,
        program(perPixel ? shaders::ellipsoid_setup_vert : shaders::ellipsoid_vert,
                perPixel ? shaders::ellipsoid_frag : shaders::intensity_frag, tri, back, Blend::Light, {binding(16)},
                {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0}, {1, 0, VK_FORMAT_R32_UINT, 12}}));
    createGraphicsPipeline(
        r, r.backgroundPipeline, background,
        program(perPixel ? shaders::tube_setup_vert : shaders::tube_vert,
                perPixel ? shaders::tube_frag : shaders::intensity_frag, tri, back, Blend::Light, {binding(4)},
                {{0, 0, VK_FORMAT_R16_UINT, 0}, {1, 0, VK_FORMAT_R8_UINT, 2}, {2, 0, VK_FORMAT_R8_UINT, 3}}));

    // The stars: light added up, the foreground discs covering what is behind.
    createGraphicsPipeline(r, r.pointPipeline, stars,
                           program(shaders::point_vert, shaders::point_frag, VK_PRIMITIVE_TOPOLOGY_POINT_LIST, back,
                                   Blend::Light, {binding(16)},
                                   {{0, 0, VK_FORMAT_R32_SINT, 0},
                                    {1, 0, VK_FORMAT_R32_SINT, 4},
                                    {2, 0, VK_FORMAT_R32_SINT, 8},
                                    {3, 0, VK_FORMAT_R32_SINT, 12}}));
    createGraphicsPipeline(r, r.shapePipeline, stars,
                           program(shaders::shape_vert, shaders::shape_frag, tri, back, Blend::Light));
    createGraphicsPipeline(r, r.foregroundPipeline, stars,
                           program(shaders::foreground_vert, shaders::foreground_frag, tri, none, Blend::Cover));

    createGraphicsPipeline(r, r.exposurePipeline, measure,
                           program(shaders::fullscreen_vert, shaders::exposure_measure_frag, tri, none, Blend::None));

    // The display: the light tone-mapped, then the markers over it.
    PipelineDesc toneMap = program(shaders::fullscreen_vert, shaders::tone_map_frag, tri, none, Blend::None);
    toneMap.specialised = true;
    toneMap.specialisation = r.linearOutput ? 1 : 0;
    createGraphicsPipeline(r, r.toneMapPipeline, display, toneMap);
    createGraphicsPipeline(r, r.highlightPipeline, display,
                           program(shaders::highlight_vert, shaders::color_frag, VK_PRIMITIVE_TOPOLOGY_LINE_LIST, back,
                                   Blend::None, {binding(4)}, {{0, 0, VK_FORMAT_R32_UINT, 0}}));
    createGraphicsPipeline(r, r.labelPipeline, display,
                           program(shaders::label_vert, shaders::label_frag, tri, back, Blend::Alpha, {binding(12)},
                                   {{0, 0, VK_FORMAT_R32_UINT, 0}, {1, 0, VK_FORMAT_R32G32_SFLOAT, 4}}));
    createGraphicsPipeline(r, r.crosshairPipeline, display,
                           program(shaders::crosshair_vert, shaders::crosshair_frag, VK_PRIMITIVE_TOPOLOGY_LINE_LIST,
                                   back, Blend::Alpha));
}

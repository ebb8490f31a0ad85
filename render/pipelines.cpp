// Descriptor layout and sets, uniform buffers, and the eight graphics pipelines.
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
    const VkDescriptorSetLayoutBinding bindings[6] = {
        {0, VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER, 1, vertex | fragment, nullptr},
        {1, VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 1, fragment, nullptr},
        {2, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex, nullptr},
        {3, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex, nullptr},
        {4, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex, nullptr},
        {5, VK_DESCRIPTOR_TYPE_STORAGE_BUFFER, 1, vertex | fragment, nullptr},
    };
    VkDescriptorSetLayoutCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_SET_LAYOUT_CREATE_INFO;
    create.bindingCount = 6;
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
        const VkDescriptorBufferInfo storage[4] = {
            {r.spherePoints.buffer, 0, VK_WHOLE_SIZE},
            {r.nearRecords.buffer, 0, VK_WHOLE_SIZE},
            {r.shapeTable.buffer, 0, VK_WHOLE_SIZE},
            {r.backgroundParams.buffer, 0, VK_WHOLE_SIZE},
        };
        VkWriteDescriptorSet writes[6]{};
        for (uint32_t b = 0; b < 6; ++b) {
            writes[b].sType = VK_STRUCTURE_TYPE_WRITE_DESCRIPTOR_SET;
            writes[b].dstSet = r.descriptorSets[i];
            writes[b].dstBinding = b;
            writes[b].descriptorCount = 1;
            writes[b].descriptorType = VK_DESCRIPTOR_TYPE_STORAGE_BUFFER;
        }
        writes[0].descriptorType = VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER;
        writes[0].pBufferInfo = &uniform;
        writes[1].descriptorType = VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
        writes[1].pImageInfo = &font;
        for (int s = 0; s < 4; ++s) writes[2 + s].pBufferInfo = &storage[s];
        // The background parameters exist only when the galaxy has arms to show.
        const uint32_t writeCount = r.backgroundParams.size > 0 ? 6 : 5;
        vkUpdateDescriptorSets(r.device, writeCount, writes, 0, nullptr);
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
    VkPipelineShaderStageCreateInfo stages[2]{};
    stages[0].sType = VK_STRUCTURE_TYPE_PIPELINE_SHADER_STAGE_CREATE_INFO;
    stages[0].stage = VK_SHADER_STAGE_VERTEX_BIT;
    stages[0].module = vertex;
    stages[0].pName = "main";
    stages[1] = stages[0];
    stages[1].stage = VK_SHADER_STAGE_FRAGMENT_BIT;
    stages[1].module = fragment;

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
    multisample.sampleShadingEnable = VK_TRUE;
    multisample.minSampleShading = 1.0f;

    VkPipelineDepthStencilStateCreateInfo depth{};

    depth.sType = VK_STRUCTURE_TYPE_PIPELINE_DEPTH_STENCIL_STATE_CREATE_INFO;
    depth.depthTestEnable = VK_FALSE;
    depth.depthWriteEnable = VK_TRUE;
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
    if (desc.blend == Blend::Additive) {
        attachment.srcColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstColorBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.srcAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
        attachment.dstAlphaBlendFactor = VK_BLEND_FACTOR_ONE;
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

// A main pipeline: the main layout and render pass, the display's sample
// count, a static viewport and scissor over the star viewport.
void createGraphicsPipeline(Renderer& r, VkPipeline& pipeline, const ShaderCode& vertexCode,
                            const ShaderCode& fragmentCode, const std::vector<VkVertexInputBindingDescription>& bindings,
                            const std::vector<VkVertexInputAttributeDescription>& attributes,
                            VkPrimitiveTopology topology, VkCullModeFlags cull, Blend blend, ViewportRect rect) {
    PipelineDesc desc;
    desc.vertex = &vertexCode;
    desc.fragment = &fragmentCode;
    desc.bindings = bindings;
    desc.attributes = attributes;
    desc.topology = topology;
    desc.cull = cull;
    desc.blend = blend;
    desc.layout = r.pipelineLayout;
    desc.renderPass = r.renderPass;
    desc.samples = r.msaaSamples;
    desc.rect = rect;
    pipeline = createPipeline(r, desc);
    defer(r.pipelineObjects, [&r, &pipeline] {
        vkDestroyPipeline(r.device, pipeline, nullptr);
        pipeline = VK_NULL_HANDLE;
    });
}

VkVertexInputBindingDescription binding(uint32_t stride) { return {0, stride, VK_VERTEX_INPUT_RATE_VERTEX}; }

}  // namespace

void createGraphicsPipelines(Renderer& r) {
    // The star viewport: the display area minus an open help screen's margin,
    // on the side away from the panel.
    const int W = r.geometry.framebufferWidth;
    const int M = r.built.helpMargin;
    ViewportRect rect;
    rect.x = static_cast<float>(r.built.panelOnRight ? M : W - r.geometry.displayWidth);
    rect.y = 0;
    rect.width = static_cast<float>(std::max(1, r.geometry.displayWidth - M));
    rect.height = static_cast<float>(std::max(1, r.geometry.displayHeight));

    const auto tri = VK_PRIMITIVE_TOPOLOGY_TRIANGLE_LIST;
    const auto back = VK_CULL_MODE_BACK_BIT;
    createGraphicsPipeline(r, r.pointPipeline, shaders::point_vert, shaders::color_frag, {binding(16)},
                           {{0, 0, VK_FORMAT_R32_SINT, 0},
                            {1, 0, VK_FORMAT_R32_SINT, 4},
                            {2, 0, VK_FORMAT_R32_SINT, 8},
                            {3, 0, VK_FORMAT_R32_SINT, 12}},
                           VK_PRIMITIVE_TOPOLOGY_POINT_LIST, back, Blend::Additive, rect);
    createGraphicsPipeline(r, r.highlightPipeline, shaders::highlight_vert, shaders::color_frag, {binding(4)},
                           {{0, 0, VK_FORMAT_R32_UINT, 0}}, VK_PRIMITIVE_TOPOLOGY_LINE_LIST, back, Blend::None, rect);
    createGraphicsPipeline(r, r.labelPipeline, shaders::label_vert, shaders::label_frag, {binding(12)},
                           {{0, 0, VK_FORMAT_R32_UINT, 0}, {1, 0, VK_FORMAT_R32G32_SFLOAT, 4}}, tri, back, Blend::Alpha,
                           rect);
    createGraphicsPipeline(r, r.shapePipeline, shaders::shape_vert, shaders::color_frag, {binding(4)},
                           {{0, 0, VK_FORMAT_R32_UINT, 0}}, tri, back, Blend::Additive, rect);
    createGraphicsPipeline(r, r.foregroundPipeline, shaders::foreground_vert, shaders::color_frag, {binding(4)},
                           {{0, 0, VK_FORMAT_R32_UINT, 0}}, tri, VK_CULL_MODE_NONE, Blend::None, rect);
    createGraphicsPipeline(r, r.crosshairPipeline, shaders::crosshair_vert, shaders::crosshair_frag, {}, {},
                           VK_PRIMITIVE_TOPOLOGY_LINE_LIST, back, Blend::Alpha, rect);
    // Background "Normal" integrates the ellipsoids and the tubes per pixel,
    // "Low Q" per vertex.
    const bool perPixel = r.built.backgroundMode == BackgroundMode::Normal;
    createGraphicsPipeline(r, r.ellipsoidPipeline, perPixel ? shaders::ellipsoid_setup_vert : shaders::ellipsoid_vert,
                           perPixel ? shaders::ellipsoid_frag : shaders::intensity_frag, {binding(16)},
                           {{0, 0, VK_FORMAT_R32G32B32_SFLOAT, 0}, {1, 0, VK_FORMAT_R32_UINT, 12}}, tri, back,
                           Blend::Additive, rect);
    createGraphicsPipeline(r, r.backgroundPipeline, perPixel ? shaders::tube_setup_vert : shaders::tube_vert,
                           perPixel ? shaders::tube_frag : shaders::intensity_frag, {binding(4)},
                           {{0, 0, VK_FORMAT_R16_UINT, 0}, {1, 0, VK_FORMAT_R8_UINT, 2}, {2, 0, VK_FORMAT_R8_UINT, 3}},
                           tri, back, Blend::Additive, rect);
}

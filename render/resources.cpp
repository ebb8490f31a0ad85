// The buffers the renderer creates at start-up, the star shape table, the
// label font texture and the sphere and background meshes.
#include <cstring>
#include <vector>

#include "render/render_internal.h"
#include "render/renderer.h"
#include "starfield/display_font.h"
#include "render/vk_check.h"

namespace {

constexpr VkBufferUsageFlags TS = VK_BUFFER_USAGE_TRANSFER_SRC_BIT;
constexpr VkBufferUsageFlags TD = VK_BUFFER_USAGE_TRANSFER_DST_BIT;
constexpr VkMemoryPropertyFlags DL = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
constexpr VkMemoryPropertyFlags HV = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;

constexpr uint32_t FONT_WIDTH = 512;
constexpr uint32_t FONT_HEIGHT = 2048;

// Most points the midground buffer holds: the default "Max stars gc".
constexpr uint32_t MAX_MIDGROUND_POINTS = 3000000;
constexpr uint32_t HIGHLIGHT_BYTES = 6400, LABEL_BYTES = 187200;

}  // namespace

const uint64_t RENDERER_BUFFER_BYTES =
    16ull * MAX_MIDGROUND_POINTS + 16ull * MAX_NEAR_STARS + HIGHLIGHT_BYTES + LABEL_BYTES;

namespace {

template <typename T>
uint32_t byteSize(const std::vector<T>& v) {
    return static_cast<uint32_t>(v.size() * sizeof(T));
}

}  // namespace

void createRendererBuffer(Renderer& r, GpuBuffer& b, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                          VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize) {
    createBuffer(b, r.gpu, name, size, usage, required, preferred, elementSize);
    defer(r.deviceObjects, [&b] { destroyBuffer(b); });
}

namespace {

void createGpuBuffers(Renderer& r) {
    r.midgroundPointCapacity = MAX_MIDGROUND_POINTS;
    createRendererBuffer(r, r.midgroundPoints, "midground_points", 16 * MAX_MIDGROUND_POINTS,
                         VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD, DL, HV, 16);
    createRendererBuffer(r, r.highlightVertices, "highlight_vertices", HIGHLIGHT_BYTES,
                         VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD, DL, HV, 4);
    createRendererBuffer(r, r.labelVertices, "label_vertices", LABEL_BYTES,
                         VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD, DL, HV, 12);
    createRendererBuffer(r, r.shapeTable, "shape_table", 144, VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, 0, 16);
    // The near stars' shapes need no index buffer: the shape program numbers
    // its vertices from the draw (24 per star).
    createRendererBuffer(r, r.nearRecords, "near_records", 16 * MAX_NEAR_STARS,
                         VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, HV, 16);
}

}  // namespace

VkSampler createNearestSampler(Renderer& r, VkSamplerAddressMode addressing) {
    VkSamplerCreateInfo sampler{};
    sampler.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    sampler.magFilter = VK_FILTER_NEAREST;
    sampler.minFilter = VK_FILTER_NEAREST;
    sampler.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
    sampler.addressModeU = addressing;
    sampler.addressModeV = addressing;
    sampler.addressModeW = addressing;
    sampler.anisotropyEnable = VK_FALSE;
    sampler.maxAnisotropy = 1.0f;
    sampler.compareEnable = VK_FALSE;
    sampler.compareOp = VK_COMPARE_OP_ALWAYS;
    sampler.minLod = -1000;
    sampler.maxLod = 1000;
    sampler.borderColor = VK_BORDER_COLOR_INT_OPAQUE_BLACK;
    sampler.unnormalizedCoordinates = VK_FALSE;
    VkSampler result = VK_NULL_HANDLE;
    checkVkResult(vkCreateSampler(r.device, &sampler, nullptr, &result));
    return result;
}

void uploadShapeTable(Renderer& r, StarShape starShape) {
    const auto table = buildShapeTable(starShape);
    GpuBuffer staging;
    createStaging(staging, r.shapeTable, sizeof(table));
    writeBuffer(staging, table.data(), sizeof(table));
    copyFromStaging(r.shapeTable, staging, sizeof(table));
    destroyBuffer(staging);
    r.starShape = starShape;
}

namespace {

void createLabelFontTexture(Renderer& r, const DisplayFont& font) {
    // The display font's glyph atlas, one byte of coverage per texel.
    GpuBuffer upload;
    createBuffer(upload, r.gpu, "font texture upload buffer", FONT_WIDTH * FONT_HEIGHT, TS, HV, 0, 4, true);
    writeBuffer(upload, font.atlas, FONT_WIDTH * FONT_HEIGHT);

    r.fontImage = createImage(r, FONT_WIDTH, FONT_HEIGHT, VK_SAMPLE_COUNT_1_BIT, VK_FORMAT_R8_UNORM,
                              VK_IMAGE_USAGE_TRANSFER_DST_BIT | VK_IMAGE_USAGE_SAMPLED_BIT, r.deviceObjects);
    VkCommandBuffer commands = beginSingleTimeCommands(r.gpu);
    transitionImageLayout(commands, r.fontImage, VK_IMAGE_LAYOUT_UNDEFINED, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
    VkBufferImageCopy region{};
    region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    region.imageExtent = {FONT_WIDTH, FONT_HEIGHT, 1};
    vkCmdCopyBufferToImage(commands, upload.buffer, r.fontImage, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &region);
    transitionImageLayout(commands, r.fontImage, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                          VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL);
    endSingleTimeCommands(r.gpu, commands);
    destroyBuffer(upload);

    r.fontView = createImageView(r, r.fontImage, VK_FORMAT_R8_UNORM, VK_IMAGE_ASPECT_COLOR_BIT, r.deviceObjects);
    r.fontSampler = createNearestSampler(r, VK_SAMPLER_ADDRESS_MODE_REPEAT);
    defer(r.deviceObjects, [&r] {
        vkDestroySampler(r.device, r.fontSampler, nullptr);
        r.fontSampler = VK_NULL_HANDLE;
    });
}

void buildSphereMeshes(Renderer& r, const IcosaTables& icosa, const GalaxyShapes& shapes) {
    const VkBufferUsageFlags vertexUsage = VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD;
    const VkBufferUsageFlags indexUsage = VK_BUFFER_USAGE_INDEX_BUFFER_BIT | TS | TD;

    // Small background ellipsoids: parameters in the uniform block, one mesh.
    const EllipsoidMesh ellipsoids = buildEllipsoidMesh(icosa, *shapes.ellipsoids);
    for (size_t i = 0; i < ellipsoids.params.size(); ++i) r.ubo.small_background_params[i] = ellipsoids.params[i];
    r.ellipsoidTriangles = ellipsoids.triangleCount;
    if (!ellipsoids.vertices.empty()) {
        createRendererBuffer(r, r.ellipsoidVertices, "ellipsoid_vertices", byteSize(ellipsoids.vertices), vertexUsage, DL,
                     HV, 16);
        uploadToBuffer(r.ellipsoidVertices, ellipsoids.vertices.data(), byteSize(ellipsoids.vertices));
        createRendererBuffer(r, r.ellipsoidIndices, "ellipsoid_indices", byteSize(ellipsoids.indices), indexUsage, DL, HV,
                     16);
        uploadToBuffer(r.ellipsoidIndices, ellipsoids.indices.data(), byteSize(ellipsoids.indices));
    }

    // The foreground discs need no mesh: each is worked out per pixel.

    // Arm tubes: node parameters and their mesh.
    const std::vector<ParamPart> nodes = buildTubeNodes(*shapes.armChains);
    if (!nodes.empty()) {
        createRendererBuffer(r, r.backgroundParams, "background_params", byteSize(nodes),
                     VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, HV, 32);
        uploadToBuffer(r.backgroundParams, nodes.data(), byteSize(nodes));
        const TubeMesh tubes = buildTubeMesh(*shapes.armChains, r.tubeRings);
        r.tubeSegments = tubes.segmentCount;
        createRendererBuffer(r, r.tubeVertices, "tube_vertices", byteSize(tubes.vertices), vertexUsage, DL, HV, 4);
        uploadToBuffer(r.tubeVertices, tubes.vertices.data(), byteSize(tubes.vertices));
        createRendererBuffer(r, r.tubeIndices, "tube_indices", byteSize(tubes.indices), indexUsage, DL, HV, 4);
        uploadToBuffer(r.tubeIndices, tubes.indices.data(), byteSize(tubes.indices));
    }
}

}  // namespace

void createDrawResources(Renderer& r, const IcosaTables& icosa, const GalaxyShapes& shapes, StarShape starShape,
                         const DisplayFont& font) {
    createGpuBuffers(r);
    uploadShapeTable(r, starShape);
    createLabelFontTexture(r, font);
    buildSphereMeshes(r, icosa, shapes);
    createTextBlockResources(r);
}

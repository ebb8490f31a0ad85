// The buffers the renderer creates at start-up, the star shape table, the
// label font texture and the sphere and background meshes.
#include <cstring>
#include <vector>

#include "app/application.h"
#include "render/renderer.h"
#include "render/vk_check.h"

VkImageView createImageView(Application& app, VkImage image, VkFormat format, VkImageAspectFlags aspect);
void createDeviceImage(Application& app, uint32_t width, uint32_t height, VkFormat format, VkImageUsageFlags usage,
                       VkImage& image, VkDeviceMemory& memory);

namespace {

constexpr VkBufferUsageFlags TS = VK_BUFFER_USAGE_TRANSFER_SRC_BIT;
constexpr VkBufferUsageFlags TD = VK_BUFFER_USAGE_TRANSFER_DST_BIT;
constexpr VkMemoryPropertyFlags DL = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
constexpr VkMemoryPropertyFlags HV = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;

constexpr uint32_t FONT_WIDTH = 512;
constexpr uint32_t FONT_HEIGHT = 2048;

// Most points the midground buffer holds: the default "Max stars gc".
constexpr uint32_t MAX_MIDGROUND_POINTS = 3000000;

template <typename T>
uint32_t byteSize(const std::vector<T>& v) {
    return static_cast<uint32_t>(v.size() * sizeof(T));
}

}  // namespace

void createGpuBuffers(Application& app) {
    VulkanState& vk = app.vk;
    vk.midgroundPointCapacity = MAX_MIDGROUND_POINTS;
    createBuffer(vk.midgroundPoints, vk.gpu, "midground_points", 16 * MAX_MIDGROUND_POINTS,
                 VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD, DL, HV, 16);
    createBuffer(vk.highlightVertices, vk.gpu, "highlight_vertices", 6400, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD,
                 DL, HV, 4);
    createBuffer(vk.labelVertices, vk.gpu, "label_vertices", 187200, VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD, DL,
                 HV, 12);
    createBuffer(vk.shapeTable, vk.gpu, "shape_table", 144, VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, 0, 16);
    createBuffer(vk.nearRecords, vk.gpu, "near_records", 16 * MAX_NEAR_STARS, VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD,
                 DL, HV, 16);
    createBuffer(vk.shapeIndices, vk.gpu, "shape_indices", SHAPE_INDICES_PER_STAR * 4 * MAX_NEAR_STARS,
                 VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TD, DL, 0, 4);

    // The index pattern of the shape pass is written once.
    GpuBuffer staging;
    createStaging(staging, vk.shapeIndices, vk.shapeIndices.size);
    auto* indices = static_cast<uint32_t*>(mapBuffer(staging));
    fillShapeIndices(indices, 0, MAX_NEAR_STARS);
    unmapBuffer(staging);
    copyFromStaging(vk.shapeIndices, staging, vk.shapeIndices.size);
    destroyBuffer(staging);

    buildShapeTable(app);
}

void buildShapeTable(Application& app) {
    const auto table = ::buildShapeTable(app.starShape);
    GpuBuffer staging;
    createStaging(staging, app.vk.shapeTable, sizeof(table));
    writeBuffer(staging, table.data(), sizeof(table));
    copyFromStaging(app.vk.shapeTable, staging, sizeof(table));
    destroyBuffer(staging);
}

void createLabelFontTexture(Application& app) {
    VulkanState& vk = app.vk;
    // The display font's glyph atlas comes with the user interface's text
    // module; until then the atlas is blank and no label is drawn.
    const std::vector<uint8_t> pixels(FONT_WIDTH * FONT_HEIGHT, 0);
    GpuBuffer upload;
    createBuffer(upload, vk.gpu, "font texture upload buffer", FONT_WIDTH * FONT_HEIGHT, TS, HV, 0, 4, true);
    writeBuffer(upload, pixels.data(), pixels.size());

    createDeviceImage(app, FONT_WIDTH, FONT_HEIGHT, VK_FORMAT_R8_UNORM,
                      VK_IMAGE_USAGE_TRANSFER_DST_BIT | VK_IMAGE_USAGE_SAMPLED_BIT, vk.fontImage, vk.fontMemory);
    VkCommandBuffer commands = beginSingleTimeCommands(vk.gpu);
    transitionImageLayout(commands, vk.fontImage, VK_IMAGE_LAYOUT_UNDEFINED, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL);
    VkBufferImageCopy region{};
    region.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    region.imageExtent = {FONT_WIDTH, FONT_HEIGHT, 1};
    vkCmdCopyBufferToImage(commands, upload.buffer, vk.fontImage, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL, 1, &region);
    transitionImageLayout(commands, vk.fontImage, VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL,
                          VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL);
    endSingleTimeCommands(vk.gpu, commands);
    destroyBuffer(upload);

    vk.fontView = createImageView(app, vk.fontImage, VK_FORMAT_R8_UNORM, VK_IMAGE_ASPECT_COLOR_BIT);
    VkSamplerCreateInfo sampler{};
    sampler.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    sampler.magFilter = VK_FILTER_NEAREST;
    sampler.minFilter = VK_FILTER_NEAREST;
    sampler.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
    sampler.addressModeU = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    sampler.addressModeV = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    sampler.addressModeW = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    sampler.anisotropyEnable = VK_FALSE;
    sampler.maxAnisotropy = 1.0f;
    sampler.compareEnable = VK_FALSE;
    sampler.compareOp = VK_COMPARE_OP_ALWAYS;
    sampler.minLod = -1000;
    sampler.maxLod = 1000;
    sampler.borderColor = VK_BORDER_COLOR_INT_OPAQUE_BLACK;
    sampler.unnormalizedCoordinates = VK_FALSE;
    checkVkResult(vkCreateSampler(vk.device, &sampler, nullptr, &vk.fontSampler));
}

void buildSphereMeshes(Application& app) {
    VulkanState& vk = app.vk;
    const VkBufferUsageFlags vertexUsage = VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TS | TD;
    const VkBufferUsageFlags indexUsage = VK_BUFFER_USAGE_INDEX_BUFFER_BIT | TS | TD;

    // Small background ellipsoids: parameters in the uniform block, one mesh.
    const EllipsoidMesh ellipsoids = buildEllipsoidMesh(app.icosa, app.backgroundShapes);
    for (size_t i = 0; i < ellipsoids.params.size(); ++i) app.ubo.small_background_params[i] = ellipsoids.params[i];
    vk.ellipsoidTriangles = ellipsoids.triangleCount;
    if (!ellipsoids.vertices.empty()) {
        createBuffer(vk.ellipsoidVertices, vk.gpu, "ellipsoid_vertices", byteSize(ellipsoids.vertices), vertexUsage, DL,
                     HV, 16);
        uploadToBuffer(vk.ellipsoidVertices, ellipsoids.vertices.data(), byteSize(ellipsoids.vertices));
        createBuffer(vk.ellipsoidIndices, vk.gpu, "ellipsoid_indices", byteSize(ellipsoids.indices), indexUsage, DL, HV,
                     16);
        uploadToBuffer(vk.ellipsoidIndices, ellipsoids.indices.data(), byteSize(ellipsoids.indices));
    }

    // Unit-sphere points and the foreground disc vertices.
    const ForegroundSpheres spheres = buildForegroundSpheres(app.icosa);
    createBuffer(vk.spherePoints, vk.gpu, "sphere_points", byteSize(spheres.points),
                 VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, HV, 16);
    uploadToBuffer(vk.spherePoints, spheres.points.data(), byteSize(spheres.points));
    createBuffer(vk.foregroundVertices, vk.gpu, "foreground_vertices", byteSize(spheres.vertexValues),
                 VK_BUFFER_USAGE_VERTEX_BUFFER_BIT | TD, DL, HV, 12);
    uploadToBuffer(vk.foregroundVertices, spheres.vertexValues.data(), byteSize(spheres.vertexValues));

    // Arm tubes: node parameters and their mesh.
    const std::vector<ParamPart> nodes = buildTubeNodes(app.armChains);
    if (!nodes.empty()) {
        createBuffer(vk.backgroundParams, vk.gpu, "background_params", byteSize(nodes),
                     VK_BUFFER_USAGE_STORAGE_BUFFER_BIT | TD, DL, HV, 32);
        uploadToBuffer(vk.backgroundParams, nodes.data(), byteSize(nodes));
        const TubeMesh tubes = buildTubeMesh(app.armChains, vk.tubeRings);
        vk.tubeSegments = tubes.segmentCount;
        createBuffer(vk.tubeVertices, vk.gpu, "tube_vertices", byteSize(tubes.vertices), vertexUsage, DL, HV, 4);
        uploadToBuffer(vk.tubeVertices, tubes.vertices.data(), byteSize(tubes.vertices));
        createBuffer(vk.tubeIndices, vk.gpu, "tube_indices", byteSize(tubes.indices), indexUsage, DL, HV, 4);
        uploadToBuffer(vk.tubeIndices, tubes.indices.data(), byteSize(tubes.indices));
    }
}

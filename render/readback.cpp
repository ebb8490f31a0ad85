#include "render/readback.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include "render/gpu_buffer.h"
#include "render/renderer.h"
#include "render/vk_check.h"

namespace {

// Byte positions of red, green and blue within a pixel of a readable format.
bool channelOrder(VkFormat format, int order[3]) {
    switch (format) {
        case VK_FORMAT_B8G8R8A8_SRGB:
        case VK_FORMAT_B8G8R8A8_UNORM:
            order[0] = 2, order[1] = 1, order[2] = 0;
            return true;
        case VK_FORMAT_R8G8B8A8_SRGB:
        case VK_FORMAT_R8G8B8A8_UNORM:
            order[0] = 0, order[1] = 1, order[2] = 2;
            return true;
        default:
            return false;
    }
}

void imageBarrier(VkCommandBuffer commands, VkImage image, VkImageLayout from, VkImageLayout to,
                  VkAccessFlags srcAccess, VkAccessFlags dstAccess, VkPipelineStageFlags srcStage,
                  VkPipelineStageFlags dstStage) {
    VkImageMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
    barrier.oldLayout = from;
    barrier.newLayout = to;
    barrier.srcAccessMask = srcAccess;
    barrier.dstAccessMask = dstAccess;
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = image;
    barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    vkCmdPipelineBarrier(commands, srcStage, dstStage, 0, 0, nullptr, 0, nullptr, 1, &barrier);
}

// The host buffer of one read-back, destroyed however the read-back ends.
struct HostBuffer {
    GpuBuffer buffer;
    ~HostBuffer() { destroyBuffer(buffer); }
};

}  // namespace

bool readableFormat(VkFormat format) {
    int order[3];
    return channelOrder(format, order) || format == VK_FORMAT_R16G16B16A16_SFLOAT;
}

float halfToFloat(uint16_t half) {
    const int exponent = (half >> 10) & 31;
    const int mantissa = half & 1023;
    float value;
    if (exponent == 0) value = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31) value = mantissa != 0 ? NAN : INFINITY;
    else value = std::ldexp(static_cast<float>(mantissa + 1024), exponent - 25);
    return (half & 0x8000) ? -value : value;
}

bool pixelsToRgb(VkFormat format, const uint8_t* pixels, size_t count, uint8_t* rgb) {
    int order[3];
    if (!channelOrder(format, order)) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + 4 * i;
        rgb[3 * i] = p[order[0]];
        rgb[3 * i + 1] = p[order[1]];
        rgb[3 * i + 2] = p[order[2]];
    }
    return true;
}

Picture readBackImage(Renderer& r, VkImage image, VkFormat format, VkImageLayout layout, const PixelRect& rect) {
    if (!readableFormat(format)) {
        throw std::runtime_error("the display's pixel format (" + std::to_string(static_cast<int>(format)) +
                                 ") cannot be saved as a picture");
    }
    if (rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0 ||
        static_cast<uint32_t>(rect.x + rect.width) > r.extent.width ||
        static_cast<uint32_t>(rect.y + rect.height) > r.extent.height) {
        throw std::runtime_error("the picture's rectangle lies outside the image");
    }
    const bool floats = format == VK_FORMAT_R16G16B16A16_SFLOAT;
    const uint64_t pixelBytes = floats ? 8 : 4;
    const uint64_t bytes = pixelBytes * static_cast<uint64_t>(rect.width) * static_cast<uint64_t>(rect.height);
    if (bytes > UINT32_MAX) throw std::runtime_error("the picture is too large to read back");

    HostBuffer host;
    createBuffer(host.buffer, r.gpu, "readback", static_cast<uint32_t>(bytes), VK_BUFFER_USAGE_TRANSFER_DST_BIT,
                 VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT,
                 VK_MEMORY_PROPERTY_HOST_CACHED_BIT, static_cast<uint8_t>(pixelBytes));

    VkCommandBuffer commands = beginSingleTimeCommands(r.gpu);
    // Everything submitted before (the drawing, its store and the render
    // pass's final layout change) before the copy reads the image.
    imageBarrier(commands, image, layout, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL,
                 VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT | VK_ACCESS_MEMORY_WRITE_BIT, VK_ACCESS_TRANSFER_READ_BIT,
                 VK_PIPELINE_STAGE_ALL_COMMANDS_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT);
    VkBufferImageCopy copy{};
    copy.bufferOffset = 0;
    copy.bufferRowLength = 0;  // tightly packed rows
    copy.bufferImageHeight = 0;
    copy.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    copy.imageOffset = {rect.x, rect.y, 0};
    copy.imageExtent = {static_cast<uint32_t>(rect.width), static_cast<uint32_t>(rect.height), 1};
    vkCmdCopyImageToBuffer(commands, image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, host.buffer.buffer, 1, &copy);
    VkBufferMemoryBarrier toHost{};
    toHost.sType = VK_STRUCTURE_TYPE_BUFFER_MEMORY_BARRIER;
    toHost.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    toHost.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    toHost.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    toHost.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    toHost.buffer = host.buffer.buffer;
    toHost.offset = 0;
    toHost.size = VK_WHOLE_SIZE;
    vkCmdPipelineBarrier(commands, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_HOST_BIT, 0, 0, nullptr, 1,
                         &toHost, 0, nullptr);
    // Back to the layout the image had, for presenting or the next frame.
    imageBarrier(commands, image, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, layout, 0, 0, VK_PIPELINE_STAGE_TRANSFER_BIT,
                 VK_PIPELINE_STAGE_BOTTOM_OF_PIPE_BIT);
    endSingleTimeCommands(r.gpu, commands);

    Picture picture;
    picture.width = rect.width;
    picture.height = rect.height;
    const size_t count = static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height);
    const auto* pixels = static_cast<const uint8_t*>(mapBuffer(host.buffer));
    if (floats) {
        picture.linear.resize(3 * count);
        const auto* halves = reinterpret_cast<const uint16_t*>(pixels);
        for (size_t i = 0; i < count; ++i) {
            for (int c = 0; c < 3; ++c) picture.linear[3 * i + c] = halfToFloat(halves[4 * i + c]);
        }
    } else {
        picture.rgb.resize(3 * count);
        pixelsToRgb(format, pixels, count, picture.rgb.data());
    }
    unmapBuffer(host.buffer);
    return picture;
}

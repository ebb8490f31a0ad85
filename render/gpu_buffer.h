// GpuBuffer: one Vulkan buffer with its own memory, or plain host memory
// standing in for a staging buffer that only a host-side copy ever reads.
#pragma once

#include <vulkan/vulkan.h>

#include <cstdint>
#include <string>
#include <vector>

#include "starfield/point_slots.h"

// What every buffer needs from the renderer: the device, its memory types, and
// the pool and queue for copies. Owned by the Application.
struct GpuContext {
    VkDevice device = VK_NULL_HANDLE;
    VkPhysicalDeviceMemoryProperties memoryProperties{};
    VkCommandPool commandPool = VK_NULL_HANDLE;
    VkQueue graphicsQueue = VK_NULL_HANDLE;
    VkMemoryPropertyFlags extraMemoryFlags = 0;  // ORed into every buffer's required flags
    uint64_t hostCopies = 0;  // "Transfer: mem:"
    uint64_t gpuCopies = 0;   // ", pci:"
};

// Copy regions are the star field's (source offset, destination offset, size),
// laid out as VkBufferCopy.
static_assert(sizeof(CopyRegion) == sizeof(VkBufferCopy));

struct GpuBuffer {
    VkBuffer buffer = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    uint32_t size = 0;  // 0: holds nothing
    std::string name;
    GpuContext* owner = nullptr;
    VkBufferUsageFlags usage = 0;
    VkMemoryPropertyFlags memoryFlags = 0;  // required flags, then those of the chosen type
    uint8_t elementSize = 0;
    bool hostAccessible = false;
    bool hostMemoryOnly = false;
    bool needsFlush = false;
    std::vector<uint8_t> host;  // storage when hostMemoryOnly
    bool mapped = false;
};

// Memory type for a buffer: the first allowed type with all of required |
// preferred whose heap is more than three times size, else the first allowed
// type with all of required whose heap exceeds size. flags receives the chosen
// type's flags. Throws "failed to find suitable memory type!".
uint32_t findMemoryType(const VkPhysicalDeviceMemoryProperties& properties, uint32_t typeBits,
                        VkMemoryPropertyFlags& flags, VkMemoryPropertyFlags preferred, uint64_t size);

// True when a buffer of this usage and these required flags is served from
// plain host memory (a staging source that only a host-side copy reads).
bool servedFromHostMemory(VkBufferUsageFlags usage, VkMemoryPropertyFlags required, bool forceVulkanBuffer);

void createBuffer(GpuBuffer& b, GpuContext& owner, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                  VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize,
                  bool forceVulkanBuffer = false);
void destroyBuffer(GpuBuffer& b);
void* mapBuffer(GpuBuffer& b);
void unmapBuffer(GpuBuffer& b);

// Makes staging a transfer source for target: plain host memory when the
// target is host-visible, else host-visible coherent Vulkan memory.
void createStaging(GpuBuffer& staging, GpuBuffer& target, uint32_t size);

// Host copy into b: count bytes, or the given regions.
void writeBuffer(GpuBuffer& b, const void* source, uint64_t count, const CopyRegion* regions = nullptr);

// Moves data from a staging buffer into target: a host copy when both sides are
// host-accessible, else GPU copies of at most 50,000 regions per submission.
void copyFromStaging(GpuBuffer& target, GpuBuffer& staging, uint64_t countOrSize,
                     const CopyRegion* regions = nullptr);

// One-time command buffers on the graphics queue.
VkCommandBuffer beginSingleTimeCommands(GpuContext& context);
void endSingleTimeCommands(GpuContext& context, VkCommandBuffer commands);

// UNDEFINED -> TRANSFER_DST and TRANSFER_DST -> SHADER_READ_ONLY; anything else
// throws std::invalid_argument("unsupported layout transition!").
void transitionImageLayout(VkCommandBuffer commands, VkImage image, VkImageLayout oldLayout, VkImageLayout newLayout);

// Convenience: create a device buffer and fill it through a staging buffer.
void uploadToBuffer(GpuBuffer& target, const void* data, uint32_t size);

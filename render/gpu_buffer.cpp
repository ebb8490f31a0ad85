#include "render/gpu_buffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "render/meshes.h"
#include "render/vk_check.h"

uint32_t findMemoryType(const VkPhysicalDeviceMemoryProperties& properties, uint32_t typeBits,
                        VkMemoryPropertyFlags& flags, VkMemoryPropertyFlags preferred, uint64_t size) {
    const VkMemoryPropertyFlags required = flags;
    const VkMemoryPropertyFlags wanted = required | preferred;
    auto heapSize = [&](uint32_t i) { return properties.memoryHeaps[properties.memoryTypes[i].heapIndex].size; };
    for (uint32_t i = 0; i < properties.memoryTypeCount; ++i) {
        if ((typeBits & (1u << i)) && (properties.memoryTypes[i].propertyFlags & wanted) == wanted &&
            static_cast<unsigned __int128>(size) * 3 < heapSize(i)) {
            flags = properties.memoryTypes[i].propertyFlags;
            return i;
        }
    }
    for (uint32_t i = 0; i < properties.memoryTypeCount; ++i) {
        if ((typeBits & (1u << i)) && (properties.memoryTypes[i].propertyFlags & required) == required &&
            heapSize(i) > size) {
            flags = properties.memoryTypes[i].propertyFlags;
            return i;
        }
    }
    throw std::runtime_error("failed to find suitable memory type!");
}

bool servedFromHostMemory(VkBufferUsageFlags usage, VkMemoryPropertyFlags required, bool forceVulkanBuffer) {
    return usage == VK_BUFFER_USAGE_TRANSFER_SRC_BIT && (required & VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT) &&
           !forceVulkanBuffer;
}

void createBuffer(GpuBuffer& b, GpuContext& owner, const std::string& name, uint32_t size, VkBufferUsageFlags usage,
                  VkMemoryPropertyFlags required, VkMemoryPropertyFlags preferred, uint8_t elementSize,
                  bool forceVulkanBuffer) {
    destroyBuffer(b);
    b.owner = &owner;
    b.name = name;
    b.usage = usage;
    b.elementSize = elementSize;
    b.memoryFlags = required | owner.extraMemoryFlags;
    b.hostMemoryOnly = servedFromHostMemory(usage, b.memoryFlags, forceVulkanBuffer);
    b.size = size;
    if (size > 0) {
        if (b.hostMemoryOnly) {
            b.host.assign(size, 0);
        } else {
            VkBufferCreateInfo info{};
            info.sType = VK_STRUCTURE_TYPE_BUFFER_CREATE_INFO;
            info.size = size;
            info.usage = usage;
            info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
            checkVkResult(vkCreateBuffer(owner.device, &info, nullptr, &b.buffer));
            VkMemoryRequirements requirements;
            vkGetBufferMemoryRequirements(owner.device, b.buffer, &requirements);
            VkMemoryAllocateInfo alloc{};
            alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
            alloc.allocationSize = requirements.size;
            alloc.memoryTypeIndex = findMemoryType(owner.memoryProperties, requirements.memoryTypeBits, b.memoryFlags,
                                                   preferred, requirements.size);
            checkVkResult(vkAllocateMemory(owner.device, &alloc, nullptr, &b.memory));
            checkVkResult(vkBindBufferMemory(owner.device, b.buffer, b.memory, 0));
        }
    }
    b.hostAccessible =
        b.hostMemoryOnly || ((b.memoryFlags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT) && !forceVulkanBuffer);
    b.needsFlush = b.hostAccessible && !b.hostMemoryOnly && !(b.memoryFlags & VK_MEMORY_PROPERTY_HOST_COHERENT_BIT);
}

void destroyBuffer(GpuBuffer& b) {
    if (b.owner != nullptr && !b.hostMemoryOnly) {
        if (b.mapped) vkUnmapMemory(b.owner->device, b.memory);
        if (b.buffer != VK_NULL_HANDLE) vkDestroyBuffer(b.owner->device, b.buffer, nullptr);
        if (b.memory != VK_NULL_HANDLE) vkFreeMemory(b.owner->device, b.memory, nullptr);
    }
    b.buffer = VK_NULL_HANDLE;
    b.memory = VK_NULL_HANDLE;
    b.host.clear();
    b.host.shrink_to_fit();
    b.size = 0;
    b.name.clear();
    b.mapped = false;
}

void* mapBuffer(GpuBuffer& b) {
    if (b.size == 0) return nullptr;
    if (b.hostMemoryOnly) return b.host.data();
    void* data = nullptr;
    checkVkResult(vkMapMemory(b.owner->device, b.memory, 0, VK_WHOLE_SIZE, 0, &data));
    b.mapped = true;
    return data;
}

void unmapBuffer(GpuBuffer& b) {
    if (b.size == 0 || b.hostMemoryOnly || !b.mapped) return;
    if (b.needsFlush) {
        VkMappedMemoryRange range{};
        range.sType = VK_STRUCTURE_TYPE_MAPPED_MEMORY_RANGE;
        range.memory = b.memory;
        range.offset = 0;
        range.size = VK_WHOLE_SIZE;
        checkVkResult(vkFlushMappedMemoryRanges(b.owner->device, 1, &range));
    }
    vkUnmapMemory(b.owner->device, b.memory);
    b.mapped = false;
}

void createStaging(GpuBuffer& staging, GpuBuffer& target, uint32_t size) {
    const VkMemoryPropertyFlags required = (target.memoryFlags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT)
                                               ? VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT
                                               : VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT;
    createBuffer(staging, *target.owner, target.name + "_staging", size, VK_BUFFER_USAGE_TRANSFER_SRC_BIT, required, 0,
                 target.elementSize);
}

void writeBuffer(GpuBuffer& b, const void* source, uint64_t count, const CopyRegion* regions) {
    auto* destination = static_cast<uint8_t*>(mapBuffer(b));
    if (destination == nullptr) return;
    const auto* from = static_cast<const uint8_t*>(source);
    if (regions == nullptr) {
        std::memcpy(destination, from, std::min<uint64_t>(count, b.size));
    } else {
        for (uint64_t i = 0; i < count; ++i) {
            const CopyRegion& r = regions[i];
            if (b.elementSize >= 16) {
                std::memcpy(destination + r.dstOffset, from + r.srcOffset, r.size);
            } else {
                // Whole 16-byte steps (the region rounded up), never past the buffer's end.
                for (uint64_t done = 0; done < r.size; done += 16) {
                    const uint64_t at = r.dstOffset + done;
                    if (at >= b.size) break;
                    std::memcpy(destination + at, from + r.srcOffset + done, std::min<uint64_t>(16, b.size - at));
                }
            }
        }
    }
    unmapBuffer(b);
}

VkCommandBuffer beginSingleTimeCommands(GpuContext& context) {
    VkCommandBufferAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
    alloc.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
    alloc.commandPool = context.commandPool;
    alloc.commandBufferCount = 1;
    VkCommandBuffer commands;
    checkVkResult(vkAllocateCommandBuffers(context.device, &alloc, &commands));
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    begin.flags = VK_COMMAND_BUFFER_USAGE_ONE_TIME_SUBMIT_BIT;
    checkVkResult(vkBeginCommandBuffer(commands, &begin));
    return commands;
}

void endSingleTimeCommands(GpuContext& context, VkCommandBuffer commands) {
    checkVkResult(vkEndCommandBuffer(commands));
    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &commands;
    checkVkResult(vkQueueSubmit(context.graphicsQueue, 1, &submit, VK_NULL_HANDLE));
    checkVkResult(vkQueueWaitIdle(context.graphicsQueue));
    vkFreeCommandBuffers(context.device, context.commandPool, 1, &commands);
}

void copyFromStaging(GpuBuffer& target, GpuBuffer& staging, uint64_t countOrSize, const CopyRegion* regions) {
    if (target.size == 0 || staging.size == 0) return;
    GpuContext& context = *target.owner;
    if (!target.hostAccessible || !staging.hostAccessible) {
        ++context.gpuCopies;
        auto submit = [&](uint32_t count, const VkBufferCopy* copies) {
            VkCommandBuffer commands = beginSingleTimeCommands(context);
            vkCmdCopyBuffer(commands, staging.buffer, target.buffer, count, copies);
            endSingleTimeCommands(context, commands);
        };
        if (regions == nullptr) {
            const VkBufferCopy whole{0, 0, countOrSize};
            submit(1, &whole);
        } else {
            uint64_t first = 0;
            for (uint64_t batch : copyBatchSizes(countOrSize)) {
                submit(static_cast<uint32_t>(batch), reinterpret_cast<const VkBufferCopy*>(regions + first));
                first += batch;
            }
        }
    } else {
        ++context.hostCopies;
        const void* source = mapBuffer(staging);
        writeBuffer(target, source, countOrSize, regions);
        if (!staging.hostMemoryOnly) unmapBuffer(staging);
    }
}

void transitionImageLayout(VkCommandBuffer commands, VkImage image, VkImageLayout oldLayout, VkImageLayout newLayout) {
    VkImageMemoryBarrier barrier{};
    barrier.sType = VK_STRUCTURE_TYPE_IMAGE_MEMORY_BARRIER;
    barrier.oldLayout = oldLayout;
    barrier.newLayout = newLayout;
    barrier.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    barrier.image = image;
    barrier.subresourceRange = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 1, 0, 1};
    VkPipelineStageFlags source, destination;
    if (oldLayout == VK_IMAGE_LAYOUT_UNDEFINED && newLayout == VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL) {
        barrier.srcAccessMask = 0;
        barrier.dstAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        source = VK_PIPELINE_STAGE_HOST_BIT;
        destination = VK_PIPELINE_STAGE_TRANSFER_BIT;
    } else if (oldLayout == VK_IMAGE_LAYOUT_TRANSFER_DST_OPTIMAL &&
               newLayout == VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL) {
        barrier.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
        barrier.dstAccessMask = VK_ACCESS_SHADER_READ_BIT;
        source = VK_PIPELINE_STAGE_TRANSFER_BIT;
        destination = VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT;
    } else {
        throw std::invalid_argument("unsupported layout transition!");
    }
    vkCmdPipelineBarrier(commands, source, destination, 0, 0, nullptr, 0, nullptr, 1, &barrier);
}

void uploadToBuffer(GpuBuffer& target, const void* data, uint32_t size) {
    if (size == 0) return;
    if (target.hostAccessible) {
        writeBuffer(target, data, size);
        ++target.owner->hostCopies;
        return;
    }
    GpuBuffer staging;
    createStaging(staging, target, size);
    writeBuffer(staging, data, size);
    copyFromStaging(target, staging, size);
    destroyBuffer(staging);
}

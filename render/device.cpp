// Instance, surface, device, queues, swap chain and everything that depends on
// the window size; their recreation and the teardown at exit.
#include <GLFW/glfw3.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "numeric/constants.h"
#include "render/imgui_backend.h"
#include "render/render_internal.h"
#include "render/renderer.h"
#include "render/vk_check.h"
#include "starloom_version.h"

void checkVkResult(VkResult result) {
    if (result == VK_SUCCESS) return;
    char text[64];
    std::snprintf(text, sizeof text, "[vulkan] Error: VkResult=%d", static_cast<int>(result));
    throw std::runtime_error(text);
}

void defer(DeletionQueue& queue, std::function<void()> action) { queue.actions.push_back(std::move(action)); }

void flush(DeletionQueue& queue) {
    while (!queue.actions.empty()) {
        std::function<void()> action = std::move(queue.actions.back());
        queue.actions.pop_back();
        action();
    }
}

namespace {

struct QueueFamilies {
    std::optional<uint32_t> graphics;
    std::optional<uint32_t> present;
    bool complete() const { return graphics.has_value() && present.has_value(); }
};

struct SwapChainSupport {
    VkSurfaceCapabilitiesKHR capabilities{};
    std::vector<VkSurfaceFormatKHR> formats;
    std::vector<VkPresentModeKHR> presentModes;
};

QueueFamilies findQueueFamilies(Renderer& r, VkPhysicalDevice device) {
    QueueFamilies families;
    uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, nullptr);
    std::vector<VkQueueFamilyProperties> properties(count);
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, properties.data());
    for (uint32_t i = 0; i < count; ++i) {
        if (properties[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) families.graphics = i;
        VkBool32 present = VK_FALSE;
        checkVkResult(vkGetPhysicalDeviceSurfaceSupportKHR(device, i, r.surface, &present));
        if (present) families.present = i;
        if (families.complete()) break;
    }
    return families;
}

bool checkDeviceExtensionSupport(VkPhysicalDevice device) {
    uint32_t count = 0;
    checkVkResult(vkEnumerateDeviceExtensionProperties(device, nullptr, &count, nullptr));
    std::vector<VkExtensionProperties> available(count);
    checkVkResult(vkEnumerateDeviceExtensionProperties(device, nullptr, &count, available.data()));
    std::set<std::string> required(DEVICE_EXTENSIONS.begin(), DEVICE_EXTENSIONS.end());
    for (const auto& e : available) required.erase(e.extensionName);
    return required.empty();
}

SwapChainSupport querySwapChainSupport(Renderer& r, VkPhysicalDevice device) {
    SwapChainSupport support;
    checkVkResult(vkGetPhysicalDeviceSurfaceCapabilitiesKHR(device, r.surface, &support.capabilities));
    uint32_t count = 0;
    checkVkResult(vkGetPhysicalDeviceSurfaceFormatsKHR(device, r.surface, &count, nullptr));
    support.formats.resize(count);
    checkVkResult(vkGetPhysicalDeviceSurfaceFormatsKHR(device, r.surface, &count, support.formats.data()));
    checkVkResult(vkGetPhysicalDeviceSurfacePresentModesKHR(device, r.surface, &count, nullptr));
    support.presentModes.resize(count);
    checkVkResult(vkGetPhysicalDeviceSurfacePresentModesKHR(device, r.surface, &count, support.presentModes.data()));
    return support;
}

VkFormat findDepthFormat(Renderer& r) {
    for (VkFormat format : {VK_FORMAT_D32_SFLOAT, VK_FORMAT_D32_SFLOAT_S8_UINT, VK_FORMAT_D24_UNORM_S8_UINT}) {
        VkFormatProperties properties;
        vkGetPhysicalDeviceFormatProperties(r.physicalDevice, format, &properties);
        if (properties.optimalTilingFeatures & VK_FORMAT_FEATURE_DEPTH_STENCIL_ATTACHMENT_BIT) return format;
    }
    throw std::runtime_error("failed to find supported format!");
}

void chooseSamples(Renderer& r, bool multisampling) {
    const VkPhysicalDeviceLimits& limits = r.deviceProperties.limits;
    r.supportedSamples = limits.framebufferColorSampleCounts & limits.framebufferDepthSampleCounts;
    r.msaaSamples = chooseSampleCount(r.supportedSamples, multisampling);
}

void createInstance(Renderer& r) {
    VkApplicationInfo info{};
    info.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    info.pApplicationName = "Starloom";
    info.applicationVersion = VK_MAKE_VERSION(STARLOOM_VERSION_MAJOR, STARLOOM_VERSION_MINOR, STARLOOM_VERSION_PATCH);
    info.pEngineName = "Starloom";
    info.engineVersion = info.applicationVersion;
    info.apiVersion = VK_API_VERSION_1_0;
    uint32_t extensionCount = 0;
    const char** extensions = glfwGetRequiredInstanceExtensions(&extensionCount);
    if (extensions == nullptr) throw std::runtime_error("the window system offers no Vulkan surface");
    VkInstanceCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    create.pApplicationInfo = &info;
    create.enabledExtensionCount = extensionCount;
    create.ppEnabledExtensionNames = extensions;
    create.enabledLayerCount = 0;
    checkVkResult(vkCreateInstance(&create, nullptr, &r.instance));
    defer(r.deviceObjects, [&r] {
        vkDestroyInstance(r.instance, nullptr);
        r.instance = VK_NULL_HANDLE;
    });
}

void createSurface(Renderer& r) {
    checkVkResult(glfwCreateWindowSurface(r.instance, r.window, nullptr, &r.surface));
    defer(r.deviceObjects, [&r] {
        vkDestroySurfaceKHR(r.instance, r.surface, nullptr);
        r.surface = VK_NULL_HANDLE;
    });
}

void pickPhysicalDevice(Renderer& r, bool multisampling) {
    uint32_t count = 0;
    checkVkResult(vkEnumeratePhysicalDevices(r.instance, &count, nullptr));
    if (count == 0) throw std::runtime_error("failed to find GPUs with Vulkan support!");
    std::vector<VkPhysicalDevice> devices(count);
    checkVkResult(vkEnumeratePhysicalDevices(r.instance, &count, devices.data()));
    for (VkPhysicalDevice device : devices) {
        if (!findQueueFamilies(r, device).complete()) continue;
        if (!checkDeviceExtensionSupport(device)) continue;
        const SwapChainSupport support = querySwapChainSupport(r, device);
        if (support.formats.empty() || support.presentModes.empty()) continue;
        r.physicalDevice = device;
        break;
    }
    if (r.physicalDevice == VK_NULL_HANDLE) throw std::runtime_error("failed to find a suitable GPU!");

    vkGetPhysicalDeviceProperties(r.physicalDevice, &r.deviceProperties);
    chooseSamples(r, multisampling);
    vkGetPhysicalDeviceMemoryProperties(r.physicalDevice, &r.gpu.memoryProperties);
    vkGetPhysicalDeviceFeatures(r.physicalDevice, &r.deviceFeatures);
    const auto& memory = r.gpu.memoryProperties;
    r.allMemoryHostVisible = true;
    for (uint32_t i = 0; i < memory.memoryTypeCount; ++i) {
        if (!(memory.memoryTypes[i].propertyFlags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT)) r.allMemoryHostVisible = false;
    }
    r.depthFormat = findDepthFormat(r);
}

void createLogicalDevice(Renderer& r) {
    const QueueFamilies families = findQueueFamilies(r, r.physicalDevice);
    r.graphicsFamily = *families.graphics;
    r.presentFamily = *families.present;
    const std::set<uint32_t> unique{r.graphicsFamily, r.presentFamily};
    const float priority = 1.0f;
    std::vector<VkDeviceQueueCreateInfo> queues;
    for (uint32_t family : unique) {
        VkDeviceQueueCreateInfo q{};
        q.sType = VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO;
        q.queueFamilyIndex = family;
        q.queueCount = 1;
        q.pQueuePriorities = &priority;
        queues.push_back(q);
    }
    VkPhysicalDeviceFeatures features{};
    features.sampleRateShading = VK_TRUE;
    VkDeviceCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
    create.queueCreateInfoCount = static_cast<uint32_t>(queues.size());
    create.pQueueCreateInfos = queues.data();
    create.pEnabledFeatures = &features;
    create.enabledExtensionCount = static_cast<uint32_t>(DEVICE_EXTENSIONS.size());
    create.ppEnabledExtensionNames = DEVICE_EXTENSIONS.data();
    checkVkResult(vkCreateDevice(r.physicalDevice, &create, nullptr, &r.device));
    defer(r.deviceObjects, [&r] {
        vkDestroyDevice(r.device, nullptr);
        r.device = VK_NULL_HANDLE;
        r.gpu.device = VK_NULL_HANDLE;
    });
    vkGetDeviceQueue(r.device, r.graphicsFamily, 0, &r.graphicsQueue);
    vkGetDeviceQueue(r.device, r.presentFamily, 0, &r.presentQueue);
    r.gpu.device = r.device;
    r.gpu.graphicsQueue = r.graphicsQueue;
}

void createSwapChain(Renderer& r) {
    const SwapChainSupport support = querySwapChainSupport(r, r.physicalDevice);
    VkSurfaceFormatKHR format = support.formats[0];
    for (const auto& f : support.formats) {
        if (f.format == VK_FORMAT_B8G8R8A8_SRGB && f.colorSpace == VK_COLOR_SPACE_SRGB_NONLINEAR_KHR) {
            format = f;
            break;
        }
    }
    const VkSurfaceCapabilitiesKHR& caps = support.capabilities;
    uint32_t imageCount = caps.minImageCount + 1;
    if (caps.maxImageCount > 0 && imageCount > caps.maxImageCount) imageCount = caps.maxImageCount;

    VkExtent2D extent = caps.currentExtent;
    const bool rotated =
        caps.currentTransform & (VK_SURFACE_TRANSFORM_ROTATE_90_BIT_KHR | VK_SURFACE_TRANSFORM_ROTATE_270_BIT_KHR);
    if (rotated) std::swap(extent.width, extent.height);
    if (extent.width == 0xFFFFFFFFu) {
        int width = 0, height = 0;
        glfwGetFramebufferSize(r.window, &width, &height);
        extent.width = std::clamp(static_cast<uint32_t>(width), caps.minImageExtent.width, caps.maxImageExtent.width);
        extent.height =
            std::clamp(static_cast<uint32_t>(height), caps.minImageExtent.height, caps.maxImageExtent.height);
    }

    VkSwapchainCreateInfoKHR create{};
    create.sType = VK_STRUCTURE_TYPE_SWAPCHAIN_CREATE_INFO_KHR;
    create.surface = r.surface;
    create.minImageCount = imageCount;
    create.imageFormat = format.format;
    create.imageColorSpace = format.colorSpace;
    create.imageExtent = extent;
    create.imageArrayLayers = 1;
    create.imageUsage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
    const uint32_t families[] = {r.graphicsFamily, r.presentFamily};
    if (r.graphicsFamily != r.presentFamily) {
        create.imageSharingMode = VK_SHARING_MODE_CONCURRENT;
        create.queueFamilyIndexCount = 2;
        create.pQueueFamilyIndices = families;
    } else {
        create.imageSharingMode = VK_SHARING_MODE_EXCLUSIVE;
    }
    create.preTransform = caps.currentTransform;
    create.compositeAlpha = VK_COMPOSITE_ALPHA_OPAQUE_BIT_KHR;
    create.presentMode = VK_PRESENT_MODE_FIFO_KHR;
    create.clipped = VK_TRUE;
    create.oldSwapchain = VK_NULL_HANDLE;
    checkVkResult(vkCreateSwapchainKHR(r.device, &create, nullptr, &r.swapChain));
    defer(r.swapChainObjects, [&r] {
        vkDestroySwapchainKHR(r.device, r.swapChain, nullptr);
        r.swapChain = VK_NULL_HANDLE;
    });

    uint32_t count = 0;
    checkVkResult(vkGetSwapchainImagesKHR(r.device, r.swapChain, &count, nullptr));
    r.images.resize(count);
    checkVkResult(vkGetSwapchainImagesKHR(r.device, r.swapChain, &count, r.images.data()));
    r.redraw.assign(count, {1, 1});
    r.imageFences.assign(count, VK_NULL_HANDLE);
    r.swapChainFormat = format.format;
    r.extent = extent;

    r.imageViews.clear();
    for (VkImage image : r.images) {
        r.imageViews.push_back(createImageView(r, image, r.swapChainFormat, VK_IMAGE_ASPECT_COLOR_BIT, r.swapChainObjects));
    }
}

void createRenderPass(Renderer& r) {
    const VkSampleCountFlagBits samples = r.msaaSamples;
    const bool multi = samples != VK_SAMPLE_COUNT_1_BIT;
    VkAttachmentDescription attachments[3]{};
    attachments[0].format = r.swapChainFormat;
    attachments[0].samples = samples;
    attachments[0].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    attachments[0].storeOp = multi ? VK_ATTACHMENT_STORE_OP_DONT_CARE : VK_ATTACHMENT_STORE_OP_STORE;
    attachments[0].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[0].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[0].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[0].finalLayout = multi ? VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL : VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;

    attachments[1].format = r.depthFormat;
    attachments[1].samples = samples;
    attachments[1].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    attachments[1].storeOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[1].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[1].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[1].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[1].finalLayout = VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL;

    attachments[2].format = r.swapChainFormat;
    attachments[2].samples = VK_SAMPLE_COUNT_1_BIT;
    attachments[2].loadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[2].storeOp = VK_ATTACHMENT_STORE_OP_STORE;
    attachments[2].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[2].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[2].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[2].finalLayout = VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;

    const VkAttachmentReference color{0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    const VkAttachmentReference depth{1, VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL};
    const VkAttachmentReference resolve{2, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    VkSubpassDescription subpass{};
    subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
    subpass.colorAttachmentCount = 1;
    subpass.pColorAttachments = &color;
    if (multi) {
        subpass.pDepthStencilAttachment = &depth;
        subpass.pResolveAttachments = &resolve;
    }
    VkSubpassDependency dependency{};
    dependency.srcSubpass = VK_SUBPASS_EXTERNAL;
    dependency.dstSubpass = 0;
    dependency.srcStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    dependency.dstStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    dependency.srcAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
    dependency.dstAccessMask = VK_ACCESS_COLOR_ATTACHMENT_READ_BIT | VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;

    VkRenderPassCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO;
    create.attachmentCount = multi ? 3 : 1;
    create.pAttachments = attachments;
    create.subpassCount = 1;
    create.pSubpasses = &subpass;
    create.dependencyCount = 1;
    create.pDependencies = &dependency;
    checkVkResult(vkCreateRenderPass(r.device, &create, nullptr, &r.renderPass));
    defer(r.swapChainObjects, [&r] {
        vkDestroyRenderPass(r.device, r.renderPass, nullptr);
        r.renderPass = VK_NULL_HANDLE;
    });
}

void createColorAndDepthResources(Renderer& r) {
    const VkExtent2D e = r.extent;
    r.colorImage = createImage(r, e.width, e.height, r.msaaSamples, r.swapChainFormat,
                               VK_IMAGE_USAGE_TRANSIENT_ATTACHMENT_BIT | VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT,
                               r.swapChainObjects);
    r.colorView = createImageView(r, r.colorImage, r.swapChainFormat, VK_IMAGE_ASPECT_COLOR_BIT, r.swapChainObjects);
    r.depthImage = createImage(r, e.width, e.height, r.msaaSamples, r.depthFormat,
                               VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT, r.swapChainObjects);
    r.depthView = createImageView(r, r.depthImage, r.depthFormat, VK_IMAGE_ASPECT_DEPTH_BIT, r.swapChainObjects);
}

void createFramebuffers(Renderer& r) {
    r.framebuffers.clear();
    const bool multi = r.msaaSamples != VK_SAMPLE_COUNT_1_BIT;
    for (VkImageView view : r.imageViews) {
        const VkImageView attachments[3] = {r.colorView, r.depthView, view};
        VkFramebufferCreateInfo create{};
        create.sType = VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO;
        create.renderPass = r.renderPass;
        create.attachmentCount = multi ? 3 : 1;
        create.pAttachments = multi ? attachments : &view;
        create.width = r.extent.width;
        create.height = r.extent.height;
        create.layers = 1;
        VkFramebuffer framebuffer;
        checkVkResult(vkCreateFramebuffer(r.device, &create, nullptr, &framebuffer));
        r.framebuffers.push_back(framebuffer);
        defer(r.swapChainObjects, [&r, framebuffer] { vkDestroyFramebuffer(r.device, framebuffer, nullptr); });
    }
}

void createCommandPool(Renderer& r) {
    VkCommandPoolCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    create.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT | VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT;
    create.queueFamilyIndex = r.graphicsFamily;
    checkVkResult(vkCreateCommandPool(r.device, &create, nullptr, &r.commandPool));
    // Destroying the pool frees the command buffers allocated from it.
    defer(r.deviceObjects, [&r] {
        vkDestroyCommandPool(r.device, r.commandPool, nullptr);
        r.commandPool = VK_NULL_HANDLE;
        r.gpu.commandPool = VK_NULL_HANDLE;
        r.commandBuffers.clear();
    });
    r.gpu.commandPool = r.commandPool;
}

void createDescriptorPool(Renderer& r) {
    VkDescriptorPoolSize sizes[11];
    for (int t = 0; t < 11; ++t) sizes[t] = {static_cast<VkDescriptorType>(t), 1000};
    VkDescriptorPoolCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
    create.flags = VK_DESCRIPTOR_POOL_CREATE_FREE_DESCRIPTOR_SET_BIT;
    create.maxSets = 11000;
    create.poolSizeCount = 11;
    create.pPoolSizes = sizes;
    checkVkResult(vkCreateDescriptorPool(r.device, &create, nullptr, &r.descriptorPool));
    defer(r.deviceObjects, [&r] {
        vkDestroyDescriptorPool(r.device, r.descriptorPool, nullptr);
        r.descriptorPool = VK_NULL_HANDLE;
    });
}

void createSyncObjects(Renderer& r) {
    VkSemaphoreCreateInfo semaphore{};
    semaphore.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO;
    VkFenceCreateInfo fence{};
    fence.sType = VK_STRUCTURE_TYPE_FENCE_CREATE_INFO;
    fence.flags = VK_FENCE_CREATE_SIGNALED_BIT;
    for (int i = 0; i < FRAMES_IN_FLIGHT; ++i) {
        checkVkResult(vkCreateSemaphore(r.device, &semaphore, nullptr, &r.imageAvailable[i]));
        defer(r.deviceObjects, [&r, i] { vkDestroySemaphore(r.device, r.imageAvailable[i], nullptr); });
        checkVkResult(vkCreateSemaphore(r.device, &semaphore, nullptr, &r.renderFinished[i]));
        defer(r.deviceObjects, [&r, i] { vkDestroySemaphore(r.device, r.renderFinished[i], nullptr); });
        checkVkResult(vkCreateFence(r.device, &fence, nullptr, &r.inFlight[i]));
        defer(r.deviceObjects, [&r, i] { vkDestroyFence(r.device, r.inFlight[i], nullptr); });
    }
}

void allocateCommandBuffers(Renderer& r) {
    // Command buffers live as long as the pool; new images after a
    // recreation get one each.
    while (r.commandBuffers.size() < r.images.size()) {
        VkCommandBufferAllocateInfo alloc{};
        alloc.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
        alloc.commandPool = r.commandPool;
        alloc.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
        alloc.commandBufferCount = 1;
        VkCommandBuffer commands = VK_NULL_HANDLE;
        checkVkResult(vkAllocateCommandBuffers(r.device, &alloc, &commands));
        r.commandBuffers.push_back(commands);
    }
}

// The swap-chain part shared by start-up and recreation.
void buildSwapChain(Renderer& r) {
    createSwapChain(r);
    createRenderPass(r);
}

}  // namespace

VkImage createImage(Renderer& r, uint32_t width, uint32_t height, VkSampleCountFlagBits samples, VkFormat format,
                    VkImageUsageFlags usage, DeletionQueue& lifetime) {
    VkImageCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_CREATE_INFO;
    info.imageType = VK_IMAGE_TYPE_2D;
    info.extent = {width, height, 1};
    info.mipLevels = 1;
    info.arrayLayers = 1;
    info.format = format;
    info.tiling = VK_IMAGE_TILING_OPTIMAL;
    info.initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    info.usage = usage;
    info.samples = samples;
    info.sharingMode = VK_SHARING_MODE_EXCLUSIVE;
    VkImage image = VK_NULL_HANDLE;
    checkVkResult(vkCreateImage(r.device, &info, nullptr, &image));
    // One action for both, queued at once so that a failed allocation below
    // still destroys the image: the image first, then its memory.
    auto memory = std::make_shared<VkDeviceMemory>(VK_NULL_HANDLE);
    defer(lifetime, [&r, image, memory] {
        vkDestroyImage(r.device, image, nullptr);
        if (*memory != VK_NULL_HANDLE) vkFreeMemory(r.device, *memory, nullptr);
    });
    VkMemoryRequirements requirements;
    vkGetImageMemoryRequirements(r.device, image, &requirements);
    VkMemoryPropertyFlags flags = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    VkMemoryAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
    alloc.allocationSize = requirements.size;
    alloc.memoryTypeIndex = findMemoryType(r.gpu.memoryProperties, requirements.memoryTypeBits, flags,
                                           VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT, requirements.size);
    checkVkResult(vkAllocateMemory(r.device, &alloc, nullptr, memory.get()));
    checkVkResult(vkBindImageMemory(r.device, image, *memory, 0));
    return image;
}

VkImageView createImageView(Renderer& r, VkImage image, VkFormat format, VkImageAspectFlags aspect,
                            DeletionQueue& lifetime) {
    VkImageViewCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
    info.image = image;
    info.viewType = VK_IMAGE_VIEW_TYPE_2D;
    info.format = format;
    info.subresourceRange = {aspect, 0, 1, 0, 1};
    VkImageView view = VK_NULL_HANDLE;
    checkVkResult(vkCreateImageView(r.device, &info, nullptr, &view));
    defer(lifetime, [&r, view] { vkDestroyImageView(r.device, view, nullptr); });
    return view;
}

VkSampleCountFlagBits chooseSampleCount(VkSampleCountFlags supported, bool multisampling) {
    if (!multisampling) return VK_SAMPLE_COUNT_1_BIT;
    for (VkSampleCountFlagBits count : {VK_SAMPLE_COUNT_4_BIT, VK_SAMPLE_COUNT_8_BIT, VK_SAMPLE_COUNT_16_BIT,
                                        VK_SAMPLE_COUNT_32_BIT, VK_SAMPLE_COUNT_64_BIT, VK_SAMPLE_COUNT_2_BIT}) {
        if (supported & count) return count;
    }
    return VK_SAMPLE_COUNT_1_BIT;
}

DisplayGeometry displayGeometry(int framebufferWidth, int framebufferHeight, int panelWidthBase) {
    DisplayGeometry g;
    g.framebufferWidth = framebufferWidth;
    g.framebufferHeight = framebufferHeight;
    g.panelWidth = panelWidthBase;
    if ((framebufferWidth - g.panelWidth) % 2 == 0) g.panelWidth += 1;
    g.displayWidth = framebufferWidth - g.panelWidth;
    g.displayHeight = framebufferHeight;
    if (g.displayHeight % 2 == 0) g.displayHeight -= 1;
    return g;
}

void createDevice(Renderer& r, GLFWwindow* window, bool multisampling) {
    r.window = window;
    createInstance(r);
    createSurface(r);
    pickPhysicalDevice(r, multisampling);
    createLogicalDevice(r);
    createCommandPool(r);
    createDescriptorPool(r);
    createSyncObjects(r);
    createDescriptorSetLayout(r);
    buildSwapChain(r);
    createUniformBuffers(r);
    imguiBackendInit(r);
    defer(r.deviceObjects, [&r] { imguiBackendShutdown(r); });
}

DisplayGeometry createPipelines(Renderer& r, const SwapChainSettings& settings) {
    r.built = settings;
    r.geometry = displayGeometry(static_cast<int>(r.extent.width), static_cast<int>(r.extent.height),
                                 settings.panelWidthBase);
    if (r.descriptorSets.empty()) createDescriptorSets(r);
    createPipelineLayout(r);
    createGraphicsPipelines(r);
    createTextImagePipeline(r);
    createColorAndDepthResources(r);
    createFramebuffers(r);
    allocateCommandBuffers(r);
    for (auto& marks : r.redraw) marks = {1, 1};
    return r.geometry;
}

void rebuildGraphicsPipelines(Renderer& r) {
    waitIdle(r);
    flush(r.pipelineObjects);
    createGraphicsPipelines(r);
    for (auto& marks : r.redraw) marks[0] = 1;
}

DisplayGeometry recreateSwapChain(Renderer& r, const SwapChainSettings& settings, bool rebuildDevice) {
    waitIdle(r);
    flush(r.pipelineObjects);
    flush(r.swapChainObjects);
    if (rebuildDevice) {
        // The panel's back end keeps the render pass and the sample count it
        // was started with.
        imguiBackendShutdown(r);
        chooseSamples(r, settings.multisampling);
    }
    buildSwapChain(r);
    if (rebuildDevice) imguiBackendInit(r);
    return createPipelines(r, settings);
}

void waitIdle(Renderer& r) {
    if (r.device != VK_NULL_HANDLE) checkVkResult(vkDeviceWaitIdle(r.device));
}

void destroyRenderer(Renderer& r) {
    // Teardown must not throw: a failed wait only means the device is lost.
    if (r.device != VK_NULL_HANDLE) vkDeviceWaitIdle(r.device);
    flush(r.pipelineObjects);
    flush(r.swapChainObjects);
    flush(r.deviceObjects);
}

DeviceFacts deviceFacts(const Renderer& r) {
    DeviceFacts f;
    f.name = r.deviceProperties.deviceName;
    f.apiVersion = r.deviceProperties.apiVersion;
    f.allMemoryHostVisible = r.allMemoryHostVisible;
    f.shaderFloat64 = r.deviceFeatures.shaderFloat64 == VK_TRUE;
    f.memory = r.gpu.memoryProperties;
    f.maxUniformBufferRange = r.deviceProperties.limits.maxUniformBufferRange;
    f.supportedSamples = r.supportedSamples;
    f.samplesInUse = r.msaaSamples;
    f.maxImageSize = r.deviceProperties.limits.maxImageDimension2D;
    f.hostCopies = r.gpu.hostCopies;
    f.gpuCopies = r.gpu.gpuCopies;
    return f;
}

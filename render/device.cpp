// Instance, surface, device, queues, swap chain and everything that depends on
// the window size; their recreation and the teardown at exit.
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_vulkan.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include "app/application.h"
#include "numeric/constants.h"
#include "render/renderer.h"
#include "render/vk_check.h"
#include "ui/imgui_compat.h"

void checkVkResult(VkResult result) {
    if (result == VK_SUCCESS) return;
    char text[64];
    std::snprintf(text, sizeof text, "[vulkan] Error: VkResult=%d", static_cast<int>(result));
    throw std::runtime_error(text);
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

QueueFamilies findQueueFamilies(Application& app, VkPhysicalDevice device) {
    QueueFamilies families;
    uint32_t count = 0;
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, nullptr);
    std::vector<VkQueueFamilyProperties> properties(count);
    vkGetPhysicalDeviceQueueFamilyProperties(device, &count, properties.data());
    for (uint32_t i = 0; i < count; ++i) {
        if (properties[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) families.graphics = i;
        VkBool32 present = VK_FALSE;
        checkVkResult(vkGetPhysicalDeviceSurfaceSupportKHR(device, i, app.vk.surface, &present));
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

SwapChainSupport querySwapChainSupport(Application& app, VkPhysicalDevice device) {
    SwapChainSupport support;
    checkVkResult(vkGetPhysicalDeviceSurfaceCapabilitiesKHR(device, app.vk.surface, &support.capabilities));
    uint32_t count = 0;
    checkVkResult(vkGetPhysicalDeviceSurfaceFormatsKHR(device, app.vk.surface, &count, nullptr));
    support.formats.resize(count);
    checkVkResult(vkGetPhysicalDeviceSurfaceFormatsKHR(device, app.vk.surface, &count, support.formats.data()));
    checkVkResult(vkGetPhysicalDeviceSurfacePresentModesKHR(device, app.vk.surface, &count, nullptr));
    support.presentModes.resize(count);
    checkVkResult(
        vkGetPhysicalDeviceSurfacePresentModesKHR(device, app.vk.surface, &count, support.presentModes.data()));
    return support;
}

VkFormat findDepthFormat(Application& app) {
    for (VkFormat format : {VK_FORMAT_D32_SFLOAT, VK_FORMAT_D32_SFLOAT_S8_UINT, VK_FORMAT_D24_UNORM_S8_UINT}) {
        VkFormatProperties properties;
        vkGetPhysicalDeviceFormatProperties(app.vk.physicalDevice, format, &properties);
        if (properties.optimalTilingFeatures & VK_FORMAT_FEATURE_DEPTH_STENCIL_ATTACHMENT_BIT) return format;
    }
    throw std::runtime_error("failed to find supported format!");
}

void maxUsableSampleCount(Application& app) {
    const VkPhysicalDeviceLimits& limits = app.vk.deviceProperties.limits;
    app.vk.supportedSamples = limits.framebufferColorSampleCounts & limits.framebufferDepthSampleCounts;
    app.vk.msaaSamples = chooseSampleCount(app.vk.supportedSamples, app.multisampling);
}

void createImage(Application& app, uint32_t width, uint32_t height, VkSampleCountFlagBits samples, VkFormat format,
                 VkImageUsageFlags usage, VkImage& image, VkDeviceMemory& memory) {
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
    checkVkResult(vkCreateImage(app.vk.device, &info, nullptr, &image));
    VkMemoryRequirements requirements;
    vkGetImageMemoryRequirements(app.vk.device, image, &requirements);
    VkMemoryPropertyFlags flags = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    VkMemoryAllocateInfo alloc{};
    alloc.sType = VK_STRUCTURE_TYPE_MEMORY_ALLOCATE_INFO;
    alloc.allocationSize = requirements.size;
    alloc.memoryTypeIndex = findMemoryType(app.vk.gpu.memoryProperties, requirements.memoryTypeBits, flags,
                                           VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT, requirements.size);
    checkVkResult(vkAllocateMemory(app.vk.device, &alloc, nullptr, &memory));
    checkVkResult(vkBindImageMemory(app.vk.device, image, memory, 0));
}

}  // namespace

VkImageView createImageView(Application& app, VkImage image, VkFormat format, VkImageAspectFlags aspect) {
    VkImageViewCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_IMAGE_VIEW_CREATE_INFO;
    info.image = image;
    info.viewType = VK_IMAGE_VIEW_TYPE_2D;
    info.format = format;
    info.subresourceRange = {aspect, 0, 1, 0, 1};
    VkImageView view;
    checkVkResult(vkCreateImageView(app.vk.device, &info, nullptr, &view));
    return view;
}

void createDeviceImage(Application& app, uint32_t width, uint32_t height, VkFormat format, VkImageUsageFlags usage,
                       VkImage& image, VkDeviceMemory& memory) {
    createImage(app, width, height, VK_SAMPLE_COUNT_1_BIT, format, usage, image, memory);
}

VkSampleCountFlagBits chooseSampleCount(VkSampleCountFlags supported, bool multisampling) {
    if (!multisampling) return VK_SAMPLE_COUNT_1_BIT;
    for (VkSampleCountFlagBits count : {VK_SAMPLE_COUNT_4_BIT, VK_SAMPLE_COUNT_8_BIT, VK_SAMPLE_COUNT_16_BIT,
                                        VK_SAMPLE_COUNT_32_BIT, VK_SAMPLE_COUNT_64_BIT, VK_SAMPLE_COUNT_2_BIT}) {
        if (supported & count) return count;
    }
    return VK_SAMPLE_COUNT_1_BIT;
}

void createInstance(Application& app) {
    VkApplicationInfo info{};
    info.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    info.pApplicationName = "Hello Triangle";
    info.applicationVersion = VK_MAKE_VERSION(1, 0, 0);
    info.pEngineName = "No Engine";
    info.engineVersion = VK_MAKE_VERSION(1, 0, 0);
    info.apiVersion = VK_API_VERSION_1_0;
    uint32_t extensionCount = 0;
    const char** extensions = glfwGetRequiredInstanceExtensions(&extensionCount);
    VkInstanceCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    create.pApplicationInfo = &info;
    create.enabledExtensionCount = extensionCount;
    create.ppEnabledExtensionNames = extensions;
    create.enabledLayerCount = 0;
    checkVkResult(vkCreateInstance(&create, nullptr, &app.vk.instance));
}

void createSurface(Application& app) {
    checkVkResult(glfwCreateWindowSurface(app.vk.instance, app.window, nullptr, &app.vk.surface));
}

void pickPhysicalDevice(Application& app) {
    uint32_t count = 0;
    checkVkResult(vkEnumeratePhysicalDevices(app.vk.instance, &count, nullptr));
    if (count == 0) throw std::runtime_error("failed to find GPUs with Vulkan support!");
    std::vector<VkPhysicalDevice> devices(count);
    checkVkResult(vkEnumeratePhysicalDevices(app.vk.instance, &count, devices.data()));
    for (VkPhysicalDevice device : devices) {
        if (!findQueueFamilies(app, device).complete()) continue;
        if (!checkDeviceExtensionSupport(device)) continue;
        const SwapChainSupport support = querySwapChainSupport(app, device);
        if (support.formats.empty() || support.presentModes.empty()) continue;
        app.vk.physicalDevice = device;
        break;
    }
    if (app.vk.physicalDevice == VK_NULL_HANDLE) throw std::runtime_error("failed to find a suitable GPU!");

    vkGetPhysicalDeviceProperties(app.vk.physicalDevice, &app.vk.deviceProperties);
    maxUsableSampleCount(app);
    vkGetPhysicalDeviceMemoryProperties(app.vk.physicalDevice, &app.vk.gpu.memoryProperties);
    app.vk.deviceName = app.vk.deviceProperties.deviceName;
    vkGetPhysicalDeviceFeatures(app.vk.physicalDevice, &app.vk.deviceFeatures);
    const auto& memory = app.vk.gpu.memoryProperties;
    app.vk.allMemoryHostVisible = true;
    for (uint32_t i = 0; i < memory.memoryTypeCount; ++i) {
        if (!(memory.memoryTypes[i].propertyFlags & VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT)) {
            app.vk.allMemoryHostVisible = false;
        }
    }
}

void createLogicalDevice(Application& app) {
    const QueueFamilies families = findQueueFamilies(app, app.vk.physicalDevice);
    app.vk.graphicsFamily = *families.graphics;
    app.vk.presentFamily = *families.present;
    const std::set<uint32_t> unique{app.vk.graphicsFamily, app.vk.presentFamily};
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
    checkVkResult(vkCreateDevice(app.vk.physicalDevice, &create, nullptr, &app.vk.device));
    vkGetDeviceQueue(app.vk.device, app.vk.graphicsFamily, 0, &app.vk.graphicsQueue);
    vkGetDeviceQueue(app.vk.device, app.vk.presentFamily, 0, &app.vk.presentQueue);
    app.vk.gpu.device = app.vk.device;
    app.vk.gpu.graphicsQueue = app.vk.graphicsQueue;
}

void createSwapChain(Application& app) {
    const SwapChainSupport support = querySwapChainSupport(app, app.vk.physicalDevice);
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
    const bool rotated = caps.currentTransform & (VK_SURFACE_TRANSFORM_ROTATE_90_BIT_KHR |
                                                  VK_SURFACE_TRANSFORM_ROTATE_270_BIT_KHR);
    if (rotated) std::swap(extent.width, extent.height);
    if (extent.width == 0xFFFFFFFFu) {
        int width = 0, height = 0;
        glfwGetFramebufferSize(app.window, &width, &height);
        extent.width = std::clamp(static_cast<uint32_t>(width), caps.minImageExtent.width, caps.maxImageExtent.width);
        extent.height =
            std::clamp(static_cast<uint32_t>(height), caps.minImageExtent.height, caps.maxImageExtent.height);
    }

    VkSwapchainCreateInfoKHR create{};

    create.sType = VK_STRUCTURE_TYPE_SWAPCHAIN_CREATE_INFO_KHR;
    create.surface = app.vk.surface;
    create.minImageCount = imageCount;
    create.imageFormat = format.format;
    create.imageColorSpace = format.colorSpace;
    create.imageExtent = extent;
    create.imageArrayLayers = 1;
    create.imageUsage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
    const uint32_t families[] = {app.vk.graphicsFamily, app.vk.presentFamily};
    if (app.vk.graphicsFamily != app.vk.presentFamily) {
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
    checkVkResult(vkCreateSwapchainKHR(app.vk.device, &create, nullptr, &app.vk.swapChain));

    uint32_t count = 0;
    checkVkResult(vkGetSwapchainImagesKHR(app.vk.device, app.vk.swapChain, &count, nullptr));
    app.vk.images.resize(count);
    checkVkResult(vkGetSwapchainImagesKHR(app.vk.device, app.vk.swapChain, &count, app.vk.images.data()));
    app.vk.redraw.resize(count, {1, 1});
    app.vk.imageFences.assign(count, VK_NULL_HANDLE);
    app.vk.commandBuffers.resize(count, VK_NULL_HANDLE);
    app.vk.swapChainFormat = format.format;
    app.vk.extent = extent;
}

void createImageViews(Application& app) {
    app.vk.imageViews.clear();
    for (VkImage image : app.vk.images) {
        app.vk.imageViews.push_back(createImageView(app, image, app.vk.swapChainFormat, VK_IMAGE_ASPECT_COLOR_BIT));
    }
}

void createRenderPass(Application& app) {
    const VkSampleCountFlagBits samples = app.vk.msaaSamples;
    const bool multi = samples != VK_SAMPLE_COUNT_1_BIT;
    VkAttachmentDescription attachments[3]{};
    attachments[0].format = app.vk.swapChainFormat;
    attachments[0].samples = samples;
    attachments[0].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    attachments[0].storeOp = multi ? VK_ATTACHMENT_STORE_OP_DONT_CARE : VK_ATTACHMENT_STORE_OP_STORE;
    attachments[0].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[0].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[0].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[0].finalLayout = multi ? VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL : VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;

    attachments[1].format = findDepthFormat(app);
    attachments[1].samples = samples;
    attachments[1].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    attachments[1].storeOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[1].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[1].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[1].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[1].finalLayout = VK_IMAGE_LAYOUT_DEPTH_STENCIL_ATTACHMENT_OPTIMAL;

    attachments[2].format = app.vk.swapChainFormat;
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
    checkVkResult(vkCreateRenderPass(app.vk.device, &create, nullptr, &app.vk.renderPass));
}

void createColorAndDepthResources(Application& app) {
    const VkExtent2D e = app.vk.extent;
    createImage(app, e.width, e.height, app.vk.msaaSamples, app.vk.swapChainFormat,
                VK_IMAGE_USAGE_TRANSIENT_ATTACHMENT_BIT | VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT, app.vk.colorImage,
                app.vk.colorMemory);
    app.vk.colorView = createImageView(app, app.vk.colorImage, app.vk.swapChainFormat, VK_IMAGE_ASPECT_COLOR_BIT);
    const VkFormat depthFormat = findDepthFormat(app);
    createImage(app, e.width, e.height, app.vk.msaaSamples, depthFormat, VK_IMAGE_USAGE_DEPTH_STENCIL_ATTACHMENT_BIT,
                app.vk.depthImage, app.vk.depthMemory);
    app.vk.depthView = createImageView(app, app.vk.depthImage, depthFormat, VK_IMAGE_ASPECT_DEPTH_BIT);
}

void createFramebuffers(Application& app) {
    app.vk.framebuffers.clear();
    const bool multi = app.vk.msaaSamples != VK_SAMPLE_COUNT_1_BIT;
    for (VkImageView view : app.vk.imageViews) {
        const VkImageView attachments[3] = {app.vk.colorView, app.vk.depthView, view};
        VkFramebufferCreateInfo create{};
        create.sType = VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO;
        create.renderPass = app.vk.renderPass;
        create.attachmentCount = multi ? 3 : 1;
        create.pAttachments = multi ? attachments : &view;
        create.width = app.vk.extent.width;
        create.height = app.vk.extent.height;
        create.layers = 1;
        VkFramebuffer framebuffer;
        checkVkResult(vkCreateFramebuffer(app.vk.device, &create, nullptr, &framebuffer));
        app.vk.framebuffers.push_back(framebuffer);
    }
}

void createCommandPool(Application& app) {
    VkCommandPoolCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO;
    create.flags = VK_COMMAND_POOL_CREATE_TRANSIENT_BIT | VK_COMMAND_POOL_CREATE_RESET_COMMAND_BUFFER_BIT;
    create.queueFamilyIndex = app.vk.graphicsFamily;
    checkVkResult(vkCreateCommandPool(app.vk.device, &create, nullptr, &app.vk.commandPool));
    app.vk.gpu.commandPool = app.vk.commandPool;
}

void createDescriptorPool(Application& app) {
    VkDescriptorPoolSize sizes[11];
    for (int t = 0; t < 11; ++t) sizes[t] = {static_cast<VkDescriptorType>(t), 1000};
    VkDescriptorPoolCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO;
    create.flags = VK_DESCRIPTOR_POOL_CREATE_FREE_DESCRIPTOR_SET_BIT;
    create.maxSets = 11000;
    create.poolSizeCount = 11;
    create.pPoolSizes = sizes;
    checkVkResult(vkCreateDescriptorPool(app.vk.device, &create, nullptr, &app.vk.descriptorPool));
}

void createSyncObjects(Application& app) {
    VkSemaphoreCreateInfo semaphore{};
    semaphore.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO;
    VkFenceCreateInfo fence{};
    fence.sType = VK_STRUCTURE_TYPE_FENCE_CREATE_INFO;
    fence.flags = VK_FENCE_CREATE_SIGNALED_BIT;
    for (int i = 0; i < FRAMES_IN_FLIGHT; ++i) {
        if (vkCreateSemaphore(app.vk.device, &semaphore, nullptr, &app.vk.imageAvailable[i]) != VK_SUCCESS ||
            vkCreateSemaphore(app.vk.device, &semaphore, nullptr, &app.vk.renderFinished[i]) != VK_SUCCESS ||
            vkCreateFence(app.vk.device, &fence, nullptr, &app.vk.inFlight[i]) != VK_SUCCESS) {
            throw std::runtime_error("failed to create synchronization objects for a frame!");
        }
    }
}

void allocateCommandBuffers(Application& app) {
    // Only entries that have none yet (new images after a recreation) get one.
    for (VkCommandBuffer& commands : app.vk.commandBuffers) {
        if (commands != VK_NULL_HANDLE) continue;
        VkCommandBufferAllocateInfo alloc{};
        alloc.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO;
        alloc.commandPool = app.vk.commandPool;
        alloc.level = VK_COMMAND_BUFFER_LEVEL_PRIMARY;
        alloc.commandBufferCount = 1;
        checkVkResult(vkAllocateCommandBuffers(app.vk.device, &alloc, &commands));
    }
}

void initImGuiVulkan(Application& app) {
    imguiVulkanInit({app.vk.instance, app.vk.physicalDevice, app.vk.device, app.vk.graphicsFamily,
                     app.vk.graphicsQueue, app.vk.descriptorPool, static_cast<uint32_t>(app.vk.images.size()),
                     app.vk.msaaSamples, app.vk.renderPass, checkVkResult});
    app.vk.imguiVulkanReady = true;
    if (!imguiVulkanHasFonts()) imguiVulkanCreateFonts(app.vk.gpu);
}

void updatePanelGeometry(Application& app) {
    ImGuiIO& io = ImGui::GetIO();
    io.FontGlobalScale = static_cast<float>(app.controlFontScale);
    // Measure at the current font without a frame: the default font's
    // advance for "0" times the global scale.
    ImFont* font = io.Fonts->Fonts.empty() ? nullptr : io.Fonts->Fonts[0];
    float width = 7, height = 13;
    if (font != nullptr && io.Fonts->IsBuilt()) {
        const ImVec2 size = font->CalcTextSizeA(font->FontSize * io.FontGlobalScale, 1e9f, 0, "0");
        width = size.x;
        height = size.y;
    }
    app.charSize[0] = static_cast<float>(static_cast<int>(width + 0.99999f));
    app.charSize[1] = height;
    const float padding = ImGui::GetStyle().WindowPadding.x;
    app.panelWidth = static_cast<int>(2 * padding + 23 * app.charSize[0]);
    if ((static_cast<int>(app.vk.extent.width) - app.panelWidth) % 2 == 0) app.panelWidth += 1;
}

void updateDisplayGeometry(Application& app) {
    app.displayWidth = static_cast<int>(app.vk.extent.width) - app.panelWidth;
    app.displayHeight = static_cast<int>(app.vk.extent.height);
    if (app.displayHeight % 2 == 0) app.displayHeight -= 1;
}

void cleanupSwapChain(Application& app) {
    VulkanState& vk = app.vk;
    VkDevice d = vk.device;
    if (vk.colorView) vkDestroyImageView(d, vk.colorView, nullptr);
    if (vk.colorImage) vkDestroyImage(d, vk.colorImage, nullptr);
    if (vk.colorMemory) vkFreeMemory(d, vk.colorMemory, nullptr);
    if (vk.depthView) vkDestroyImageView(d, vk.depthView, nullptr);
    if (vk.depthImage) vkDestroyImage(d, vk.depthImage, nullptr);
    if (vk.depthMemory) vkFreeMemory(d, vk.depthMemory, nullptr);
    vk.colorView = VK_NULL_HANDLE;
    vk.colorImage = VK_NULL_HANDLE;
    vk.colorMemory = VK_NULL_HANDLE;
    vk.depthView = VK_NULL_HANDLE;
    vk.depthImage = VK_NULL_HANDLE;
    vk.depthMemory = VK_NULL_HANDLE;
    for (VkFramebuffer f : vk.framebuffers) vkDestroyFramebuffer(d, f, nullptr);
    vk.framebuffers.clear();
    destroyGraphicsPipelines(app);
    if (vk.pipelineLayout) vkDestroyPipelineLayout(d, vk.pipelineLayout, nullptr);
    vk.pipelineLayout = VK_NULL_HANDLE;
    if (vk.renderPass) vkDestroyRenderPass(d, vk.renderPass, nullptr);
    vk.renderPass = VK_NULL_HANDLE;
    for (VkImageView v : vk.imageViews) vkDestroyImageView(d, v, nullptr);
    vk.imageViews.clear();
    checkVkResult(vkDeviceWaitIdle(d));
    if (vk.swapChain) vkDestroySwapchainKHR(d, vk.swapChain, nullptr);
    vk.swapChain = VK_NULL_HANDLE;
}

void recreateSwapChain(Application& app) {
    checkVkResult(vkDeviceWaitIdle(app.vk.device));
    cleanupSwapChain(app);
    const bool rebuild = app.rebuildDevicePipelines;
    if (rebuild) {
        if (app.vk.imguiVulkanReady) ImGui_ImplVulkan_Shutdown();
        if (app.vk.imguiGlfwReady) ImGui_ImplGlfw_Shutdown();
        app.vk.imguiVulkanReady = app.vk.imguiGlfwReady = false;
        maxUsableSampleCount(app);
    }
    createSwapChain(app);
    createImageViews(app);
    createRenderPass(app);
    if (rebuild) {
        ImGui_ImplGlfw_InitForVulkan(app.window, true);
        app.vk.imguiGlfwReady = true;
        initImGuiVulkan(app);
        app.rebuildDevicePipelines = false;
    }
    updatePanelGeometry(app);
    updateDisplayGeometry(app);
    // The star field sizes stars on screen by the display height.
    app.recomputeComponentTables();
    app.recomputeDisplayConstants();
    createPipelineLayout(app);
    createGraphicsPipelines(app);
    createColorAndDepthResources(app);
    createFramebuffers(app);
    allocateCommandBuffers(app);
    app.markAllForRedraw(0);
    app.markAllForRedraw(1);
}

void cleanupRenderer(Application& app) {
    VulkanState& vk = app.vk;
    if (vk.device != VK_NULL_HANDLE) {
        vkDeviceWaitIdle(vk.device);
        cleanupSwapChain(app);
        for (GpuBuffer& b : vk.uniformBuffers) destroyBuffer(b);
        vk.uniformBuffers.clear();
        if (vk.fontSampler) vkDestroySampler(vk.device, vk.fontSampler, nullptr);
        if (vk.fontView) vkDestroyImageView(vk.device, vk.fontView, nullptr);
        if (vk.fontImage) vkDestroyImage(vk.device, vk.fontImage, nullptr);
        if (vk.fontMemory) vkFreeMemory(vk.device, vk.fontMemory, nullptr);
        vk.fontSampler = VK_NULL_HANDLE;
        vk.fontView = VK_NULL_HANDLE;
        vk.fontImage = VK_NULL_HANDLE;
        vk.fontMemory = VK_NULL_HANDLE;
        if (vk.descriptorSetLayout) vkDestroyDescriptorSetLayout(vk.device, vk.descriptorSetLayout, nullptr);
        vk.descriptorSetLayout = VK_NULL_HANDLE;
        for (GpuBuffer* b : {&vk.midgroundPoints, &vk.highlightVertices, &vk.labelVertices, &vk.shapeTable,
                             &vk.nearRecords, &vk.shapeIndices, &vk.ellipsoidVertices, &vk.ellipsoidIndices,
                             &vk.spherePoints, &vk.foregroundVertices, &vk.backgroundParams, &vk.tubeVertices,
                             &vk.tubeIndices}) {
            destroyBuffer(*b);
        }
        for (GpuBuffer* b : {&app.staging.midground, &app.staging.highlight, &app.staging.label,
                             &app.staging.nearStars, &app.staging.reserved[0], &app.staging.reserved[1]}) {
            destroyBuffer(*b);
        }
        for (int i = 0; i < FRAMES_IN_FLIGHT; ++i) {
            if (vk.imageAvailable[i]) vkDestroySemaphore(vk.device, vk.imageAvailable[i], nullptr);
            if (vk.renderFinished[i]) vkDestroySemaphore(vk.device, vk.renderFinished[i], nullptr);
            if (vk.inFlight[i]) vkDestroyFence(vk.device, vk.inFlight[i], nullptr);
            vk.imageAvailable[i] = vk.renderFinished[i] = VK_NULL_HANDLE;
            vk.inFlight[i] = VK_NULL_HANDLE;
        }
    }
    if (vk.imguiVulkanReady) ImGui_ImplVulkan_Shutdown();
    if (vk.imguiGlfwReady) ImGui_ImplGlfw_Shutdown();
    vk.imguiVulkanReady = vk.imguiGlfwReady = false;
    if (ImGui::GetCurrentContext() != nullptr) ImGui::DestroyContext();
    if (vk.device != VK_NULL_HANDLE) {
        for (VkCommandBuffer& c : vk.commandBuffers) {
            if (c != VK_NULL_HANDLE) vkFreeCommandBuffers(vk.device, vk.commandPool, 1, &c);
        }
        vk.commandBuffers.clear();
        if (vk.descriptorPool) vkDestroyDescriptorPool(vk.device, vk.descriptorPool, nullptr);
        if (vk.commandPool) vkDestroyCommandPool(vk.device, vk.commandPool, nullptr);
        vk.descriptorPool = VK_NULL_HANDLE;
        vk.commandPool = VK_NULL_HANDLE;
    }
    if (vk.surface) vkDestroySurfaceKHR(vk.instance, vk.surface, nullptr);
    vk.surface = VK_NULL_HANDLE;
    if (vk.device) vkDestroyDevice(vk.device, nullptr);
    vk.device = VK_NULL_HANDLE;
    if (vk.instance) vkDestroyInstance(vk.instance, nullptr);
    vk.instance = VK_NULL_HANDLE;
    if (app.window != nullptr) {
        glfwDestroyWindow(app.window);
        glfwTerminate();
        app.window = nullptr;
    }
}

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
        const bool graphics = (properties[i].queueFlags & VK_QUEUE_GRAPHICS_BIT) != 0;
        if (graphics) families.graphics = i;
        VkBool32 present = VK_FALSE;
        if (r.surface != VK_NULL_HANDLE) {
            checkVkResult(vkGetPhysicalDeviceSurfaceSupportKHR(device, i, r.surface, &present));
        } else {
            present = graphics;  // offscreen: nothing is presented, the graphics queue reads back
        }
        if (present) families.present = i;
        if (families.complete()) break;
    }
    return families;
}

// The device extensions the renderer needs: the swap chain's, unless it draws offscreen.
std::vector<const char*> requiredDeviceExtensions(const Renderer& r) {
    if (r.offscreen) return {};
    return {DEVICE_EXTENSIONS.begin(), DEVICE_EXTENSIONS.end()};
}

bool checkDeviceExtensionSupport(const Renderer& r, VkPhysicalDevice device) {
    uint32_t count = 0;
    checkVkResult(vkEnumerateDeviceExtensionProperties(device, nullptr, &count, nullptr));
    std::vector<VkExtensionProperties> available(count);
    checkVkResult(vkEnumerateDeviceExtensionProperties(device, nullptr, &count, available.data()));
    const std::vector<const char*> names = requiredDeviceExtensions(r);
    std::set<std::string> required(names.begin(), names.end());
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

// The stars' pass has a colour attachment only: no depth is drawn or tested anywhere.
void chooseSamples(Renderer& r, bool multisampling) {
    r.supportedSamples = r.deviceProperties.limits.framebufferColorSampleCounts;
    r.msaaSamples = chooseSampleCount(r.supportedSamples, multisampling);
}

// The largest heap of device-local memory, where the images go.
uint64_t largestDeviceHeap(const VkPhysicalDeviceMemoryProperties& memory) {
    uint64_t largest = 0;
    for (uint32_t i = 0; i < memory.memoryHeapCount; ++i) {
        if (memory.memoryHeaps[i].flags & VK_MEMORY_HEAP_DEVICE_LOCAL_BIT)
            largest = std::max<uint64_t>(largest, memory.memoryHeaps[i].size);
    }
    return largest;
}

void createInstance(Renderer& r) {
    VkApplicationInfo info{};
    info.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    info.pApplicationName = "Starloom";
    info.applicationVersion = VK_MAKE_VERSION(STARLOOM_VERSION_MAJOR, STARLOOM_VERSION_MINOR, STARLOOM_VERSION_PATCH);
    info.pEngineName = "Starloom";
    info.engineVersion = info.applicationVersion;
    info.apiVersion = VK_API_VERSION_1_0;
    // Offscreen there is no surface and so no surface extension: no window
    // system or display is needed at all.
    uint32_t extensionCount = 0;
    const char** extensions = nullptr;
    if (!r.offscreen) {
        extensions = glfwGetRequiredInstanceExtensions(&extensionCount);
        if (extensions == nullptr) throw std::runtime_error("the window system offers no Vulkan surface");
    }
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
        if (!checkDeviceExtensionSupport(r, device)) continue;
        if (!r.offscreen) {
            const SwapChainSupport support = querySwapChainSupport(r, device);
            if (support.formats.empty() || support.presentModes.empty()) continue;
        }
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
    // No optional feature is needed: the pipelines shade once per pixel.
    VkPhysicalDeviceFeatures features{};
    VkDeviceCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
    create.queueCreateInfoCount = static_cast<uint32_t>(queues.size());
    create.pQueueCreateInfos = queues.data();
    create.pEnabledFeatures = &features;
    const std::vector<const char*> extensions = requiredDeviceExtensions(r);
    create.enabledExtensionCount = static_cast<uint32_t>(extensions.size());
    create.ppEnabledExtensionNames = extensions.data();
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
    // Read back for screenshots, where the surface allows it.
    r.swapChainReadable = (caps.supportedUsageFlags & VK_IMAGE_USAGE_TRANSFER_SRC_BIT) != 0;
    create.imageUsage = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | (r.swapChainReadable ? VK_IMAGE_USAGE_TRANSFER_SRC_BIT : 0);
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

// Offscreen, one image takes the swap chain's place: the format the swap
// chain prefers, so that a picture drawn offscreen has the pixels the window
// would show (or 16-bit floats for the light itself), and readable by a copy.
void createOffscreenTarget(Renderer& r) {
    VkFormat format = VK_FORMAT_UNDEFINED;
    const auto candidates = r.linearOutput ? std::vector<VkFormat>{VK_FORMAT_R16G16B16A16_SFLOAT}
                                           : std::vector<VkFormat>{VK_FORMAT_B8G8R8A8_SRGB, VK_FORMAT_R8G8B8A8_SRGB};
    for (VkFormat candidate : candidates) {
        VkFormatProperties properties;
        vkGetPhysicalDeviceFormatProperties(r.physicalDevice, candidate, &properties);
        const VkFormatFeatureFlags needed = VK_FORMAT_FEATURE_COLOR_ATTACHMENT_BIT | VK_FORMAT_FEATURE_COLOR_ATTACHMENT_BLEND_BIT;
        if ((properties.optimalTilingFeatures & needed) == needed) {
            format = candidate;
            break;
        }
    }
    if (format == VK_FORMAT_UNDEFINED) {
        throw std::runtime_error("the device cannot draw into an image of the picture's format");
    }
    r.swapChainFormat = format;
    r.swapChainReadable = true;
    const VkImage image = createImage(r, r.extent.width, r.extent.height, VK_SAMPLE_COUNT_1_BIT, format,
                                      VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | VK_IMAGE_USAGE_TRANSFER_SRC_BIT,
                                      r.swapChainObjects);
    r.images = {image};
    r.redraw.assign(1, {1, 1});
    r.imageFences.assign(1, VK_NULL_HANDLE);
    r.imageViews = {createImageView(r, image, format, VK_IMAGE_ASPECT_COLOR_BIT, r.swapChainObjects)};
}

// A render pass of one colour attachment, cleared and stored, ending in
// `finalLayout` for its readers. With samples > 1 it draws into a
// multisampled attachment that resolves into the stored one. Its dependencies
// cover the images' use across frames: writes wait for the previous frame's
// writes and for earlier readers in `readerStages` (shader reads of the light
// images, copies out of an image), and `nextStages`/`nextAccess` wait for the
// writes and the final layout change.
VkRenderPass createColourPass(Renderer& r, VkFormat format, VkSampleCountFlagBits samples, VkImageLayout finalLayout,
                              VkPipelineStageFlags readerStages, VkPipelineStageFlags nextStages,
                              VkAccessFlags nextAccess, DeletionQueue& lifetime) {
    const bool multi = samples != VK_SAMPLE_COUNT_1_BIT;
    VkAttachmentDescription attachments[2]{};
    attachments[0].format = format;
    attachments[0].samples = samples;
    attachments[0].loadOp = VK_ATTACHMENT_LOAD_OP_CLEAR;
    attachments[0].storeOp = multi ? VK_ATTACHMENT_STORE_OP_DONT_CARE : VK_ATTACHMENT_STORE_OP_STORE;
    attachments[0].stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[0].stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE;
    attachments[0].initialLayout = VK_IMAGE_LAYOUT_UNDEFINED;
    attachments[0].finalLayout = multi ? VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL : finalLayout;
    attachments[1] = attachments[0];
    attachments[1].samples = VK_SAMPLE_COUNT_1_BIT;
    attachments[1].loadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE;
    attachments[1].storeOp = VK_ATTACHMENT_STORE_OP_STORE;
    attachments[1].finalLayout = finalLayout;

    const VkAttachmentReference colour{0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    const VkAttachmentReference resolve{1, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    VkSubpassDescription subpass{};
    subpass.pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS;
    subpass.colorAttachmentCount = 1;
    subpass.pColorAttachments = &colour;
    if (multi) subpass.pResolveAttachments = &resolve;

    VkSubpassDependency dependencies[2]{};
    dependencies[0].srcSubpass = VK_SUBPASS_EXTERNAL;
    dependencies[0].dstSubpass = 0;
    dependencies[0].srcStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT | readerStages;
    dependencies[0].srcAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
    dependencies[0].dstStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    dependencies[0].dstAccessMask = VK_ACCESS_COLOR_ATTACHMENT_READ_BIT | VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
    dependencies[1].srcSubpass = 0;
    dependencies[1].dstSubpass = VK_SUBPASS_EXTERNAL;
    dependencies[1].srcStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    dependencies[1].srcAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT;
    dependencies[1].dstStageMask = nextStages;
    dependencies[1].dstAccessMask = nextAccess;

    VkRenderPassCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO;
    create.attachmentCount = multi ? 2 : 1;
    create.pAttachments = attachments;
    create.subpassCount = 1;
    create.pSubpasses = &subpass;
    create.dependencyCount = 2;
    create.pDependencies = dependencies;
    VkRenderPass pass = VK_NULL_HANDLE;
    checkVkResult(vkCreateRenderPass(r.device, &create, nullptr, &pass));
    defer(lifetime, [&r, pass] { vkDestroyRenderPass(r.device, pass, nullptr); });
    return pass;
}

// The display pass: one sample, into the swap-chain image (presented) or the
// offscreen picture (copied out, also by the previous frame's read-back).
void createRenderPass(Renderer& r) {
    const VkImageLayout drawnLayout =
        r.offscreen ? VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL : VK_IMAGE_LAYOUT_PRESENT_SRC_KHR;
    const VkPipelineStageFlags next =
        r.offscreen ? VK_PIPELINE_STAGE_TRANSFER_BIT : VK_PIPELINE_STAGE_BOTTOM_OF_PIPE_BIT;
    const VkAccessFlags nextAccess = r.offscreen ? VK_ACCESS_TRANSFER_READ_BIT : 0;
    r.renderPass = createColourPass(r, r.swapChainFormat, VK_SAMPLE_COUNT_1_BIT, drawnLayout,
                                    VK_PIPELINE_STAGE_TRANSFER_BIT, next, nextAccess, r.swapChainObjects);
}

VkFramebuffer createFramebuffer(Renderer& r, VkRenderPass pass, std::initializer_list<VkImageView> views,
                                VkExtent2D extent, DeletionQueue& lifetime) {
    const std::vector<VkImageView> attachments(views);
    VkFramebufferCreateInfo create{};
    create.sType = VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO;
    create.renderPass = pass;
    create.attachmentCount = static_cast<uint32_t>(attachments.size());
    create.pAttachments = attachments.data();
    create.width = extent.width;
    create.height = extent.height;
    create.layers = 1;
    VkFramebuffer framebuffer = VK_NULL_HANDLE;
    checkVkResult(vkCreateFramebuffer(r.device, &create, nullptr, &framebuffer));
    defer(lifetime, [&r, framebuffer] { vkDestroyFramebuffer(r.device, framebuffer, nullptr); });
    return framebuffer;
}

// The star display's light: images of the star display's size (the
// background's at its own resolution), their passes and framebuffers, and
// the automatic exposure's small target.
void createLightTargets(Renderer& r) {
    const VkExtent2D light{static_cast<uint32_t>(std::max(1, r.geometry.displayWidth)),
                           static_cast<uint32_t>(std::max(1, r.geometry.displayHeight))};
    r.lightExtent = light;
    r.backgroundExtent = backgroundExtentFor(light, backgroundResolution(light));
    const VkImageUsageFlags sampled = VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | VK_IMAGE_USAGE_SAMPLED_BIT;
    DeletionQueue& q = r.swapChainObjects;
    const VkPipelineStageFlags shaders = VK_PIPELINE_STAGE_FRAGMENT_SHADER_BIT;
    const VkImageLayout read = VK_IMAGE_LAYOUT_SHADER_READ_ONLY_OPTIMAL;

    r.backgroundImage = createImage(r, r.backgroundExtent.width, r.backgroundExtent.height, VK_SAMPLE_COUNT_1_BIT,
                                    LIGHT_FORMAT, sampled, q);
    r.backgroundView = createImageView(r, r.backgroundImage, LIGHT_FORMAT, VK_IMAGE_ASPECT_COLOR_BIT, q);
    r.backgroundPass = createColourPass(r, LIGHT_FORMAT, VK_SAMPLE_COUNT_1_BIT, read, shaders, shaders,
                                        VK_ACCESS_SHADER_READ_BIT, q);
    r.backgroundFramebuffer = createFramebuffer(r, r.backgroundPass, {r.backgroundView}, r.backgroundExtent, q);

    r.lightImage = createImage(r, light.width, light.height, VK_SAMPLE_COUNT_1_BIT, LIGHT_FORMAT, sampled, q);
    r.lightView = createImageView(r, r.lightImage, LIGHT_FORMAT, VK_IMAGE_ASPECT_COLOR_BIT, q);
    r.starPass = createColourPass(r, LIGHT_FORMAT, r.msaaSamples, read, shaders, shaders, VK_ACCESS_SHADER_READ_BIT, q);
    if (r.msaaSamples != VK_SAMPLE_COUNT_1_BIT) {
        const VkImageUsageFlags transient =
            VK_IMAGE_USAGE_TRANSIENT_ATTACHMENT_BIT | VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT;
        r.starSamplesImage = createImage(r, light.width, light.height, r.msaaSamples, LIGHT_FORMAT, transient, q);
        r.starSamplesView = createImageView(r, r.starSamplesImage, LIGHT_FORMAT, VK_IMAGE_ASPECT_COLOR_BIT, q);
        r.starFramebuffer = createFramebuffer(r, r.starPass, {r.starSamplesView, r.lightView}, light, q);
    } else {
        r.starSamplesImage = VK_NULL_HANDLE;
        r.starSamplesView = VK_NULL_HANDLE;
        r.starFramebuffer = createFramebuffer(r, r.starPass, {r.lightView}, light, q);
    }

    const VkExtent2D grid{EXPOSURE_GRID_WIDTH, EXPOSURE_GRID_HEIGHT};
    r.exposureImage = createImage(r, grid.width, grid.height, VK_SAMPLE_COUNT_1_BIT, EXPOSURE_FORMAT,
                                  VK_IMAGE_USAGE_COLOR_ATTACHMENT_BIT | VK_IMAGE_USAGE_TRANSFER_SRC_BIT, q);
    r.exposureView = createImageView(r, r.exposureImage, EXPOSURE_FORMAT, VK_IMAGE_ASPECT_COLOR_BIT, q);
    r.exposurePass = createColourPass(r, EXPOSURE_FORMAT, VK_SAMPLE_COUNT_1_BIT, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL,
                                      VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_TRANSFER_BIT,
                                      VK_ACCESS_TRANSFER_READ_BIT, q);
    r.exposureFramebuffer = createFramebuffer(r, r.exposurePass, {r.exposureView}, grid, q);

    // The point draws, one per swap-chain image, made when first written.
    r.pointDraws.clear();
    r.pointDraws.resize(r.images.size());
    r.pointDrawCounts.assign(r.images.size(), 0);
    defer(q, [&r] {
        for (GpuBuffer& b : r.pointDraws) destroyBuffer(b);
        r.pointDraws.clear();
        r.pointDrawCounts.clear();
    });
    // The measurements of the automatic exposure come back through one host
    // buffer per swap-chain image, read once that image's frame is done.
    r.exposureReadback.clear();
    r.exposureReadback.resize(r.images.size());
    r.exposureMeasured.assign(r.images.size(), 0);
    for (GpuBuffer& b : r.exposureReadback) {
        createBuffer(b, r.gpu, "exposure measurement", EXPOSURE_GRID_WIDTH * EXPOSURE_GRID_HEIGHT * 8,
                     VK_BUFFER_USAGE_TRANSFER_DST_BIT,
                     VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT,
                     VK_MEMORY_PROPERTY_HOST_CACHED_BIT, 8, true);
    }
    defer(q, [&r] {
        for (GpuBuffer& b : r.exposureReadback) destroyBuffer(b);
        r.exposureReadback.clear();
    });
}

void createFramebuffers(Renderer& r) {
    r.framebuffers.clear();
    for (VkImageView view : r.imageViews) {
        r.framebuffers.push_back(createFramebuffer(r, r.renderPass, {view}, r.extent, r.swapChainObjects));
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
    // Offscreen, a second one: the display pass, submitted after the light
    // has been measured.
    const size_t wanted = r.offscreen ? 2 : r.images.size();
    while (r.commandBuffers.size() < wanted) {
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
    if (r.offscreen) {
        createOffscreenTarget(r);
    } else {
        createSwapChain(r);
    }
    createRenderPass(r);
}

// Linear filtering, clamped at the edges: the light images as the display
// pass and the exposure measurement read them.
void createLightSampler(Renderer& r) {
    VkSamplerCreateInfo sampler{};
    sampler.sType = VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO;
    sampler.magFilter = VK_FILTER_LINEAR;
    sampler.minFilter = VK_FILTER_LINEAR;
    sampler.mipmapMode = VK_SAMPLER_MIPMAP_MODE_NEAREST;
    sampler.addressModeU = sampler.addressModeV = sampler.addressModeW = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
    sampler.maxAnisotropy = 1.0f;
    sampler.compareOp = VK_COMPARE_OP_ALWAYS;
    sampler.borderColor = VK_BORDER_COLOR_FLOAT_TRANSPARENT_BLACK;
    checkVkResult(vkCreateSampler(r.device, &sampler, nullptr, &r.lightSampler));
    defer(r.deviceObjects, [&r] {
        vkDestroySampler(r.device, r.lightSampler, nullptr);
        r.lightSampler = VK_NULL_HANDLE;
    });
}

// The device and what lives with it, for a window or offscreen, after the
// instance and the physical device.
void createDeviceObjects(Renderer& r) {
    createLogicalDevice(r);
    createCommandPool(r);
    createDescriptorPool(r);
    createSyncObjects(r);
    createDescriptorSetLayout(r);
    createLightSampler(r);
    buildSwapChain(r);
    createUniformBuffers(r);
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

PicturePlan planOffscreenPicture(uint32_t width, uint32_t height, VkSampleCountFlagBits wanted,
                                 VkSampleCountFlags supported, uint32_t maxImageSide, uint64_t heapBytes,
                                 bool linearOutput) {
    PicturePlan plan;
    auto side = [&](const char* what, uint32_t pixels) {
        plan.problem = "the picture is " + std::to_string(pixels) + " pixels " + what +
                       ", more than the device's largest image (" + std::to_string(maxImageSide) +
                       " pixels a side)";
    };
    if (width > maxImageSide) side("wide", width);
    else if (height > maxImageSide) side("high", height);
    if (!plan.problem.empty()) return plan;
    const uint64_t pixels = uint64_t{width} * height;
    const VkExtent2D background = backgroundExtentFor({width, height}, backgroundResolution({width, height}));
    auto bytesWith = [&](uint32_t samples) {
        uint64_t bytes = pixels * (linearOutput ? 8 : 4) + pixels * 8 +
                         uint64_t{background.width} * background.height * 8 + RENDERER_BUFFER_BYTES;
        if (samples > 1) bytes += pixels * 8 * samples;
        return bytes;
    };
    // Fewer samples for the stars when the wanted count would not fit.
    uint32_t samples = static_cast<uint32_t>(wanted);
    while (samples > 1 && (bytesWith(samples) > heapBytes || !(supported & samples))) samples /= 2;
    plan.samples = static_cast<VkSampleCountFlagBits>(samples);
    plan.deviceBytes = bytesWith(samples);
    if (plan.deviceBytes > heapBytes) {
        auto mib = [](uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB"; };
        plan.problem = "a " + std::to_string(width) + "x" + std::to_string(height) + " picture needs " +
                       mib(plan.deviceBytes) + " of device memory, more than the device's largest memory heap (" +
                       mib(heapBytes) + ")";
    }
    return plan;
}

void createDevice(Renderer& r, GLFWwindow* window, bool multisampling) {
    r.window = window;
    r.offscreen = false;
    createInstance(r);
    createSurface(r);
    pickPhysicalDevice(r, multisampling);
    createDeviceObjects(r);
    imguiBackendInit(r);
    defer(r.deviceObjects, [&r] { imguiBackendShutdown(r); });
}

PicturePlan openOffscreenDevice(Renderer& r, int width, int height, bool multisampling, bool linearOutput) {
    if (width <= 0 || height <= 0) throw std::runtime_error("an offscreen picture needs a size");
    r.window = nullptr;
    r.offscreen = true;
    r.linearOutput = linearOutput;
    r.extent = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    createInstance(r);
    pickPhysicalDevice(r, multisampling);
    return planOffscreenPicture(r.extent.width, r.extent.height, r.msaaSamples, r.supportedSamples,
                                r.deviceProperties.limits.maxImageDimension2D,
                                largestDeviceHeap(r.gpu.memoryProperties), linearOutput);
}

void createOffscreenDevice(Renderer& r, const PicturePlan& plan) {
    if (!plan.problem.empty()) throw std::runtime_error(plan.problem);
    r.msaaSamples = plan.samples;
    createDeviceObjects(r);
}

DisplayGeometry createPipelines(Renderer& r, const SwapChainSettings& settings) {
    r.built = settings;
    const int width = static_cast<int>(r.extent.width), height = static_cast<int>(r.extent.height);
    // Offscreen the star display is the whole picture, whatever its size.
    r.geometry = r.offscreen ? DisplayGeometry{width, height, 0, width, height}
                             : displayGeometry(width, height, settings.panelWidthBase);
    createLightTargets(r);
    if (r.descriptorSets.empty()) createDescriptorSets(r);
    writeLightDescriptors(r);
    createPipelineLayout(r);
    createGraphicsPipelines(r);
    createTextImagePipeline(r);
    createFramebuffers(r);
    allocateCommandBuffers(r);
    for (auto& marks : r.redraw) marks = {1, 1};
    r.recordedScene.assign(r.images.size(), 0);
    ++r.sceneVersion;  // new light images hold nothing yet
    return r.geometry;
}

void rebuildGraphicsPipelines(Renderer& r) {
    waitIdle(r);
    flush(r.pipelineObjects);
    createGraphicsPipelines(r);
    ++r.sceneVersion;
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

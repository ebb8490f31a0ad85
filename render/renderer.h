// The Vulkan renderer. One Renderer owns every Vulkan object of the program;
// the functions below work on it on the main thread and take what they draw
// as arguments: the frame's snapshot of the view and the display settings,
// and what the star-field engine published. They never reach back into the
// application; what it needs from them (the display's size after a swap-chain
// change, whether the swap chain must be rebuilt) is returned.
//
// Every object is created together with the action that destroys it, queued
// in the deletion queue of its lifetime (device, swap chain, pipelines), so
// that teardown is one place that cannot forget a handle.
#pragma once

#include <vulkan/vulkan.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "render/gpu_buffer.h"
#include "render/meshes.h"
#include "render/picture.h"
#include "render/point_culling.h"
#include "render/uniforms.h"
#include "numeric/vec3.h"
#include "starfield/labels.h"
#include "state/settings.h"

struct DisplayFont;
struct GLFWwindow;
struct StarFieldResults;
struct StarRecord;

inline constexpr int FRAMES_IN_FLIGHT = 2;

// Destroy actions, run in reverse order of queuing.
struct DeletionQueue {
    std::vector<std::function<void()>> actions;
};
void defer(DeletionQueue& queue, std::function<void()> action);
void flush(DeletionQueue& queue);

// A foreground object as the uniform block needs it.
struct ForegroundView {
    int64_t position[3];
    double radius;  // solar radii
    uint8_t colour[3];
    uint32_t luminosityCode = 0;  // the star's, as the point records carry it: the strength of its glow
};

// What the star-field engine published for drawing, as the application keeps
// it between passes.
struct StarFieldDraw {
    double midgroundNearSq = 0, midgroundFarSq = 0;  // squared distances (0: not known yet)
    uint64_t foregroundFarSq = 0;                    // from the view limits
    double limitScale = 0;                           // luminosity scale of the view limits
    double backgroundIntensity = 0;                  // of the diffuse light
    float backgroundColour[3]{};
    // The colour of each small background ellipsoid's light (in the order of
    // the galaxy's ellipsoids) and of the arms' (all backgroundColour unless
    // the light is coloured by its populations).
    std::vector<std::array<float, 3>> ellipsoidColours;
    std::array<float, 3> armColour{};
    double foregroundRadiusFactor = 0;
    std::vector<ForegroundView> foreground;
    uint32_t highlightCount = 0;              // highlighted search results
    uint32_t placeMarkCount = 0;              // of which the first are marked places (bookmarks)
    std::vector<int64_t> highlightPositions;  // 3 per highlight
    std::vector<LabelBox> labelBoxes;         // one per highlight: its label's extent beside the star
};

// How a highlighted star is drawn this frame (FrameInput, one per highlight).
struct HighlightStyle {
    bool labelShown = true;
    uint8_t labelDrop = 0;  // pixels the label is moved down (to clear the cross-hair)
    bool selected = false;  // the selected star: its marker and label stand out
    bool place = false;     // a marked place (a bookmark): drawn in a colour of its own
    bool hidden = false;    // not drawn (a marked place the viewpoint is at)
};

// One frame's view and display settings.
struct FrameInput {
    int64_t position[3] = {0, 0, 0};  // integer parts of the viewpoint
    Vec3d forward{0, 1, 0}, up{0, 0, 1};
    double viewAngle = 45;  // degrees
    float brightness = 1;
    // The tone map's factor on the light: `exposure`, or with autoExposure
    // one that follows the picture's own light (times the brightness).
    bool autoExposure = false;
    float exposure = 1;
    float maximumCircleSize = 20;
    bool showCrosshair = true;
    bool hideStarDisplay = false;
    bool backgroundOnly = false;  // draw the diffuse light and nothing else (a check of the background)
    BackgroundMode backgroundMode = BackgroundMode::Normal;
    StarShape starShape = StarShape::Fuzzy;
    int helpMargin = 0;  // width of an open help screen beside the panel, pixels
    bool panelOnRight = true;
    bool redrawStars = false;  // re-record the star draws of every image
    bool redrawPanel = false;  // re-record the panel draws of every image
    bool capture = false;      // read the star display back once drawn (a screenshot)
    const StarFieldDraw* starField = nullptr;
    const std::vector<HighlightStyle>* highlightStyle = nullptr;  // per highlight; none: all plain
};

// Where the star display lies in the window: the panel takes panelWidth
// pixels on one side, and both display dimensions are odd so that the
// display has a centre pixel.
struct DisplayGeometry {
    int framebufferWidth = 0, framebufferHeight = 0;
    int panelWidth = 0;
    int displayWidth = 0, displayHeight = 0;
};
// panelWidthBase is the panel's own width; one pixel is added when the rest
// of the window would be even.
DisplayGeometry displayGeometry(int framebufferWidth, int framebufferHeight, int panelWidthBase);

// What the renderer needs to know to build its swap-chain objects.
struct SwapChainSettings {
    bool multisampling = true;
    int panelWidthBase = 0;
    bool panelOnRight = true;
    BackgroundMode backgroundMode = BackgroundMode::Normal;
    int helpMargin = 0;
};

// What the device offers, for the information pages.
struct DeviceFacts {
    std::string name;
    uint32_t apiVersion = 0;
    bool allMemoryHostVisible = false;
    bool shaderFloat64 = false;
    VkPhysicalDeviceMemoryProperties memory{};
    uint32_t maxUniformBufferRange = 0;
    VkSampleCountFlags supportedSamples = 0;
    VkSampleCountFlagBits samplesInUse = VK_SAMPLE_COUNT_1_BIT;
    uint32_t maxImageSize = 0;  // largest 2-D image side
    uint64_t hostCopies = 0, gpuCopies = 0;  // the uploads so far, by the CPU and by the GPU
};

// A text block drawn into a texture of its own, with what the panel's quad
// needs to show it.
struct TextTexture {
    VkImage image = VK_NULL_HANDLE;
    VkDeviceMemory memory = VK_NULL_HANDLE;
    VkImageView view = VK_NULL_HANDLE;
    VkSampler sampler = VK_NULL_HANDLE;
    VkDescriptorSet set = VK_NULL_HANDLE;
    int width = 0, height = 0;
    uint64_t retireAfter = 0;  // 0 while shown; else the frame after which no frame can use it
};

struct TextBlockResources {
    VkDescriptorSetLayout atlasLayout = VK_NULL_HANDLE;  // the font atlas, for drawing blocks
    VkDescriptorSet atlasSet = VK_NULL_HANDLE;
    VkPipelineLayout blockLayout = VK_NULL_HANDLE;
    VkRenderPass renderPass = VK_NULL_HANDLE;
    VkPipeline blockPipeline = VK_NULL_HANDLE;
    VkDescriptorSetLayout imageLayout = VK_NULL_HANDLE;  // a block's texture, for showing it
    VkPipelineLayout quadLayout = VK_NULL_HANDLE;
    VkPipeline quadPipeline = VK_NULL_HANDLE;  // in the main render pass
    std::vector<TextTexture> textures;  // the one shown and those still retiring
    TextTexture current;
    uint64_t frameCounter = 1;
};

struct Renderer {
    GLFWwindow* window = nullptr;
    // Called again and again while a frame waits for the device or the
    // display (every few milliseconds), so that the window's events are
    // taken when they happen; none: the waits just wait.
    void (*whileWaiting)(void* owner) = nullptr;
    void* waitingOwner = nullptr;
    // Drawing without a window: one image of the picture's size stands in
    // for the swap chain, and nothing is presented.
    bool offscreen = false;
    VkInstance instance = VK_NULL_HANDLE;
    VkSurfaceKHR surface = VK_NULL_HANDLE;
    VkPhysicalDevice physicalDevice = VK_NULL_HANDLE;
    VkPhysicalDeviceProperties deviceProperties{};
    VkPhysicalDeviceFeatures deviceFeatures{};
    bool allMemoryHostVisible = false;
    VkDevice device = VK_NULL_HANDLE;
    uint32_t graphicsFamily = 0;
    uint32_t presentFamily = 0;
    VkQueue graphicsQueue = VK_NULL_HANDLE;
    VkQueue presentQueue = VK_NULL_HANDLE;
    VkSampleCountFlags supportedSamples = 0;
    VkSampleCountFlagBits msaaSamples = VK_SAMPLE_COUNT_1_BIT;  // of the stars' pass

    VkSwapchainKHR swapChain = VK_NULL_HANDLE;
    VkFormat swapChainFormat = VK_FORMAT_UNDEFINED;
    VkExtent2D extent{0, 0};
    bool swapChainReadable = false;  // the images allow copies out of them
    std::vector<VkImage> images;
    std::vector<VkImageView> imageViews;
    // The display pass: the star display tone-mapped from its light, the
    // markers, labels, cross-hair and the panel, into the swap-chain image
    // (offscreen, the picture's image; with linearOutput, one of linear
    // floats and no tone curve).
    VkRenderPass renderPass = VK_NULL_HANDLE;
    std::vector<VkFramebuffer> framebuffers;
    bool linearOutput = false;

    // The star display in linear light (16-bit floats), sized to the star
    // display: the diffuse background at BACKGROUND_RESOLUTION of it, the
    // stars multisampled and resolved into lightImage (drawn straight into it
    // with one sample). Each with its pass and framebuffer, read by the
    // display pass. The automatic exposure measures into exposureImage and
    // copies that to a host buffer per swap-chain image.
    VkExtent2D lightExtent{0, 0};
    VkExtent2D backgroundExtent{0, 0};
    VkImage backgroundImage = VK_NULL_HANDLE, starSamplesImage = VK_NULL_HANDLE, lightImage = VK_NULL_HANDLE;
    VkImage exposureImage = VK_NULL_HANDLE;
    VkImageView backgroundView = VK_NULL_HANDLE, starSamplesView = VK_NULL_HANDLE, lightView = VK_NULL_HANDLE;
    VkImageView exposureView = VK_NULL_HANDLE;
    VkSampler lightSampler = VK_NULL_HANDLE;
    VkRenderPass backgroundPass = VK_NULL_HANDLE, starPass = VK_NULL_HANDLE, exposurePass = VK_NULL_HANDLE;
    VkFramebuffer backgroundFramebuffer = VK_NULL_HANDLE, starFramebuffer = VK_NULL_HANDLE;
    VkFramebuffer exposureFramebuffer = VK_NULL_HANDLE;
    std::vector<GpuBuffer> exposureReadback;  // per swap-chain image
    std::vector<uint8_t> exposureMeasured;    // per image: its last submission measured the light
    // The automatic exposure: where it stands (before the brightness), where
    // the last measurement asked it to go, and when it last moved.
    double autoExposure = 1, autoExposureTarget = 1;
    bool autoExposureKnown = false;
    uint64_t autoExposureTime = 0;
    // The light images hold the scene of the last frame that drew one. A
    // frame whose scene would be the same (the same uniform block, the same
    // buffers and pipelines: sceneVersion counts their changes) draws the
    // display pass alone: the panel follows the mouse at the display pass's
    // cost while the view rests.
    std::vector<uint8_t> drawnScene;  // its uniform block (exposure left out without discs)
    uint64_t sceneVersion = 1, drawnSceneVersion = 0;
    std::vector<uint8_t> recordedScene;  // per image: its commands draw the scene

    VkCommandPool commandPool = VK_NULL_HANDLE;
    std::vector<VkCommandBuffer> commandBuffers;
    // Per image: [0] the star draws must be re-recorded, [1] the panel draws.
    std::vector<std::array<uint8_t, 2>> redraw;

    VkSemaphore imageAvailable[FRAMES_IN_FLIGHT]{};
    VkSemaphore renderFinished[FRAMES_IN_FLIGHT]{};
    VkFence inFlight[FRAMES_IN_FLIGHT]{};
    std::vector<VkFence> imageFences;  // per image: the frame fence of its last submission
    uint32_t currentFrame = 0;
    VkDescriptorPool descriptorPool = VK_NULL_HANDLE;

    // Pipelines and their interface.
    VkDescriptorSetLayout descriptorSetLayout = VK_NULL_HANDLE;
    std::vector<VkDescriptorSet> descriptorSets;
    VkPipelineLayout pipelineLayout = VK_NULL_HANDLE;
    VkPipeline pointPipeline = VK_NULL_HANDLE;
    VkPipeline highlightPipeline = VK_NULL_HANDLE;
    VkPipeline labelPipeline = VK_NULL_HANDLE;
    VkPipeline shapePipeline = VK_NULL_HANDLE;
    VkPipeline foregroundPipeline = VK_NULL_HANDLE;
    VkPipeline crosshairPipeline = VK_NULL_HANDLE;
    VkPipeline ellipsoidPipeline = VK_NULL_HANDLE;
    VkPipeline backgroundPipeline = VK_NULL_HANDLE;
    VkPipeline toneMapPipeline = VK_NULL_HANDLE;
    VkPipeline exposurePipeline = VK_NULL_HANDLE;

    // What the swap-chain objects and pipelines were built for.
    SwapChainSettings built;
    DisplayGeometry geometry;
    StarShape starShape = StarShape::Fuzzy;  // of the shape table

    // Buffers.
    GpuContext gpu;
    std::vector<GpuBuffer> uniformBuffers;
    GpuBuffer midgroundPoints;
    GpuBuffer highlightVertices;
    GpuBuffer labelVertices;
    GpuBuffer shapeTable;
    GpuBuffer nearRecords;
    GpuBuffer ellipsoidVertices;
    GpuBuffer ellipsoidIndices;
    GpuBuffer backgroundParams;
    GpuBuffer tubeVertices;
    GpuBuffer tubeIndices;
    uint32_t midgroundPointCapacity = 0;
    uint32_t ellipsoidTriangles = 0;
    uint32_t tubeSegments = 0;
    uint32_t tubeRings = 16;

    // Label font texture (R8, 512 x 2048).
    VkImage fontImage = VK_NULL_HANDLE;
    VkImageView fontView = VK_NULL_HANDLE;
    VkSampler fontSampler = VK_NULL_HANDLE;

    // The midground points as uploaded (a copy of the point buffer), and per
    // swap-chain image a host buffer with the slots of the stars its point
    // draw draws (render/point_culling.h) and their count, as recorded.
    std::vector<PointRecord> pointCopy;
    std::vector<GpuBuffer> pointDraws;
    std::vector<uint32_t> pointDrawCounts;
    std::vector<uint32_t> visibleSlots;
    uint32_t pointsDrawn = 0;  // in the last frame

    // Draw counts.
    uint32_t midgroundPointCount = 0;
    uint32_t shapeVertexCount = 0;
    uint32_t highlightVertexCount = 0;
    uint32_t labelVertexCount = 0;
    uint32_t foregroundCount = 0;
    // What the recorded star draws were recorded with.
    bool recordedCrosshair = false, recordedHidden = false, recordedBackgroundOnly = false;
    bool recordedAutoExposure = false;
    BackgroundMode recordedBackground = BackgroundMode::None;
    bool recordedAnything = false;  // the recorded values above are those of a recording

    // Positions the uploaded records are relative to.
    int64_t midgroundOrigin[3]{};
    int64_t lastGenerationPosition[3]{};

    UniformBufferObject ubo{};

    TextBlockResources text;

    DeletionQueue deviceObjects;     // lives until the renderer is destroyed
    DeletionQueue swapChainObjects;  // rebuilt with the swap chain
    DeletionQueue pipelineObjects;   // rebuilt with the pipelines
    bool imguiReady = false;
};

// The galaxy's display shapes: small ellipsoids and the arm chains.
struct GalaxyShapes {
    const std::vector<EllipsoidShape>* ellipsoids = nullptr;
    const std::vector<std::vector<ArmSegment>>* armChains = nullptr;
};

// Start-up, in order. createDevice makes the instance, surface, device,
// queues, swap chain, render pass, pools, synchronisation objects, uniform
// buffers and the panel's back end; createDrawResources the buffers, the
// shape table, the label font texture and the meshes; createPipelines the
// descriptor sets, pipelines, framebuffers and command buffers, and returns
// where the star display lies.
void createDevice(Renderer& r, GLFWwindow* window, bool multisampling);
// The same without a window or a display, in two steps: the instance and
// the device chosen, with what a picture of width x height needs of it
// (planOffscreenPicture: the caller refuses a size the device cannot hold
// before anything else is done); then no surface and no swap chain, but one
// image of that size that the frame draws into and reads back
// (drawOffscreen), with the plan's samples. The star display is the whole
// image and there is no panel. With linearOutput the picture holds the light
// itself (after the exposure, before the tone curve) as floats, for checks of
// the light.
struct PicturePlan;
PicturePlan openOffscreenDevice(Renderer& r, int width, int height, bool multisampling, bool linearOutput = false);
void createOffscreenDevice(Renderer& r, const PicturePlan& plan);
void createDrawResources(Renderer& r, const IcosaTables& icosa, const GalaxyShapes& shapes, StarShape starShape,
                         const DisplayFont& font);
DisplayGeometry createPipelines(Renderer& r, const SwapChainSettings& settings);

// The swap chain and everything that depends on it, rebuilt for new
// settings (with rebuildDevice, the sample count and the panel back end too).
DisplayGeometry recreateSwapChain(Renderer& r, const SwapChainSettings& settings, bool rebuildDevice);

// What an offscreen picture of width x height needs of the device: its
// images fit within the largest image side and, with the renderer's
// buffers, within the device-local heap, with `wanted` samples for the
// stars or the most of fewer (among `supported`) that fit. `problem` says
// which limit the size breaks (empty when none).
struct PicturePlan {
    VkSampleCountFlagBits samples = VK_SAMPLE_COUNT_1_BIT;
    uint64_t deviceBytes = 0;
    std::string problem;
};
PicturePlan planOffscreenPicture(uint32_t width, uint32_t height, VkSampleCountFlagBits wanted,
                                 VkSampleCountFlags supported, uint32_t maxImageSide, uint64_t heapBytes,
                                 bool linearOutput);

// Everything, in reverse order of creation. Safe after a failed start-up.
void destroyRenderer(Renderer& r);

void waitIdle(Renderer& r);

// The frame, in two halves around the application's work.
struct FrameStart {
    bool ok = false;  // false: the swap chain is out of date and must be rebuilt first
    uint32_t imageIndex = 0;
    uint64_t fenceWaitNs = 0;
};
FrameStart beginFrame(Renderer& r);
struct FrameEnd {
    bool swapChainOutOfDate = false;
    uint64_t submitNs = 0, presentNs = 0;
    // With input.capture: the star display as drawn, or why it could not be read.
    Picture picture;
    std::string captureError;
};
FrameEnd endFrame(Renderer& r, uint32_t imageIndex, const FrameInput& input);

// Where the star display lies in the swap-chain images (the panel left out).
PixelRect starDisplayRect(const Renderer& r);

// Offscreen: draws one frame with the same recording as the window's frames
// (no panel), waits for it and returns the picture. With automatic exposure
// the light is measured first and the picture exposed as the window would
// settle to.
Picture drawOffscreen(Renderer& r, const FrameInput& input);

// With automatic exposure: true while the exposure is still moving towards
// what the picture's light asks for (the loop keeps drawing until it is there).
bool exposureAdapting(const Renderer& r);

// After a collected star-field pass, with the device idle: copies the staged
// point records, the near stars (relative to origin, the viewpoint) and the
// highlight markers into the GPU buffers. Returns whether the star draws must
// be re-recorded.
bool uploadStarFieldResults(Renderer& r, StarFieldResults& results, const std::vector<StarRecord*>& nearList,
                            const int64_t origin[3]);

// Draws a laid-out text block (glyph quads of 8 bytes per vertex: x, y in
// block pixels, u, v in atlas texels) into a new texture of the block's
// size, which the panel's "Text" window shows from then on.
void renderTextBlock(Renderer& r, const void* vertices, uint32_t vertexCount, int width, int height);

DeviceFacts deviceFacts(const Renderer& r);

// MSAA choice for the stars from the mask of counts supported for colour
// attachments: 4, 8, 16, 32, 64, 2 in that order, else 1; always 1 with
// multisampling off.
VkSampleCountFlagBits chooseSampleCount(VkSampleCountFlags supported, bool multisampling);

// The frame-dependent members of the uniform block for a view: (2 / W, 2 / H),
// the view and projection matrices and the eye offset.
struct FrameView {
    int64_t position[3];
    Vec3d forward, up;
    double viewAngle;  // degrees
    int width, height;  // star viewport, pixels
    double midgroundNearSq, midgroundFarSq;  // squared distances, from the star field (0: not known yet)
    uint64_t foregroundFarSq;                // from the star field's view limits
};
// Also the view's axes for rays through normalised device coordinates
// (camera_forward, camera_right, camera_up) and the angle of a pixel.
void fillViewUniforms(UniformBufferObject& ubo, const FrameView& view);

// The Application: settings, viewpoint, window, renderer state, change flags,
// the two workers, and the link to the star-field engine. One object exists,
// on the entry function's stack, and everything is reached through it.
#pragma once

#include <vulkan/vulkan.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/star_field_link.h"
#include "app/worker_thread.h"
#include "render/gpu_buffer.h"
#include "render/meshes.h"
#include "render/uniforms.h"
#include "starfield/navigation.h"

struct GLFWwindow;

inline constexpr int FRAMES_IN_FLIGHT = 2;
inline constexpr const char* PROGRAM_VERSION = "0.1.1";
inline constexpr int WINDOWED_WIDTH = 1200;
inline constexpr int WINDOWED_HEIGHT = 800;

// The six GPU buffers a star-field pass fills for the main thread to upload.
struct StarFieldStaging {
    GpuBuffer midground;
    GpuBuffer highlight;
    GpuBuffer label;
    GpuBuffer nearStars;
    GpuBuffer reserved[2];
};

// Every Vulkan object the renderer owns.
struct VulkanState {
    VkInstance instance = VK_NULL_HANDLE;
    VkSurfaceKHR surface = VK_NULL_HANDLE;
    VkPhysicalDevice physicalDevice = VK_NULL_HANDLE;
    VkPhysicalDeviceProperties deviceProperties{};
    VkPhysicalDeviceFeatures deviceFeatures{};
    std::string deviceName;
    bool allMemoryHostVisible = false;
    VkDevice device = VK_NULL_HANDLE;
    uint32_t graphicsFamily = 0;
    uint32_t presentFamily = 0;
    VkQueue graphicsQueue = VK_NULL_HANDLE;
    VkQueue presentQueue = VK_NULL_HANDLE;
    VkSampleCountFlags supportedSamples = 0;
    VkSampleCountFlagBits msaaSamples = VK_SAMPLE_COUNT_1_BIT;

    VkSwapchainKHR swapChain = VK_NULL_HANDLE;
    VkFormat swapChainFormat = VK_FORMAT_UNDEFINED;
    VkExtent2D extent{0, 0};
    std::vector<VkImage> images;
    std::vector<VkImageView> imageViews;
    VkImage colorImage = VK_NULL_HANDLE;
    VkDeviceMemory colorMemory = VK_NULL_HANDLE;
    VkImageView colorView = VK_NULL_HANDLE;
    VkImage depthImage = VK_NULL_HANDLE;
    VkDeviceMemory depthMemory = VK_NULL_HANDLE;
    VkImageView depthView = VK_NULL_HANDLE;
    VkRenderPass renderPass = VK_NULL_HANDLE;
    std::vector<VkFramebuffer> framebuffers;

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
    int helpMargin = 0;  // width of an open help screen next to the panel (pixels)

    // Buffers.
    GpuContext gpu;
    std::vector<GpuBuffer> uniformBuffers;
    GpuBuffer midgroundPoints;
    GpuBuffer highlightVertices;
    GpuBuffer labelVertices;
    GpuBuffer shapeTable;
    GpuBuffer nearRecords;
    GpuBuffer shapeIndices;
    GpuBuffer ellipsoidVertices;
    GpuBuffer ellipsoidIndices;
    GpuBuffer spherePoints;
    GpuBuffer foregroundVertices;
    GpuBuffer backgroundParams;
    GpuBuffer tubeVertices;
    GpuBuffer tubeIndices;
    uint32_t midgroundPointCapacity = 0;
    uint32_t ellipsoidTriangles = 0;
    uint32_t tubeSegments = 0;
    uint32_t tubeRings = 16;

    // Label font texture (R8, 512 x 2048).
    VkImage fontImage = VK_NULL_HANDLE;
    VkDeviceMemory fontMemory = VK_NULL_HANDLE;
    VkImageView fontView = VK_NULL_HANDLE;
    VkSampler fontSampler = VK_NULL_HANDLE;

    // Draw counts.
    uint32_t midgroundPointCount = 0;
    uint32_t shapeVertexCount = 0;
    uint32_t highlightVertexCount = 0;
    uint32_t labelVertexCount = 0;

    // Positions the uploaded records are relative to.
    int64_t midgroundOrigin[3]{};
    int64_t lastGenerationPosition[3]{};

    bool imguiVulkanReady = false;
    bool imguiGlfwReady = false;
};

struct Application {
    // ---- settings (saved)
    Viewpoint view{};
    double viewAngle = 0;
    float channelWavelength[3]{};
    float maxMagnitude = 0;
    uint32_t displayFontSize = 0;
    uint32_t controlFontScale = 0;
    bool panelOnRight = false;
    bool showCrosshair = false;
    bool multisampling = false;

    // ---- display settings (not saved)
    int backgroundMode = 2;  // 0 "(none)", 1 "Low Q", 2 "Normal"
    int starShape = 1;       // 0 "Circle", 1 "Fuzzy"
    float brightness = 1.0f;
    float maximumCircleSize = 20.0f;  // largest near-star shape radius, pixels
    int starLabel[2] = {1, 0};
    bool fullScreen = true;
    int windowedWidth = WINDOWED_WIDTH, windowedHeight = WINDOWED_HEIGHT;
    int windowedX = 100, windowedY = 100;

    // ---- derived values
    float channelIntensity[3]{};  // a[i] = (1 / wavelength)^4 x 2hc^2
    float channelExponent[3]{};   // b[i] = (hc / k) / wavelength

    // ---- run-time state
    std::string version = PROGRAM_VERSION;
    GLFWwindow* window = nullptr;
    int displayWidth = 0, displayHeight = 0;
    bool keyDown[navkey::COUNT]{};
    uint64_t lastFrameTime = 0;
    float framesPerSecond = 0;
    int64_t previousPosition[3]{};
    std::string saveDirectory;
    std::string lastError;
    int panelWidth = 0;
    float charSize[2]{};
    bool hideStarDisplay = false;
    int helpMarginRequested = 0;  // set by the panel: width of an open help screen

    // Time spent per part of the frame, summed over frames (nanoseconds).
    // On a CPU driver the drawing itself happens inside submit and present.
    struct FrameTimes {
        uint64_t gpuWait = 0, panel = 0, navigation = 0, starField = 0, submit = 0, present = 0, frames = 0;
    } frameTimes;

    // ---- change flags
    ChangeFlags changes{1, 0, 0, 0, 0};  // viewpointMoved starts set
    bool framebufferResized = false;
    bool rebuildDevicePipelines = false;
    bool labelsNeedDistance = false;
    bool running = true;
    bool saveOnExit = true;
    bool shutdownDone = false;

    // ---- workers
    WorkerThread starFieldWorker;
    WorkerJob starFieldJob;
    WorkerThread panelWorker;
    WorkerJob panelJob;
    PassTracker passes;
    StarFieldStaging staging;
    std::mutex stateMutex;

    // ---- the star-field engine and the galaxy's display shapes
    StarFieldLink starField;
    std::vector<EllipsoidShape> backgroundShapes;
    std::vector<std::vector<ArmSegment>> armChains;

    // ---- renderer
    VulkanState vk;
    UniformBufferObject ubo{};
    IcosaTables icosa{};

    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Start-up and shutdown (in calling order).
    void init(const GalaxyModel& galaxy);
    void initWindowAndRenderer();
    void drawFrame();
    void shutdown();

    // Settings.
    void applyDefaults();
    void applySettings();
    void recomputeSpeed();
    void recomputeChannelConstants();
    void recomputeComponentTables();
    void recomputeDisplayConstants();

    // Hand-off with the workers.
    void runPanel();
    void updateStarField();

    // Per-image re-record marks.
    void markAllForRedraw(int which);
};

// The key callback's work: speed keys, key states, Caps Lock, the cross-hair
// and full-screen toggles. Ignored (returns false) while ImGui has the keyboard.
bool applyKeyEvent(Application& app, int key, int action, int mods, bool imguiWantsKeyboard);

// Fills (2 / W, 2 / H), the view and projection matrices and the other
// frame-dependent members of the uniform block.
struct FrameView {
    int64_t position[3];
    Vec3d forward, up;
    double viewAngle;  // degrees
    int width, height;  // star viewport, pixels
    double midgroundNearSq, midgroundFarSq;  // squared distances, from the star field (0: not known yet)
    uint64_t foregroundFarSq;                // from the star field's view limits
};
void fillViewUniforms(UniformBufferObject& ubo, const FrameView& view);

// Where the save file lives: $XDG_DATA_HOME (or ~/.local/share) + "/tarnwick/".
std::string saveDirectoryPath();

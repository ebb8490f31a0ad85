// The renderer's part of a frame: the frame slot and the swap-chain image,
// the uniform block, command recording, submit and present; and the upload
// of a collected star-field pass.

#define GLM_FORCE_DEPTH_ZERO_TO_ONE
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <stdexcept>

#include "render/imgui_backend.h"
#include "render/readback.h"
#include "render/render_internal.h"
#include "render/renderer.h"
#include "render/vk_check.h"
#include "starfield/pick.h"
#include "starfield/star_field.h"

namespace {

uint64_t nowNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

void store(Mat4f& out, const glm::dmat4& m) {
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) out.m[c * 4 + r] = static_cast<float>(m[c][r]);
    }
}

void store3(float out[3], double x, double y, double z) {
    out[0] = static_cast<float>(x);
    out[1] = static_cast<float>(y);
    out[2] = static_cast<float>(z);
}

// P0 with the near and far planes n and f (depth from -1 at n to 1 at f), or
// P0 itself while the planes are not known.
glm::dmat4 withPlanes(glm::dmat4 p, double n, double f) {
    if (!(f > n)) return p;
    p[2][2] = -(f + n) / (f - n);
    p[3][2] = -2.0 * f * n / (f - n);
    return p;
}

// The slices a wait is cut into when the renderer has something to do while
// it waits.
constexpr uint64_t WAIT_SLICE_NS = 2000000;

void waitForFence(Renderer& r, VkFence fence) {
    if (r.whileWaiting == nullptr) {
        checkVkResult(vkWaitForFences(r.device, 1, &fence, VK_TRUE, UINT64_MAX));
        return;
    }
    for (;;) {
        const VkResult result = vkWaitForFences(r.device, 1, &fence, VK_TRUE, WAIT_SLICE_NS);
        if (result != VK_TIMEOUT) {
            checkVkResult(result);
            return;
        }
        r.whileWaiting(r.waitingOwner);
    }
}

VkResult acquireImage(Renderer& r, VkSemaphore signal, uint32_t& imageIndex) {
    for (;;) {
        const uint64_t timeout = r.whileWaiting != nullptr ? WAIT_SLICE_NS : UINT64_MAX;
        const VkResult result =
            vkAcquireNextImageKHR(r.device, r.swapChain, timeout, signal, VK_NULL_HANDLE, &imageIndex);
        if (result != VK_TIMEOUT && result != VK_NOT_READY) return result;
        r.whileWaiting(r.waitingOwner);
    }
}

}  // namespace

void fillViewUniforms(UniformBufferObject& ubo, const FrameView& v) {
    const double W = v.width, H = v.height;
    ubo.inv_window_scale[0] = static_cast<float>(2.0 / W);
    ubo.inv_window_scale[1] = static_cast<float>(2.0 / H);
    ubo.height_over_width = static_cast<float>(H / W);

    const glm::dmat4 view = glm::lookAtRH(glm::dvec3(0.0), glm::dvec3(v.forward.x, v.forward.y, v.forward.z),
                                          glm::dvec3(v.up.x, v.up.y, v.up.z));
    const double fov = v.viewAngle * 3.141592653589793 / 180.0;
    const double t = std::tan(fov * (W / H) / 2.0);
    glm::dmat4 p0(0.0);
    p0[0][0] = 1.0 / t;
    p0[1][1] = -(W / H) / t;
    p0[2][3] = -1.0;
    p0[2][2] = std::bit_cast<double>(0xBFEFFFFF00000000ull);  // every point just below depth 1
    store(ubo.proj_model_view, p0 * view);

    const double n1 = std::sqrt(std::ldexp(v.midgroundNearSq, -48));
    const double f1 = std::sqrt(std::ldexp(v.midgroundFarSq, -48));
    store(ubo.proj_model_view_midground1, withPlanes(p0, n1, f1) * view);

    const double n2 = 100.0 * std::ldexp(1.0, -48);
    const double f2 = std::sqrt(static_cast<double>(v.foregroundFarSq) * 4294967296.0);
    store(ubo.proj_model_view_foreground, withPlanes(p0, n2, f2) * view);

    store3(ubo.eye_offset, std::ldexp(static_cast<double>(v.position[0]), -48),
           std::ldexp(static_cast<double>(v.position[1]), -48), std::ldexp(static_cast<double>(v.position[2]), -48));

    // The axes of the view, for rays through normalised device coordinates,
    // and the angle a pixel spans at the centre.
    const glm::dvec3 f = glm::normalize(glm::dvec3(v.forward.x, v.forward.y, v.forward.z));
    const glm::dvec3 s = glm::normalize(glm::cross(f, glm::dvec3(v.up.x, v.up.y, v.up.z)));
    const glm::dvec3 u = glm::cross(s, f);
    const glm::dvec3 right = s * t, up = -u * (t * H / W);
    store3(ubo.camera_forward, f.x, f.y, f.z);
    store3(ubo.camera_right, right.x, right.y, right.z);
    store3(ubo.camera_up, up.x, up.y, up.z);
    ubo.pixel_angle = static_cast<float>(2.0 * t / W);
}

namespace {

uint64_t steadyNanoseconds() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// The exposure of this frame's tone map.
float frameExposure(const Renderer& r, const FrameInput& in) {
    if (!in.autoExposure) return in.exposure;
    return static_cast<float>(r.autoExposure * in.brightness);
}

// The image's point draw: the visible slots, in a host buffer made larger
// (and the draw recorded anew) when they outgrow it. The count is part of the
// recorded draw, so a new count records the image's draws anew: an indirect
// draw would spare that, but the CPU driver (lavapipe) draws an indirect
// indexed draw of many points differently from run to run, leaving some
// points out and drawing others twice.
void writePointDraw(Renderer& r, uint32_t imageIndex) {
    GpuBuffer& b = r.pointDraws[imageIndex];
    const uint32_t count = static_cast<uint32_t>(r.visibleSlots.size());
    const uint64_t needed = 4ull * std::max<uint32_t>(count, 1);
    if (b.size < needed) {
        destroyBuffer(b);
        const uint64_t size = std::min<uint64_t>(needed + needed / 4, UINT32_MAX);
        createBuffer(b, r.gpu, "point draw", static_cast<uint32_t>(size), VK_BUFFER_USAGE_INDEX_BUFFER_BIT,
                     VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT | VK_MEMORY_PROPERTY_HOST_COHERENT_BIT, 0, 4, true);
        r.redraw[imageIndex][0] = 1;
    }
    if (r.pointDrawCounts[imageIndex] != count) r.redraw[imageIndex][0] = 1;
    r.pointDrawCounts[imageIndex] = count;
    auto* bytes = static_cast<uint8_t*>(mapBuffer(b));
    std::memcpy(bytes, r.visibleSlots.data(), 4ull * count);
    unmapBuffer(b);
    r.pointsDrawn = count;
}

void updateUniformBuffer(Renderer& r, uint32_t imageIndex, const FrameInput& in) {
    UniformBufferObject& ubo = r.ubo;
    static const StarFieldDraw nothing;
    const StarFieldDraw& sf = in.starField != nullptr ? *in.starField : nothing;
    const StarViewport viewport = starViewport(r);
    FrameView v{};
    for (int a = 0; a < 3; ++a) v.position[a] = in.position[a];
    v.forward = in.forward;
    v.up = in.up;
    v.viewAngle = in.viewAngle;
    v.width = viewport.width;
    v.height = viewport.height;
    v.midgroundNearSq = sf.midgroundNearSq;
    v.midgroundFarSq = sf.midgroundFarSq;
    v.foregroundFarSq = sf.foregroundFarSq;
    fillViewUniforms(ubo, v);
    const int64_t* P = v.position;

    auto relative = [&](const int64_t* point, float out[3]) {
        for (int a = 0; a < 3; ++a) {
            // In 128 bits: after a jump the two may lie across space from each other.
            out[a] = static_cast<float>(std::ldexp(static_cast<double>(static_cast<__int128>(point[a]) - P[a]), -48));
        }
    };
    relative(r.midgroundOrigin, ubo.mid_diff_offset);
    for (int a = 0; a < 3; ++a) ubo.mid_diff_offset[a] = -ubo.mid_diff_offset[a];  // P - origin
    const double luminosityConst = pointLuminosityConstant(sf.limitScale, in.brightness);
    ubo.luminosity_const = static_cast<float>(luminosityConst);
    ubo.background_scale = in.brightness * static_cast<float>(std::ldexp(sf.backgroundIntensity, -32));
    for (int c = 0; c < 3; ++c) ubo.background_color[c] = sf.backgroundColour[c];
    // The diffuse light's colours: each ellipsoid's and the arms', or the one
    // colour of the whole galaxy's light.
    for (int i = 0; i < MAX_SMALL_BACKGROUND; ++i) {
        for (int c = 0; c < 3; ++c) {
            ubo.small_background_colour[i][c] = static_cast<size_t>(i) < sf.ellipsoidColours.size()
                                                    ? sf.ellipsoidColours[static_cast<size_t>(i)][c]
                                                    : sf.backgroundColour[c];
        }
    }
    const bool armsColoured = sf.armColour[0] + sf.armColour[1] + sf.armColour[2] > 0;
    for (int c = 0; c < 3; ++c) ubo.arm_colour[c] = armsColoured ? sf.armColour[c] : sf.backgroundColour[c];
    ubo.maximum_circle_size = in.maximumCircleSize;
    ubo.highlight_multiplier = 2.0f;
    ubo.crosshair_color[0] = 0;
    ubo.crosshair_color[1] = 1;
    ubo.crosshair_color[2] = 0;
    ubo.crosshair_color[3] = 1;

    // Foreground objects from the farthest to the nearest: a nearer disc
    // covers a farther one.
    const size_t foreground = std::min<size_t>(sf.foreground.size(), MAX_FOREGROUND_OBJECTS);
    std::vector<std::pair<double, size_t>> order;
    for (size_t i = 0; i < foreground; ++i) {
        double d2 = 0;
        for (int a = 0; a < 3; ++a) {
            const double d = std::ldexp(static_cast<double>(sf.foreground[i].position[a] - P[a]), -48);
            d2 += d * d;
        }
        order.push_back({d2, i});
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (size_t k = 0; k < order.size(); ++k) {
        const ForegroundView& f = sf.foreground[order[k].second];
        ForegroundObject& o = ubo.foreground_object_buffer[k];
        relative(f.position, o.position);
        o.radius = static_cast<float>(std::ldexp(sf.foregroundRadiusFactor * f.radius, -48));
        for (int c = 0; c < 3; ++c) o.color[c] = f.colour[c] / 127.0f;
        // As bright as the point shader would make the star at its distance.
        const double seen = order[k].first > 0 ? luminosityConst * codeLuminosity(f.luminosityCode) / order[k].first
                                               : 1e30;
        o.luminosity = static_cast<float>(std::min(seen, 1e30));
    }
    // The points that can show in this view, for this image's point draw.
    PointView seen{};
    for (int a = 0; a < 3; ++a) {
        seen.eye[a] = std::ldexp(static_cast<double>(P[a]), -48);
        seen.forward[a] = ubo.camera_forward[a];
        seen.right[a] = ubo.camera_right[a];
        seen.up[a] = ubo.camera_up[a];
    }
    seen.tanAcross = std::hypot(seen.right[0], seen.right[1], seen.right[2]);
    seen.tanDown = std::hypot(seen.up[0], seen.up[1], seen.up[2]);
    for (int a = 0; a < 3; ++a) {
        seen.right[a] /= seen.tanAcross;
        seen.up[a] /= seen.tanDown;
    }
    seen.luminosityConst = ubo.luminosity_const;
    r.visibleSlots.clear();
    visiblePoints(r.pointCopy.data(), std::min<uint32_t>(r.midgroundPointCount, r.pointCopy.size()), seen,
                  2.0 * ubo.pixel_angle, r.visibleSlots);
    writePointDraw(r, imageIndex);

    const uint32_t highlights = std::min<uint32_t>(sf.highlightCount, MAX_HIGHLIGHTS);
    for (uint32_t i = 0; i < highlights && 3 * i + 2 < sf.highlightPositions.size(); ++i) {
        relative(&sf.highlightPositions[3 * i], ubo.highlight_objects[i].position);
        // Green in the 5-5-5 packing (bits 31..17), the selected star yellow,
        // a marked place sky blue. The low bits tell the shaders the rest:
        // bit 0 hides the label, bit 1 enlarges the marker, bits 2..9 move
        // the label down (pixels).
        const HighlightStyle style = in.highlightStyle != nullptr && i < in.highlightStyle->size()
                                         ? (*in.highlightStyle)[i]
                                         : HighlightStyle{};
        uint32_t rgb = style.selected ? 0xFFC00002u : style.place ? 0x4DFE0000u : 0x07C00000u;
        if (style.hidden) {
            // Straight behind the viewpoint, where every stroke is clipped.
            ubo.highlight_objects[i].position[0] = static_cast<float>(-in.forward.x);
            ubo.highlight_objects[i].position[1] = static_cast<float>(-in.forward.y);
            ubo.highlight_objects[i].position[2] = static_cast<float>(-in.forward.z);
            rgb |= 1;
        }
        if (!style.labelShown) rgb |= 1;
        rgb |= static_cast<uint32_t>(style.labelDrop) << 2;
        ubo.highlight_objects[i].rgb = static_cast<int32_t>(rgb);
    }

    // Where the passes' images meet: the star viewport in the display pass,
    // the light images' texels and the background's share of the resolution.
    ubo.star_viewport_origin[0] = static_cast<float>(viewport.x);
    ubo.star_viewport_origin[1] = 0;
    ubo.star_viewport_size[0] = static_cast<float>(viewport.width);
    ubo.star_viewport_size[1] = static_cast<float>(viewport.height);
    ubo.light_texel[0] = 1.0f / static_cast<float>(r.lightExtent.width);
    ubo.light_texel[1] = 1.0f / static_cast<float>(r.lightExtent.height);
    ubo.background_texel[0] = 1.0f / static_cast<float>(r.backgroundExtent.width);
    ubo.background_texel[1] = 1.0f / static_cast<float>(r.backgroundExtent.height);
    ubo.background_resolution[0] = static_cast<float>(viewport.background.width) / static_cast<float>(viewport.width);
    ubo.background_resolution[1] = static_cast<float>(viewport.background.height) / static_cast<float>(viewport.height);
    ubo.background_limit[0] = static_cast<float>(viewport.background.width) - 0.5f;
    ubo.background_limit[1] = static_cast<float>(viewport.background.height) - 0.5f;
    ubo.exposure = frameExposure(r, in);

    // Members no shader reads, kept informative.
    store3(ubo.current_position, static_cast<double>(P[0]), static_cast<double>(P[1]), static_cast<double>(P[2]));
    relative(r.lastGenerationPosition, ubo.last_midground_render_offset);
    ubo.circle_smoothness_angle = 0.7853981633974483f;

    writeBuffer(r.uniformBuffers[imageIndex], &ubo, sizeof(ubo));
}

void beginPass(VkCommandBuffer cb, VkRenderPass pass, VkFramebuffer framebuffer, VkExtent2D extent,
               const float clear[4]) {
    VkClearValue value{};
    value.color = {{clear[0], clear[1], clear[2], clear[3]}};
    VkRenderPassBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
    begin.renderPass = pass;
    begin.framebuffer = framebuffer;
    begin.renderArea = {{0, 0}, extent};
    begin.clearValueCount = 1;
    begin.pClearValues = &value;
    vkCmdBeginRenderPass(cb, &begin, VK_SUBPASS_CONTENTS_INLINE);
}

// The star display's light: the background at its resolution, the stars
// over it at the display's, and with automatic exposure the measurement of
// both, copied to the image's host buffer.
void recordScene(Renderer& r, VkCommandBuffer cb, uint32_t imageIndex, const FrameInput& in) {
    static const float NOTHING[4] = {0, 0, 0, 0};
    const VkDeviceSize zero = 0;
    auto bindVertices = [&](VkPipeline pipeline, const GpuBuffer& vertices) {
        vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
        vkCmdBindVertexBuffers(cb, 0, 1, &vertices.buffer, &zero);
    };
    vkCmdBindDescriptorSets(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.pipelineLayout, 0, 1,
                            &r.descriptorSets[imageIndex], 0, nullptr);

    beginPass(cb, r.backgroundPass, r.backgroundFramebuffer, r.backgroundExtent, NOTHING);
    if (in.backgroundMode != BackgroundMode::None && r.ellipsoidVertices.size > 0 && r.ellipsoidTriangles > 0) {
        bindVertices(r.ellipsoidPipeline, r.ellipsoidVertices);
        vkCmdBindIndexBuffer(cb, r.ellipsoidIndices.buffer, 0, VK_INDEX_TYPE_UINT16);
        vkCmdDrawIndexed(cb, 3 * r.ellipsoidTriangles, 1, 0, 0, 0);
    }
    if (in.backgroundMode != BackgroundMode::None && r.tubeVertices.size > 0 && r.tubeSegments > 0) {
        bindVertices(r.backgroundPipeline, r.tubeVertices);
        vkCmdBindIndexBuffer(cb, r.tubeIndices.buffer, 0, VK_INDEX_TYPE_UINT32);
        vkCmdDrawIndexed(cb, 60 * (r.tubeRings + 1) * r.tubeSegments, 1, 0, 0, 0);
    }
    vkCmdEndRenderPass(cb);

    // A check of the background draws only the diffuse light: the stars,
    // discs, markers, labels and cross-hair are left out.
    beginPass(cb, r.starPass, r.starFramebuffer, r.lightExtent, NOTHING);
    if (!in.backgroundOnly) {
        const uint32_t points = r.pointDrawCounts[imageIndex];
        if (r.midgroundPointCount > 0 && points > 0) {
            bindVertices(r.pointPipeline, r.midgroundPoints);
            vkCmdBindIndexBuffer(cb, r.pointDraws[imageIndex].buffer, 0, VK_INDEX_TYPE_UINT32);
            vkCmdDrawIndexed(cb, points, 1, 0, 0, 0);
        }
        if (r.shapeVertexCount > 0) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.shapePipeline);
            vkCmdDraw(cb, r.shapeVertexCount, 1, 0, 0);
        }
        if (r.foregroundCount > 0) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.foregroundPipeline);
            vkCmdDraw(cb, FOREGROUND_VERTICES_PER_OBJECT * r.foregroundCount, 1, 0, 0);
        }
    }
    vkCmdEndRenderPass(cb);

    if (!in.autoExposure) return;
    beginPass(cb, r.exposurePass, r.exposureFramebuffer, {EXPOSURE_GRID_WIDTH, EXPOSURE_GRID_HEIGHT}, NOTHING);
    vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.exposurePipeline);
    vkCmdDraw(cb, 3, 1, 0, 0);
    vkCmdEndRenderPass(cb);
    VkBufferImageCopy copy{};
    copy.imageSubresource = {VK_IMAGE_ASPECT_COLOR_BIT, 0, 0, 1};
    copy.imageExtent = {EXPOSURE_GRID_WIDTH, EXPOSURE_GRID_HEIGHT, 1};
    const GpuBuffer& readback = r.exposureReadback[imageIndex];
    vkCmdCopyImageToBuffer(cb, r.exposureImage, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, readback.buffer, 1, &copy);
    VkBufferMemoryBarrier toHost{};
    toHost.sType = VK_STRUCTURE_TYPE_BUFFER_MEMORY_BARRIER;
    toHost.srcAccessMask = VK_ACCESS_TRANSFER_WRITE_BIT;
    toHost.dstAccessMask = VK_ACCESS_HOST_READ_BIT;
    toHost.srcQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    toHost.dstQueueFamilyIndex = VK_QUEUE_FAMILY_IGNORED;
    toHost.buffer = readback.buffer;
    toHost.size = VK_WHOLE_SIZE;
    vkCmdPipelineBarrier(cb, VK_PIPELINE_STAGE_TRANSFER_BIT, VK_PIPELINE_STAGE_HOST_BIT, 0, 0, nullptr, 1, &toHost, 0,
                         nullptr);
}

// The display pass: the star display tone-mapped, the markers, labels and
// cross-hair over it, and the panel.
void recordDisplay(Renderer& r, VkCommandBuffer cb, uint32_t imageIndex, const FrameInput& in) {
    static const float BLACK[4] = {0, 0, 0, 1};
    beginPass(cb, r.renderPass, r.framebuffers[imageIndex], r.extent, BLACK);
    vkCmdBindDescriptorSets(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.pipelineLayout, 0, 1,
                            &r.descriptorSets[imageIndex], 0, nullptr);
    if (!in.hideStarDisplay) {
        vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.toneMapPipeline);
        vkCmdDraw(cb, 3, 1, 0, 0);
        const VkDeviceSize zero = 0;
        auto bindVertices = [&](VkPipeline pipeline, const GpuBuffer& vertices) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
            vkCmdBindVertexBuffers(cb, 0, 1, &vertices.buffer, &zero);
        };
        if (!in.backgroundOnly) {
            if (r.highlightVertexCount > 0) {
                bindVertices(r.highlightPipeline, r.highlightVertices);
                vkCmdDraw(cb, r.highlightVertexCount, 1, 0, 0);
            }
            if (r.labelVertexCount > 0) {
                bindVertices(r.labelPipeline, r.labelVertices);
                vkCmdDraw(cb, r.labelVertexCount, 1, 0, 0);
            }
            if (in.showCrosshair) {
                vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.crosshairPipeline);
                vkCmdDraw(cb, 8, 1, 0, 0);
            }
        }
    }
    r.redraw[imageIndex][0] = 0;

    // No panel offscreen.
    if (r.imguiReady) imguiBackendDraw(r, cb);
    r.redraw[imageIndex][1] = 0;
    vkCmdEndRenderPass(cb);
}

void beginCommands(VkCommandBuffer cb) {
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    checkVkResult(vkBeginCommandBuffer(cb, &begin));
}

void recordCommandBuffer(Renderer& r, uint32_t imageIndex, const FrameInput& in, bool scene) {
    VkCommandBuffer cb = r.commandBuffers[imageIndex];
    beginCommands(cb);
    if (scene) recordScene(r, cb, imageIndex, in);
    recordDisplay(r, cb, imageIndex, in);
    checkVkResult(vkEndCommandBuffer(cb));
    if (imageIndex < r.recordedScene.size()) r.recordedScene[imageIndex] = scene;
}

// The uniform block as far as the scene depends on it: the exposure counts
// only for the foreground discs, shown at their own brightness whatever it is.
std::vector<uint8_t> sceneBytes(const Renderer& r) {
    UniformBufferObject ubo = r.ubo;
    if (r.foregroundCount == 0) ubo.exposure = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ubo);
    return std::vector<uint8_t>(bytes, bytes + sizeof ubo);
}

// Whether this frame must draw the scene: the light images do not hold it yet.
bool sceneNeeded(const Renderer& r, const FrameInput& in) {
    if (in.hideStarDisplay) return false;
    return r.drawnSceneVersion != r.sceneVersion || r.drawnScene != sceneBytes(r);
}

// The automatic exposure moves towards what the light asks for, by the time
// since its last step.
void adaptAutoExposure(Renderer& r, const FrameInput& in) {
    const uint64_t now = steadyNanoseconds();
    const double seconds = std::clamp(static_cast<double>(now - r.autoExposureTime) * 1e-9, 0.0, 0.5);
    r.autoExposureTime = now;
    if (in.autoExposure && r.autoExposureKnown) {
        r.autoExposure = adaptExposure(r.autoExposure, r.autoExposureTarget, seconds);
    }
}

// What a frame's settings change in the objects already built: the
// pipelines (help margin, background mode), the shape table, and which draws
// must be recorded again.
void applyFrameSettings(Renderer& r, const FrameInput& in) {
    if (in.helpMargin != r.built.helpMargin || in.backgroundMode != r.built.backgroundMode) {
        r.built.helpMargin = in.helpMargin;
        r.built.backgroundMode = in.backgroundMode;
        rebuildGraphicsPipelines(r);
    }
    if (in.starShape != r.starShape) {
        waitIdle(r);
        uploadShapeTable(r, in.starShape);
        ++r.sceneVersion;
        for (auto& marks : r.redraw) marks[0] = 1;
    }
    // Automatic exposure starts from what was shown and moves from there.
    if (in.autoExposure && !r.recordedAutoExposure) {
        r.autoExposure = in.brightness > 0 ? in.exposure / in.brightness : 1.0;
        r.autoExposureKnown = false;
        r.autoExposureTime = steadyNanoseconds();
        std::fill(r.exposureMeasured.begin(), r.exposureMeasured.end(), 0);
    }
    // What the recorded commands depend on besides the buffers' contents.
    const uint32_t foreground =
        in.starField != nullptr
            ? static_cast<uint32_t>(std::min<size_t>(in.starField->foreground.size(), MAX_FOREGROUND_OBJECTS))
            : 0;
    const bool recorded = r.recordedAnything && foreground == r.foregroundCount &&
                          in.showCrosshair == r.recordedCrosshair && in.hideStarDisplay == r.recordedHidden &&
                          in.backgroundMode == r.recordedBackground &&
                          in.backgroundOnly == r.recordedBackgroundOnly &&
                          in.autoExposure == r.recordedAutoExposure;
    r.foregroundCount = foreground;
    r.recordedCrosshair = in.showCrosshair;
    r.recordedHidden = in.hideStarDisplay;
    r.recordedBackground = in.backgroundMode;
    r.recordedBackgroundOnly = in.backgroundOnly;
    r.recordedAutoExposure = in.autoExposure;
    r.recordedAnything = true;
    if (!recorded) ++r.sceneVersion;
    for (auto& marks : r.redraw) {
        if (in.redrawStars || !recorded) marks[0] = 1;
        if (in.redrawPanel) marks[1] = 1;
    }
}

// The exposure the measurement in the image's host buffer asks for (the
// image's last frame is done).
double measuredExposure(Renderer& r, uint32_t imageIndex) {
    GpuBuffer& readback = r.exposureReadback[imageIndex];
    const auto* blocks = static_cast<const float*>(mapBuffer(readback));
    const double target = autoExposureTarget(blocks, EXPOSURE_GRID_WIDTH * EXPOSURE_GRID_HEIGHT);
    unmapBuffer(readback);
    return target;
}

// A measurement the image's last frame made: what the automatic exposure
// moves towards from now on.
void takeExposureMeasurement(Renderer& r, uint32_t imageIndex) {
    if (imageIndex >= r.exposureMeasured.size() || !r.exposureMeasured[imageIndex]) return;
    r.exposureMeasured[imageIndex] = 0;
    r.autoExposureTarget = measuredExposure(r, imageIndex);
    r.autoExposureKnown = true;
}

// After the frame's submission, before presenting: the star display of the
// image, for a screenshot.
void captureStarDisplay(Renderer& r, uint32_t imageIndex, FrameEnd& end) {
    if (!r.swapChainReadable) {
        end.captureError = "the display does not let its pictures be read back";
        return;
    }
    try {
        checkVkResult(vkWaitForFences(r.device, 1, &r.inFlight[r.currentFrame], VK_TRUE, UINT64_MAX));
        end.picture = readBackImage(r, r.images[imageIndex], r.swapChainFormat, VK_IMAGE_LAYOUT_PRESENT_SRC_KHR,
                                    starDisplayRect(r));
    } catch (const std::exception& e) {
        end.captureError = e.what();
    }
}

void submitAndWait(Renderer& r, VkCommandBuffer cb) {
    VkFence fence = r.inFlight[0];
    checkVkResult(vkWaitForFences(r.device, 1, &fence, VK_TRUE, UINT64_MAX));
    checkVkResult(vkResetFences(r.device, 1, &fence));
    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &cb;
    checkVkResult(vkQueueSubmit(r.graphicsQueue, 1, &submit, fence));
    checkVkResult(vkWaitForFences(r.device, 1, &fence, VK_TRUE, UINT64_MAX));
}

}  // namespace

PixelRect starDisplayRect(const Renderer& r) {
    const DisplayGeometry& g = r.geometry;
    PixelRect rect;
    rect.x = r.built.panelOnRight ? 0 : g.framebufferWidth - g.displayWidth;
    rect.y = 0;
    rect.width = g.displayWidth;
    rect.height = g.displayHeight;
    return rect;
}

Picture drawOffscreen(Renderer& r, const FrameInput& in) {
    applyFrameSettings(r, in);
    updateUniformBuffer(r, 0, in);
    // The light first; with automatic exposure measured before the display
    // pass turns it into the picture, exposed as a window settles to.
    VkCommandBuffer scene = r.commandBuffers[0], display = r.commandBuffers[1];
    beginCommands(scene);
    recordScene(r, scene, 0, in);
    checkVkResult(vkEndCommandBuffer(scene));
    beginCommands(display);
    recordDisplay(r, display, 0, in);
    checkVkResult(vkEndCommandBuffer(display));
    submitAndWait(r, scene);
    if (in.autoExposure) {
        r.autoExposure = r.autoExposureTarget = measuredExposure(r, 0);
        r.autoExposureKnown = true;
        r.ubo.exposure = frameExposure(r, in);
        writeBuffer(r.uniformBuffers[0], &r.ubo, sizeof(r.ubo));
    }
    submitAndWait(r, display);
    return readBackImage(r, r.images[0], r.swapChainFormat, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, starDisplayRect(r));
}

bool exposureAdapting(const Renderer& r) {
    return r.recordedAutoExposure &&
           (!r.autoExposureKnown || exposureSettling(r.autoExposure, r.autoExposureTarget));
}

FrameStart beginFrame(Renderer& r) {
    FrameStart start;
    const uint32_t frame = r.currentFrame;
    const uint64_t waitStart = nowNanoseconds();
    waitForFence(r, r.inFlight[frame]);
    start.fenceWaitNs = nowNanoseconds() - waitStart;
    retireTextTextures(r);

    VkResult result = acquireImage(r, r.imageAvailable[frame], start.imageIndex);
    if (result == VK_ERROR_OUT_OF_DATE_KHR) return start;
    if (result != VK_SUCCESS && result != VK_SUBOPTIMAL_KHR) {
        throw std::runtime_error("failed to acquire swap chain image!");
    }
    // The image's command buffer may still be pending from the other frame
    // slot's submission: wait for that submission before re-recording it.
    if (r.imageFences.size() != r.images.size()) r.imageFences.assign(r.images.size(), VK_NULL_HANDLE);
    VkFence& previous = r.imageFences[start.imageIndex];
    if (previous != VK_NULL_HANDLE && previous != r.inFlight[frame]) waitForFence(r, previous);
    previous = r.inFlight[frame];
    checkVkResult(vkResetFences(r.device, 1, &r.inFlight[frame]));
    // The image's last frame is done: its light measurement can be read.
    takeExposureMeasurement(r, start.imageIndex);
    start.ok = true;
    return start;
}

FrameEnd endFrame(Renderer& r, uint32_t imageIndex, const FrameInput& in) {
    FrameEnd end;
    const uint32_t frame = r.currentFrame;
    applyFrameSettings(r, in);
    adaptAutoExposure(r, in);
    updateUniformBuffer(r, imageIndex, in);
    const bool scene = sceneNeeded(r, in);
    if (imageIndex < r.recordedScene.size() && r.recordedScene[imageIndex] != scene) r.redraw[imageIndex][0] = 1;
    if (r.redraw[imageIndex][0] || r.redraw[imageIndex][1]) recordCommandBuffer(r, imageIndex, in, scene);

    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    const VkPipelineStageFlags waitStage = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    submit.waitSemaphoreCount = 1;
    submit.pWaitSemaphores = &r.imageAvailable[frame];
    submit.pWaitDstStageMask = &waitStage;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &r.commandBuffers[imageIndex];
    submit.signalSemaphoreCount = 1;
    submit.pSignalSemaphores = &r.renderFinished[frame];
    const uint64_t submitStart = nowNanoseconds();
    checkVkResult(vkQueueSubmit(r.graphicsQueue, 1, &submit, r.inFlight[frame]));
    if (imageIndex < r.exposureMeasured.size()) r.exposureMeasured[imageIndex] = in.autoExposure && scene;
    if (scene) {
        r.drawnScene = sceneBytes(r);
        r.drawnSceneVersion = r.sceneVersion;
    }
    if (in.capture) captureStarDisplay(r, imageIndex, end);
    // A CPU driver draws the frame inside the present, where the thread
    // could take no window events for the whole frame: wait for the drawing
    // here instead, where it can.
    if (r.deviceProperties.deviceType == VK_PHYSICAL_DEVICE_TYPE_CPU) waitForFence(r, r.inFlight[frame]);
    const uint64_t presentStart = nowNanoseconds();

    VkPresentInfoKHR present{};
    present.sType = VK_STRUCTURE_TYPE_PRESENT_INFO_KHR;
    present.waitSemaphoreCount = 1;
    present.pWaitSemaphores = &r.renderFinished[frame];
    present.swapchainCount = 1;
    present.pSwapchains = &r.swapChain;
    present.pImageIndices = &imageIndex;
    const VkResult result = vkQueuePresentKHR(r.presentQueue, &present);
    end.submitNs = presentStart - submitStart;
    end.presentNs = nowNanoseconds() - presentStart;
    end.swapChainOutOfDate = result == VK_ERROR_OUT_OF_DATE_KHR || result == VK_SUBOPTIMAL_KHR;
    if (!end.swapChainOutOfDate && result != VK_SUCCESS) {
        throw std::runtime_error("failed to present swap chain image!");
    }
    r.currentFrame = (r.currentFrame + 1) % FRAMES_IN_FLIGHT;
    return end;
}

bool uploadStarFieldResults(Renderer& r, StarFieldResults& results, const std::vector<StarRecord*>& nearList,
                            const int64_t origin[3]) {
    ++r.sceneVersion;  // new records in the buffers the scene draws from
    bool changed = results.redraw;

    // 1. Changed point slots, as runs of consecutive records.
    if (!results.staged.empty()) {
        std::vector<CopyRegion> regions;
        for (const CopyRegion& region : results.regions) {
            if (region.size > 0 && region.dstOffset + region.size <= r.midgroundPoints.size) regions.push_back(region);
        }
        GpuBuffer staging;
        createStaging(staging, r.midgroundPoints,
                      static_cast<uint32_t>(results.staged.size() * sizeof(PointRecord)));
        writeBuffer(staging, results.staged.data(), staging.size);
        copyFromStaging(r.midgroundPoints, staging, regions.size(), regions.data());
        destroyBuffer(staging);
        changed = true;
    }
    const uint32_t points = std::min(results.pointHighWater, r.midgroundPointCapacity);
    if (points != r.midgroundPointCount) changed = true;
    r.midgroundPointCount = points;
    // The same records into the copy the frames choose the points to draw from.
    r.pointCopy.resize(points);
    for (const CopyRegion& region : results.regions) {
        const uint64_t first = region.dstOffset / sizeof(PointRecord);
        const uint64_t source = region.srcOffset / sizeof(PointRecord);
        const uint64_t room = points > first ? points - first : 0;
        const uint64_t count = std::min<uint64_t>(region.size / sizeof(PointRecord), room);
        if (count == 0 || source + count > results.staged.size()) continue;
        std::memcpy(&r.pointCopy[first], &results.staged[source], count * sizeof(PointRecord));
    }
    results.staged.clear();
    results.regions.clear();

    // 2. Where this generation happened.
    for (int a = 0; a < 3; ++a) r.lastGenerationPosition[a] = results.generationViewpoint[a];

    // 3. Highlight markers of the search results, when they were rebuilt
    //    (none after the results were cleared).
    if (results.labelsRebuilt) {
        const uint32_t n = std::min<uint32_t>(results.highlightCount, MAX_HIGHLIGHTS);
        r.highlightVertexCount = 16 * n;
        if (n > 0) uploadToBuffer(r.highlightVertices, results.highlightWords.data(), 64 * n);
        changed = true;
    }

    // The glyphs of the labels beside the markers, with them.
    if (results.labelsRebuilt) {
        const uint32_t glyphs = std::min<uint32_t>(results.labelGlyphCount, r.labelVertices.size / 72);
        r.labelVertexCount = 6 * glyphs;
        if (glyphs > 0) uploadToBuffer(r.labelVertices, results.labelVertices.data(), 72 * glyphs);
    }

    // 4. Near stars relative to the viewpoint as the new midground origin.
    const uint32_t nearCount = std::min<uint32_t>(static_cast<uint32_t>(nearList.size()), MAX_NEAR_STARS);
    for (int a = 0; a < 3; ++a) r.midgroundOrigin[a] = origin[a];
    if (nearCount > 0) {
        GpuBuffer staging;
        createStaging(staging, r.nearRecords, 16 * nearCount);
        auto* out = static_cast<PointRecord*>(mapBuffer(staging));
        for (uint32_t k = 0; k < nearCount; ++k) {
            out[k] = makeNearRecord(*nearList[k], r.midgroundOrigin);
            // A foreground star is drawn as its disc and glow: no shape of
            // its own (the luminosity's mantissa 0 gives a shape of no size).
            if (nearList[k]->foreground != 0) out[k].w[3] &= ~(4095u << 13);
        }
        unmapBuffer(staging);
        copyFromStaging(r.nearRecords, staging, 16 * nearCount);
        destroyBuffer(staging);
    }
    if (r.shapeVertexCount != SHAPE_INDICES_PER_STAR * nearCount) changed = true;
    r.shapeVertexCount = SHAPE_INDICES_PER_STAR * nearCount;

    if (changed) {
        for (auto& marks : r.redraw) marks[0] = 1;
    }
    return changed;
}

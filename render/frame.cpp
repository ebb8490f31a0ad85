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
}

namespace {

void updateUniformBuffer(Renderer& r, uint32_t imageIndex, const FrameInput& in) {
    UniformBufferObject& ubo = r.ubo;
    static const StarFieldDraw nothing;
    const StarFieldDraw& sf = in.starField != nullptr ? *in.starField : nothing;
    FrameView v{};
    for (int a = 0; a < 3; ++a) v.position[a] = in.position[a];
    v.forward = in.forward;
    v.up = in.up;
    v.viewAngle = in.viewAngle;
    v.width = std::max(1, r.geometry.displayWidth - r.built.helpMargin);
    v.height = std::max(1, r.geometry.displayHeight);
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
    ubo.luminosity_const = in.brightness * static_cast<float>(std::ldexp(sf.limitScale, -96));
    ubo.background_scale = in.brightness * static_cast<float>(std::ldexp(sf.backgroundIntensity, -32));
    for (int c = 0; c < 3; ++c) ubo.background_color[c] = sf.backgroundColour[c];
    ubo.maximum_circle_size = in.maximumCircleSize;
    ubo.highlight_multiplier = 2.0f;
    ubo.crosshair_color[0] = 0;
    ubo.crosshair_color[1] = 1;
    ubo.crosshair_color[2] = 0;
    ubo.crosshair_color[3] = 1;

    const size_t foreground = std::min<size_t>(sf.foreground.size(), MAX_FOREGROUND_OBJECTS);
    for (size_t i = 0; i < foreground; ++i) {
        const ForegroundView& f = sf.foreground[i];
        ForegroundObject& o = ubo.foreground_object_buffer[i];
        relative(f.position, o.position);
        o.radius = static_cast<float>(std::ldexp(sf.foregroundRadiusFactor * f.radius, -48));
        for (int c = 0; c < 3; ++c) o.color[c] = f.colour[c] / 127.0f;
    }
    const uint32_t highlights = std::min<uint32_t>(sf.highlightCount, MAX_HIGHLIGHTS);
    for (uint32_t i = 0; i < highlights && 3 * i + 2 < sf.highlightPositions.size(); ++i) {
        relative(&sf.highlightPositions[3 * i], ubo.highlight_objects[i].position);
        ubo.highlight_objects[i].rgb = 0x07C00000;  // green in the 5-5-5 packing
    }

    // Members no shader reads, kept informative.
    store3(ubo.current_position, static_cast<double>(P[0]), static_cast<double>(P[1]), static_cast<double>(P[2]));
    relative(r.lastGenerationPosition, ubo.last_midground_render_offset);
    ubo.circle_smoothness_angle = 0.7853981633974483f;

    writeBuffer(r.uniformBuffers[imageIndex], &ubo, sizeof(ubo));
}

void recordCommandBuffer(Renderer& r, uint32_t imageIndex, const FrameInput& in) {
    VkCommandBuffer cb = r.commandBuffers[imageIndex];
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    checkVkResult(vkBeginCommandBuffer(cb, &begin));

    VkClearValue clear[2]{};
    clear[0].color = {{0.0f, 0.0f, 0.0f, 1.0f}};
    clear[1].depthStencil = {1.0f, 0};
    VkRenderPassBeginInfo pass{};
    pass.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
    pass.renderPass = r.renderPass;
    pass.framebuffer = r.framebuffers[imageIndex];
    pass.renderArea = {{0, 0}, r.extent};
    pass.clearValueCount = 2;
    pass.pClearValues = clear;
    vkCmdBeginRenderPass(cb, &pass, VK_SUBPASS_CONTENTS_INLINE);
    vkCmdBindDescriptorSets(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, r.pipelineLayout, 0, 1,
                            &r.descriptorSets[imageIndex], 0, nullptr);

    if (!in.hideStarDisplay) {
        const VkDeviceSize zero = 0;
        auto bindVertices = [&](VkPipeline pipeline, const GpuBuffer& vertices) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
            vkCmdBindVertexBuffers(cb, 0, 1, &vertices.buffer, &zero);
        };
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
        // A check of the background draws only the diffuse light: the stars,
        // discs, markers, labels and cross-hair are left out.
        if (!in.backgroundOnly) {
            if (r.midgroundPointCount > 0) {
                bindVertices(r.pointPipeline, r.midgroundPoints);
                vkCmdDraw(cb, r.midgroundPointCount, 1, 0, 0);
            }
            if (r.shapeVertexCount > 0) {
                bindVertices(r.shapePipeline, r.shapeIndices);
                vkCmdDraw(cb, r.shapeVertexCount, 1, 0, 0);
            }
            if (r.foregroundCount > 0) {
                bindVertices(r.foregroundPipeline, r.foregroundVertices);
                vkCmdDraw(cb, FOREGROUND_VERTICES_PER_OBJECT * r.foregroundCount, 1, 0, 0);
            }
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
    checkVkResult(vkEndCommandBuffer(cb));
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
        for (auto& marks : r.redraw) marks[0] = 1;
    }
    // What the recorded commands depend on besides the buffers' contents.
    const uint32_t foreground =
        in.starField != nullptr
            ? static_cast<uint32_t>(std::min<size_t>(in.starField->foreground.size(), MAX_FOREGROUND_OBJECTS))
            : 0;
    const bool recorded = r.recordedAnything && foreground == r.foregroundCount && in.showCrosshair == r.recordedCrosshair &&
                          in.hideStarDisplay == r.recordedHidden && in.backgroundMode == r.recordedBackground &&
                          in.backgroundOnly == r.recordedBackgroundOnly;
    r.foregroundCount = foreground;
    r.recordedCrosshair = in.showCrosshair;
    r.recordedHidden = in.hideStarDisplay;
    r.recordedBackground = in.backgroundMode;
    r.recordedBackgroundOnly = in.backgroundOnly;
    r.recordedAnything = true;
    for (auto& marks : r.redraw) {
        if (in.redrawStars || !recorded) marks[0] = 1;
        if (in.redrawPanel) marks[1] = 1;
    }
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
    recordCommandBuffer(r, 0, in);
    VkFence fence = r.inFlight[0];
    checkVkResult(vkWaitForFences(r.device, 1, &fence, VK_TRUE, UINT64_MAX));
    checkVkResult(vkResetFences(r.device, 1, &fence));
    VkSubmitInfo submit{};
    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &r.commandBuffers[0];
    checkVkResult(vkQueueSubmit(r.graphicsQueue, 1, &submit, fence));
    checkVkResult(vkWaitForFences(r.device, 1, &fence, VK_TRUE, UINT64_MAX));
    return readBackImage(r, r.images[0], r.swapChainFormat, VK_IMAGE_LAYOUT_TRANSFER_SRC_OPTIMAL, starDisplayRect(r));
}

FrameStart beginFrame(Renderer& r) {
    FrameStart start;
    const uint32_t frame = r.currentFrame;
    const uint64_t waitStart = nowNanoseconds();
    checkVkResult(vkWaitForFences(r.device, 1, &r.inFlight[frame], VK_TRUE, UINT64_MAX));
    start.fenceWaitNs = nowNanoseconds() - waitStart;
    retireTextTextures(r);

    VkResult result = vkAcquireNextImageKHR(r.device, r.swapChain, UINT64_MAX, r.imageAvailable[frame],
                                            VK_NULL_HANDLE, &start.imageIndex);
    if (result == VK_ERROR_OUT_OF_DATE_KHR) return start;
    if (result != VK_SUCCESS && result != VK_SUBOPTIMAL_KHR) {
        throw std::runtime_error("failed to acquire swap chain image!");
    }
    // The image's command buffer may still be pending from the other frame
    // slot's submission: wait for that submission before re-recording it.
    if (r.imageFences.size() != r.images.size()) r.imageFences.assign(r.images.size(), VK_NULL_HANDLE);
    VkFence& previous = r.imageFences[start.imageIndex];
    if (previous != VK_NULL_HANDLE && previous != r.inFlight[frame]) {
        checkVkResult(vkWaitForFences(r.device, 1, &previous, VK_TRUE, UINT64_MAX));
    }
    previous = r.inFlight[frame];
    checkVkResult(vkResetFences(r.device, 1, &r.inFlight[frame]));
    start.ok = true;
    return start;
}

FrameEnd endFrame(Renderer& r, uint32_t imageIndex, const FrameInput& in) {
    FrameEnd end;
    const uint32_t frame = r.currentFrame;
    applyFrameSettings(r, in);
    updateUniformBuffer(r, imageIndex, in);
    if (r.redraw[imageIndex][0] || r.redraw[imageIndex][1]) recordCommandBuffer(r, imageIndex, in);

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
    if (in.capture) captureStarDisplay(r, imageIndex, end);
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
    results.staged.clear();
    results.regions.clear();
    const uint32_t points = std::min(results.pointHighWater, r.midgroundPointCapacity);
    if (points != r.midgroundPointCount) changed = true;
    r.midgroundPointCount = points;

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
        for (uint32_t k = 0; k < nearCount; ++k) out[k] = makeNearRecord(*nearList[k], r.midgroundOrigin);
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

// One frame: events, the frame slot, the panel, navigation, the star-field
// hand-off, the uniform block, command recording, submit and present.
#include <GLFW/glfw3.h>
#include <imgui.h>
#include <backends/imgui_impl_vulkan.h>

#define GLM_FORCE_DEPTH_ZERO_TO_ONE
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "app/application.h"
#include "render/renderer.h"
#include "render/vk_check.h"

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

void updateUniformBuffer(Application& app, uint32_t imageIndex) {
    UniformBufferObject& ubo = app.ubo;
    const StarFieldLink& sf = app.starField;
    FrameView v{};
    for (int a = 0; a < 3; ++a) v.position[a] = app.view.position[a].integer;
    v.forward = app.view.forward;
    v.up = app.view.up;
    v.viewAngle = app.viewAngle;
    v.width = std::max(1, app.displayWidth - app.vk.helpMargin);
    v.height = std::max(1, app.displayHeight);
    v.midgroundNearSq = sf.midgroundNearSq;
    v.midgroundFarSq = sf.midgroundFarSq;
    v.foregroundFarSq = sf.foregroundFarSq;
    fillViewUniforms(ubo, v);
    const int64_t* P = v.position;

    auto relative = [&](const int64_t* point, float out[3]) {
        for (int a = 0; a < 3; ++a) {
            out[a] = static_cast<float>(std::ldexp(static_cast<double>(point[a] - P[a]), -48));
        }
    };
    relative(app.vk.midgroundOrigin, ubo.mid_diff_offset);
    for (int a = 0; a < 3; ++a) ubo.mid_diff_offset[a] = -ubo.mid_diff_offset[a];  // P - origin
    ubo.luminosity_const = app.brightness * static_cast<float>(std::ldexp(sf.pendingLimits.limitScale, -96));
    ubo.background_scale = app.brightness * static_cast<float>(std::ldexp(sf.backgroundIntensity, -32));
    for (int c = 0; c < 3; ++c) ubo.background_color[c] = sf.backgroundColour[c];
    ubo.maximum_circle_size = app.maximumCircleSize;
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
    for (uint32_t i = 0; i < highlights; ++i) {
        relative(&sf.highlightPositions[3 * i], ubo.highlight_objects[i].position);
        ubo.highlight_objects[i].rgb = 0x07C00000;  // green in the 5-5-5 packing
    }

    // Members no shader reads, kept informative.
    store3(ubo.current_position, static_cast<double>(P[0]), static_cast<double>(P[1]), static_cast<double>(P[2]));
    relative(app.vk.lastGenerationPosition, ubo.last_midground_render_offset);
    ubo.circle_smoothness_angle = 0.7853981633974483f;

    GpuBuffer& target = app.vk.uniformBuffers[imageIndex];
    writeBuffer(target, &ubo, sizeof(ubo));
}

void recordCommandBuffer(Application& app, uint32_t imageIndex) {
    VulkanState& vk = app.vk;
    VkCommandBuffer cb = vk.commandBuffers[imageIndex];
    VkCommandBufferBeginInfo begin{};
    begin.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_BEGIN_INFO;
    checkVkResult(vkBeginCommandBuffer(cb, &begin));

    VkClearValue clear[2]{};
    clear[0].color = {{0.0f, 0.0f, 0.0f, 1.0f}};
    clear[1].depthStencil = {1.0f, 0};
    VkRenderPassBeginInfo pass{};
    pass.sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO;
    pass.renderPass = vk.renderPass;
    pass.framebuffer = vk.framebuffers[imageIndex];
    pass.renderArea = {{0, 0}, vk.extent};
    pass.clearValueCount = 2;
    pass.pClearValues = clear;
    vkCmdBeginRenderPass(cb, &pass, VK_SUBPASS_CONTENTS_INLINE);
    vkCmdBindDescriptorSets(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, vk.pipelineLayout, 0, 1,
                            &vk.descriptorSets[imageIndex], 0, nullptr);

    if (!app.hideStarDisplay) {
        const VkDeviceSize zero = 0;
        auto bindVertices = [&](VkPipeline pipeline, const GpuBuffer& vertices) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, pipeline);
            vkCmdBindVertexBuffers(cb, 0, 1, &vertices.buffer, &zero);
        };
        if (app.backgroundMode != 0 && vk.ellipsoidVertices.size > 0 && vk.ellipsoidTriangles > 0) {
            bindVertices(vk.ellipsoidPipeline, vk.ellipsoidVertices);
            vkCmdBindIndexBuffer(cb, vk.ellipsoidIndices.buffer, 0, VK_INDEX_TYPE_UINT16);
            vkCmdDrawIndexed(cb, 3 * vk.ellipsoidTriangles, 1, 0, 0, 0);
        }
        if ((app.backgroundMode == 1 || app.backgroundMode == 2) && vk.tubeVertices.size > 0 && vk.tubeSegments > 0) {
            bindVertices(vk.backgroundPipeline, vk.tubeVertices);
            vkCmdBindIndexBuffer(cb, vk.tubeIndices.buffer, 0, VK_INDEX_TYPE_UINT32);
            vkCmdDrawIndexed(cb, 60 * (vk.tubeRings + 1) * vk.tubeSegments, 1, 0, 0, 0);
        }
        if (vk.midgroundPointCount > 0) {
            bindVertices(vk.pointPipeline, vk.midgroundPoints);
            vkCmdDraw(cb, vk.midgroundPointCount, 1, 0, 0);
        }
        if (vk.shapeVertexCount > 0) {
            bindVertices(vk.shapePipeline, vk.shapeIndices);
            vkCmdDraw(cb, vk.shapeVertexCount, 1, 0, 0);
        }
        const auto foreground = static_cast<uint32_t>(
            std::min<size_t>(app.starField.foreground.size(), MAX_FOREGROUND_OBJECTS));
        if (foreground > 0) {
            bindVertices(vk.foregroundPipeline, vk.foregroundVertices);
            vkCmdDraw(cb, FOREGROUND_VERTICES_PER_OBJECT * foreground, 1, 0, 0);
        }
        if (vk.highlightVertexCount > 0) {
            bindVertices(vk.highlightPipeline, vk.highlightVertices);
            vkCmdDraw(cb, vk.highlightVertexCount, 1, 0, 0);
        }
        if (vk.labelVertexCount > 0) {
            bindVertices(vk.labelPipeline, vk.labelVertices);
            vkCmdDraw(cb, vk.labelVertexCount, 1, 0, 0);
        }
        if (app.showCrosshair) {
            vkCmdBindPipeline(cb, VK_PIPELINE_BIND_POINT_GRAPHICS, vk.crosshairPipeline);
            vkCmdDraw(cb, 8, 1, 0, 0);
        }
        vk.redraw[imageIndex][0] = 0;
    }

    ImDrawData* drawData = ImGui::GetDrawData();
    if (drawData != nullptr && drawData->Valid) ImGui_ImplVulkan_RenderDrawData(drawData, cb);

    vk.redraw[imageIndex][1] = 0;
    vkCmdEndRenderPass(cb);
    checkVkResult(vkEndCommandBuffer(cb));
}

void Application::drawFrame() {
    glfwPollEvents();
    VulkanState& v = vk;
    const uint32_t frame = v.currentFrame;
    const uint64_t waitStart = nowNanoseconds();
    checkVkResult(vkWaitForFences(v.device, 1, &v.inFlight[frame], VK_TRUE, UINT64_MAX));
    frameTimes.gpuWait += nowNanoseconds() - waitStart;

    uint32_t imageIndex = 0;
    VkResult result = vkAcquireNextImageKHR(v.device, v.swapChain, UINT64_MAX, v.imageAvailable[frame],
                                            VK_NULL_HANDLE, &imageIndex);
    if (result == VK_ERROR_OUT_OF_DATE_KHR) {
        int width = 0, height = 0;
        glfwGetFramebufferSize(window, &width, &height);
        while (width == 0 || height == 0) {
            glfwGetFramebufferSize(window, &width, &height);
            glfwWaitEvents();
        }
        changes.swapChainRecreated = 1;
        recreateSwapChain(*this);
        return;
    }
    if (result != VK_SUCCESS && result != VK_SUBOPTIMAL_KHR) {
        throw std::runtime_error("failed to acquire swap chain image!");
    }
    // The image's command buffer may still be pending from the other frame
    // slot's submission: wait for that submission before re-recording it.
    if (v.imageFences.size() != v.images.size()) v.imageFences.assign(v.images.size(), VK_NULL_HANDLE);
    if (v.imageFences[imageIndex] != VK_NULL_HANDLE && v.imageFences[imageIndex] != v.inFlight[frame]) {
        checkVkResult(vkWaitForFences(v.device, 1, &v.imageFences[imageIndex], VK_TRUE, UINT64_MAX));
    }
    v.imageFences[imageIndex] = v.inFlight[frame];
    checkVkResult(vkResetFences(v.device, 1, &v.inFlight[frame]));

    const uint64_t panelStart = nowNanoseconds();
    runPanel();
    frameTimes.panel += nowNanoseconds() - panelStart;

    if (helpMarginRequested != v.helpMargin) {
        v.helpMargin = helpMarginRequested;
        checkVkResult(vkDeviceWaitIdle(v.device));
        destroyGraphicsPipelines(*this);
        createGraphicsPipelines(*this);
        markAllForRedraw(0);
    }

    const uint64_t now = nowNanoseconds();
    const double dt = static_cast<double>(now - lastFrameTime) * 1e-9;
    framesPerSecond = static_cast<float>(1.0 / dt);
    lastFrameTime = now;

    // Moved when the position's integer parts changed since the last frame.
    bool moved = false;
    for (int a = 0; a < 3; ++a) {
        moved |= view.position[a].integer != previousPosition[a];
        previousPosition[a] = view.position[a].integer;
    }
    changes.viewpointMoved = moved ? 1 : 0;

    const uint64_t navigationStart = nowNanoseconds();
    const NavigationResult nav = navigate(view, keyDown, dt);
    starField.velocity = nav.velocity;  // zero when no translation input is active
    if (nav.moved) changes.viewpointMoved = 1;
    if (nav.redraw) markAllForRedraw(0);
    const uint64_t uploadStart = nowNanoseconds();
    updateStarField();
    const uint64_t uploadEnd = nowNanoseconds();

    updateUniformBuffer(*this, imageIndex);
    if (v.redraw[imageIndex][0] || v.redraw[imageIndex][1]) recordCommandBuffer(*this, imageIndex);

    VkSubmitInfo submit{};

    submit.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO;
    const VkPipelineStageFlags waitStage = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT;
    submit.waitSemaphoreCount = 1;
    submit.pWaitSemaphores = &v.imageAvailable[frame];
    submit.pWaitDstStageMask = &waitStage;
    submit.commandBufferCount = 1;
    submit.pCommandBuffers = &v.commandBuffers[imageIndex];
    submit.signalSemaphoreCount = 1;
    submit.pSignalSemaphores = &v.renderFinished[frame];
    const uint64_t submitStart = nowNanoseconds();
    checkVkResult(vkQueueSubmit(v.graphicsQueue, 1, &submit, v.inFlight[frame]));
    const uint64_t presentStart = nowNanoseconds();

    VkPresentInfoKHR present{};

    present.sType = VK_STRUCTURE_TYPE_PRESENT_INFO_KHR;
    present.waitSemaphoreCount = 1;
    present.pWaitSemaphores = &v.renderFinished[frame];
    present.swapchainCount = 1;
    present.pSwapchains = &v.swapChain;
    present.pImageIndices = &imageIndex;
    result = vkQueuePresentKHR(v.presentQueue, &present);
    const uint64_t presentEnd = nowNanoseconds();
    const bool outOfDate = result == VK_ERROR_OUT_OF_DATE_KHR || result == VK_SUBOPTIMAL_KHR;
    if (outOfDate || framebufferResized || rebuildDevicePipelines) {
        framebufferResized = false;
        recreateSwapChain(*this);
    } else if (result != VK_SUCCESS) {
        throw std::runtime_error("failed to present swap chain image!");
    }
    v.currentFrame = (v.currentFrame + 1) % FRAMES_IN_FLIGHT;

    frameTimes.navigation += uploadStart - navigationStart;
    frameTimes.starField += uploadEnd - uploadStart;
    frameTimes.submit += presentStart - submitStart;
    frameTimes.present += presentEnd - presentStart;
    ++frameTimes.frames;
}

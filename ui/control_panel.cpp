#include "ui/control_panel.h"


#include <imgui.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_vulkan.h>

#include "app/application.h"
#include "ui/imgui_compat.h"

void preparePanelFrame(Application& app) {
    (void)app;
    ImGui_ImplGlfw_NewFrame();
}

void buildControlPanel(Application& app) {
    ImGui_ImplVulkan_NewFrame();
    ImGui::NewFrame();

    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowBorderSize = 0;
    style.FrameBorderSize = 0;
    const float screenWidth = static_cast<float>(app.vk.extent.width);
    const float screenHeight = static_cast<float>(app.vk.extent.height);
    const float x = app.panelOnRight ? static_cast<float>(app.displayWidth) : 0.0f;
    ImGui::SetNextWindowPos(ImVec2(x, 0));
    ImGui::SetNextWindowSize(ImVec2(screenWidth - static_cast<float>(app.displayWidth), screenHeight));
    ImGui::SetNextWindowBgAlpha(1.0f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                   ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoCollapse;
    ImGui::Begin("Quorvane", nullptr, flags);
    ImGui::Text("Version:%s FPS:%4.0f", app.version.c_str(), app.framesPerSecond);
    ImGui::Text("Stars displayed:%7d", static_cast<int>(app.starField.starsDisplayed));

    // The quit buttons sit at the bottom, one above the other, both as wide
    // as the wider label needs.
    const float buttonWidth = ImGui::CalcTextSize("Quit/nosave").x + 2 * style.FramePadding.x;
    ImGui::SetCursorPosY(screenHeight - 2 * ImGui::GetFrameHeightWithSpacing() - style.WindowPadding.y);
    if (ImGui::Button("Quit/save", ImVec2(buttonWidth, 0))) app.running = false;
    if (ImGui::Button("Quit/nosave", ImVec2(buttonWidth, 0))) {
        app.running = false;
        app.saveOnExit = false;
    }
    ImGui::End();
    app.hideStarDisplay = false;
    app.helpMarginRequested = 0;

    ImGui::Render();
    app.markAllForRedraw(1);
}

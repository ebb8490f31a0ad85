#include "ui/control_panel.h"

#include <imgui.h>

#include "app/app_state.h"
#include "render/imgui_backend.h"

void createPanelContext(uint32_t controlFontScale) {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.FontGlobalScale = static_cast<float>(controlFontScale);
    ImGui::StyleColorsDark();
    ImGui::GetStyle().ItemSpacing.y = 10;
}

void destroyPanelContext() {
    if (ImGui::GetCurrentContext() != nullptr) ImGui::DestroyContext();
}

int measurePanel(AppState& state) {
    ImGuiIO& io = ImGui::GetIO();
    io.FontGlobalScale = static_cast<float>(state.controlFontScale);
    // Measured without a frame: the default font's advance for "0" times the
    // global scale.
    ImFont* font = io.Fonts->Fonts.empty() ? nullptr : io.Fonts->Fonts[0];
    float width = 7, height = 13;
    if (font != nullptr && io.Fonts->IsBuilt()) {
        const ImVec2 size = font->CalcTextSizeA(font->FontSize * io.FontGlobalScale, 1e9f, 0, "0");
        width = size.x;
        height = size.y;
    }
    state.charSize[0] = static_cast<float>(static_cast<int>(width + 0.99999f));
    state.charSize[1] = height;
    const float padding = ImGui::GetStyle().WindowPadding.x;
    return static_cast<int>(2 * padding + 23 * state.charSize[0]);
}

bool panelWantsKeyboard() { return ImGui::GetCurrentContext() != nullptr && ImGui::GetIO().WantCaptureKeyboard; }

void preparePanelFrame() { imguiPrepareFrame(); }

void buildControlPanel(AppState& state) {
    imguiNewFrame();

    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowBorderSize = 0;
    style.FrameBorderSize = 0;
    const float screenWidth = static_cast<float>(state.framebufferWidth);
    const float screenHeight = static_cast<float>(state.framebufferHeight);
    const float x = state.panelOnRight ? static_cast<float>(state.displayWidth) : 0.0f;
    ImGui::SetNextWindowPos(ImVec2(x, 0));
    ImGui::SetNextWindowSize(ImVec2(screenWidth - static_cast<float>(state.displayWidth), screenHeight));
    ImGui::SetNextWindowBgAlpha(1.0f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                   ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoCollapse;
    ImGui::Begin("Quorvane", nullptr, flags);
    ImGui::Text("Version:%s FPS:%4.0f", state.version.c_str(), state.framesPerSecond);
    ImGui::Text("Stars displayed:%7d", static_cast<int>(state.starsDisplayed));

    // The quit buttons sit at the bottom, one above the other, both as wide
    // as the wider label needs.
    const float buttonWidth = ImGui::CalcTextSize("Quit/nosave").x + 2 * style.FramePadding.x;
    ImGui::SetCursorPosY(screenHeight - 2 * ImGui::GetFrameHeightWithSpacing() - style.WindowPadding.y);
    if (ImGui::Button("Quit/save", ImVec2(buttonWidth, 0))) state.running = false;
    if (ImGui::Button("Quit/nosave", ImVec2(buttonWidth, 0))) {
        state.running = false;
        state.saveOnExit = false;
    }
    ImGui::End();
    state.hideStarDisplay = false;
    state.helpMarginRequested = 0;

    ImGui::Render();
    state.redrawPanel = true;
}

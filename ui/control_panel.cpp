#include "ui/control_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <type_traits>

#include "state/program_state.h"
#include "numeric/constants.h"
#include "render/imgui_backend.h"
#include "state/panel_choices.h"
#include "ui/places.h"
#include "ui/text_view.h"
#include "starfield/search.h"
#include "starfield/star_field.h"

const char* const PAGE_NAMES[PAGE_COUNT] = {"Home",           "Controls",       "Navigation",  "Display",
                                            "Catalog",        "User Interface", "Display Tweaks",
                                            "Information",    "Licenses",       "Credits"};

int helpBlockOf(int page) { return page >= 0 && page < HELP_PAGE_COUNT ? HELP_BLOCK_IDS[page] : 0; }

namespace {

constexpr double RADIANS_TO_DEGREES = 57.29577951308232;

// The ownership notice of the Home, Controls, Licenses and Credits pages.
constexpr const char* NOTICE[3] = {"Starloom", "Copyright (c) 2026", "the Starloom developers"};

// A combo of choices whose preview is the entry equal to the current value
// (the value itself when none is). Returns true when the user chose an entry
// of another value.
template <typename T, size_t N>
bool choiceCombo(const char* label, const Choice<T> (&choices)[N], T& value) {
    // A combo with a visible label leaves the label room to the right of it
    // in the narrow panel.
    const float labelWidth = ImGui::CalcTextSize(label, nullptr, true).x;
    if (labelWidth > 0) {
        const float room = ImGui::GetContentRegionAvail().x - labelWidth - ImGui::GetStyle().ItemInnerSpacing.x;
        ImGui::SetNextItemWidth(std::max(room, 4 * ImGui::GetFontSize()));
    }
    const char* preview = choiceName(choices, value);
    char own[32];
    if (preview == nullptr) {
        double shown = 0;
        if constexpr (std::is_enum_v<T>)
            shown = static_cast<double>(static_cast<std::underlying_type_t<T>>(value));
        else
            shown = static_cast<double>(value);
        std::snprintf(own, sizeof own, "%g", shown);
        preview = own;
    }
    bool changed = false;
    if (ImGui::BeginCombo(label, preview)) {
        for (const Choice<T>& c : choices) {
            const bool selected = c.value == value;
            if (ImGui::Selectable(c.name, selected) && !selected) {
                value = c.value;
                changed = true;
            }
            if (selected) ImGui::SetItemDefaultFocus();
        }
        ImGui::EndCombo();
    }
    return changed;
}

void centredText(const char* text) {
    const float width = ImGui::CalcTextSize(text).x;
    ImGui::SetCursorPosX(std::max(0.0f, (ImGui::GetWindowWidth() - width) * 0.5f));
    ImGui::TextUnformatted(text);
}

void notice() {
    for (const char* line : NOTICE) centredText(line);
}

// A toggle button: coloured while on; a click turns it over.
void toggleButton(const char* label, bool& on) {
    if (on) {
        ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.0f, 0.98f, 0.59f, 0.4f));
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.0f, 0.98f, 0.59f, 1.0f));
        if (ImGui::Button(label)) on = false;
        ImGui::PopStyleColor(2);
    } else if (ImGui::Button(label)) {
        on = true;
    }
}

// ------------------------------------------------------------------ pages

void homePage(ProgramState& s) {
    if (ImGui::Button("Controls")) s.panel.currentPage = PAGE_CONTROLS;
    ImGui::SameLine();
    if (ImGui::Button("Navigation")) s.panel.currentPage = PAGE_NAVIGATION;
    centredText("Starloom");
    ImGui::Dummy(ImVec2(0, 0.3f * ImGui::GetTextLineHeight()));
    for (const char* line : {"Use the menu above to", "choose control options.", "Use the \"?\" toggle at",
                             "the top right to show", "help screens for most", "options."}) {
        ImGui::TextUnformatted(line);
    }
    ImGui::Dummy(ImVec2(0, 0.3f * ImGui::GetTextLineHeight()));
    notice();
}

void controlsPage() {
    for (const char* line :
         {"Space   : Forward", "L-Ctrl  : Forward", "L-Alt   : Back", "S       : Pitch Up", "W       : Pitch Down",
          "A       : Rot Left", "D       : Rot Right", "X       : Yaw Left", "Z       : Yaw Right",
          "I       : Slide Up", "M       : Slide Down", "J       : Slide Left", "K       : Slide Right",
          ",       : Slower", ".       : Faster", "CapsLock: Fine Control", "C       : Toggle Cross",
          "=       : T/Fullscreen", "F12     : Screenshot"}) {
        ImGui::TextUnformatted(line);
    }
    notice();
}

// An arrow (or Go) button of the cross; true while it is held down.
bool heldButton(bool isArrow, const char* id, ImGuiDir dir, float side) {
    if (isArrow) {
        ImGui::PushStyleVar(ImGuiStyleVar_FramePadding,
                            ImVec2((side - ImGui::GetFontSize()) * 0.5f, ImGui::GetStyle().FramePadding.y));
        ImGui::ArrowButton(id, dir);
        ImGui::PopStyleVar();
    } else {
        ImGui::Button(id, ImVec2(side, side));
    }
    return ImGui::IsItemActive();
}

void navigationPage(ProgramState& s, StarField& engine) {
    // The cross of arrow buttons: up above, left, Go and right in a row,
    // down below, each a square of the frame height.
    const float side = 2 * ImGui::GetStyle().FramePadding.y + ImGui::GetFontSize();
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const float left = ImGui::GetCursorPosX();
    ImGui::SetCursorPosX(left + side + spacing);
    if (heldButton(true, "up", ImGuiDir_Up, side)) s.view.pitchInput = -1;
    if (heldButton(true, "left", ImGuiDir_Left, side)) s.view.rollInput = -1;
    ImGui::SameLine();
    if (heldButton(false, "Go", ImGuiDir_None, side)) s.view.goInput = 1;
    ImGui::SameLine();
    if (heldButton(true, "right", ImGuiDir_Right, side)) s.view.rollInput = 1;
    ImGui::SetCursorPosX(left + side + spacing);
    if (heldButton(true, "down", ImGuiDir_Down, side)) s.view.pitchInput = 1;

    const char* axes[3] = {"x:%18.10lf pc", "y:%18.10lf pc", "z:%18.10lf pc"};
    for (int a = 0; a < 3; ++a) {
        ImGui::Text(axes[a], static_cast<double>(s.view.position[a].integer) * UNIT_PARSECS_DOUBLE);
    }
    // The place as a location text, to keep or to send; and back.
    if (ImGui::Button("Copy##place")) {
        ImGui::SetClipboardText(currentLocationText(s).c_str());
        s.panel.placeMessage = "The place is on the clipboard.";
    }
    ImGui::SameLine();
    if (ImGui::Button("Paste##place")) {
        const char* text = ImGui::GetClipboardText();
        goToPlace(s, engine, text != nullptr ? text : "", s.panel.placeMessage);
    }
    if (!s.panel.placeMessage.empty()) ImGui::TextWrapped("%s", s.panel.placeMessage.c_str());
    ImGui::TextUnformatted(speedText(s.view.speedLevel).c_str());
    ImGui::SameLine();
    if (ImGui::Button("- ")) s.view.speedLevel -= 1;
    ImGui::SameLine();
    if (ImGui::Button("+ ") && s.view.speedLevel < MAX_SPEED_LEVEL) s.view.speedLevel += 1;
    ImGui::Text("Head:%9.4lf degrees", headingDegrees(s.view.forward));
    ImGui::Text("Mark:%9.4lf degrees", markDegrees(s.view.forward));
    ImGui::Text("Tilt:%9.4lf degrees", tiltDegrees(s.view.forward, s.view.up));
    const Galaxy& galaxy = engine.galaxy;
    const uint64_t density = totalDensity(galaxy.components.get(), galaxy.count, galaxy.tree, s.view.position[0].integer,
                                          s.view.position[1].integer, s.view.position[2].integer);
    ImGui::Text("Star Density:%10.6lf", std::ldexp(static_cast<double>(density), -32));

    if (ImGui::Button("Save")) s.requests.save = true;
    ImGui::SameLine();
    if (ImGui::Button("Load")) s.requests.load = true;
    ImGui::SameLine();
    if (ImGui::Button("Reset")) s.requests.reset = true;
    ImGui::TextWrapped("%s", s.status.lastError.c_str());
}

void displayPage(ProgramState& s) {
    ImGui::TextUnformatted("Max Magnitude");
    float magnitude = s.settings.maxMagnitude;
    if (ImGui::InputFloat("##max_magnitude", &magnitude, 0.1f, 1.0f, "%4.1f")) {
        magnitude = std::clamp(magnitude, MAX_MAGNITUDE_MIN, MAX_MAGNITUDE_MAX);
        if (magnitude != s.settings.maxMagnitude) {
            s.settings.maxMagnitude = magnitude;
            s.requests.viewLimits = true;
        }
    }
    ImGui::TextUnformatted("View angle");
    ImGui::SetNextItemWidth(10 * s.panel.charSize[0]);
    int angle = static_cast<int>(s.settings.viewAngle);
    if (ImGui::InputInt("##View angle", &angle, 1)) {
        angle = std::clamp(angle, static_cast<int>(VIEW_ANGLE_MIN), static_cast<int>(VIEW_ANGLE_MAX));
        if (angle != s.settings.viewAngle) {
            s.settings.viewAngle = angle;
            s.requests.viewLimits = true;
        }
    }
}

void catalogPage(ProgramState& s, StarField& engine, float bottomReserve) {
    ImGui::TextUnformatted("Sort:");
    ImGui::SameLine();
    choiceCombo("##star_sort", SORT_CHOICES, s.panel.sortChoice);
    ImGui::TextUnformatted("Text:");
    ImGui::SameLine();
    if (choiceCombo("##sdisptext0", STAR_LABEL_CHOICES, s.settings.starLabel[0])) s.changes.labelsChanged = 1;
    if (s.settings.starLabel[0] != 0) {
        ImGui::TextUnformatted("Text:");
        ImGui::SameLine();
        if (choiceCombo("##sdisptext1", STAR_LABEL_CHOICES, s.settings.starLabel[1])) s.changes.labelsChanged = 1;
    }

    // A star by its name: turn to it and fly there.
    ImGui::TextUnformatted("Find:");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(-FLT_MIN);
    const bool entered = ImGui::InputText("##find", s.panel.findText, sizeof s.panel.findText,
                                          ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::Button("Find") || entered) findStar(s, engine, s.panel.findText, s.panel.findMessage);
    ImGui::SameLine();
    // The selected star's name onto the clipboard.
    ImGui::BeginDisabled(s.panel.selectedResult < 0);
    if (ImGui::Button("Copy##name")) {
        std::lock_guard lock(engine.resultsMutex);
        if (s.panel.selectedResult >= 0 && s.panel.selectedResult < static_cast<int>(engine.searchResults.size())) {
            const char* name = engine.searchResults[static_cast<size_t>(s.panel.selectedResult)].name;
            ImGui::SetClipboardText(name);
            s.panel.findMessage = std::string(name) + " is on the clipboard.";
        }
    }
    ImGui::EndDisabled();
    if (!s.panel.findMessage.empty()) ImGui::TextWrapped("%s", s.panel.findMessage.c_str());

    if (ImGui::Button("Search")) {
        s.panel.selectedResult = -1;
        int64_t* at = s.panel.lastSearchPosition;
        for (int a = 0; a < 3; ++a) at[a] = s.view.position[a].integer;
        searchNearest(engine, s.settings.seed, at[0], at[1], at[2]);
        s.changes.labelsChanged = 1;
        if (s.panel.infoShown) s.panel.refreshTextBlock = true;
    }
    ImGui::SameLine();
    if (ImGui::Button("Clear")) {
        {
            std::lock_guard lock(engine.resultsMutex);
            engine.searchResults.clear();
        }
        s.panel.selectedResult = -1;
        s.changes.labelsChanged = 1;
    }

    // The list, with the star the selection and Go refer to.
    std::lock_guard lock(engine.resultsMutex);
    const std::vector<SearchResult>& results = engine.searchResults;
    if (s.panel.selectedResult >= static_cast<int>(results.size())) s.panel.selectedResult = -1;
    ImGui::SameLine();
    if (ImGui::Button("Go") && s.panel.selectedResult >= 0) {
        flyTo(s, results[static_cast<size_t>(s.panel.selectedResult)].star);
    }
    ImGui::SameLine();
    const bool infoWasShown = s.panel.infoShown;
    toggleButton(" i ##info", s.panel.infoShown);
    if (s.panel.infoShown && !infoWasShown) s.panel.refreshTextBlock = true;

    const float height = std::max(ImGui::GetTextLineHeightWithSpacing(),
                                  ImGui::GetWindowHeight() - ImGui::GetCursorPosY() - bottomReserve);
    if (ImGui::BeginListBox("##results", ImVec2(23 * s.panel.charSize[0], height))) {
        // After a search the list starts with a row that selects no star.
        for (int i = results.empty() ? 0 : -1; i < static_cast<int>(results.size()); ++i) {
            ImGui::PushID(i);
            const bool selected = i == s.panel.selectedResult;
            const char* name = i < 0 ? "(unselected)" : results[static_cast<size_t>(i)].name;
            if (ImGui::Selectable(name, selected) && !selected) {
                s.panel.selectedResult = i;
                s.panel.refreshTextBlock = true;
                if (i >= 0) turnTowards(s, results[static_cast<size_t>(i)].star);
            }
            ImGui::PopID();
        }
        ImGui::EndListBox();
    }
}

void userInterfacePage(ProgramState& s) {
    ImGui::TextUnformatted("Controls:");
    ImGui::SameLine();
    int side = s.settings.panelOnRight ? 1 : 0;
    if (choiceCombo("##combo_left_right", SIDE_CHOICES, side)) {
        s.settings.panelOnRight = side == 1;
        s.redraw.framebufferResized = true;
    }
    ImGui::TextUnformatted("Font Sz Ctrl");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(10 * s.panel.charSize[0]);
    int control = static_cast<int>(s.settings.controlFontScale);
    if (ImGui::InputInt("##Font Sz Ctrl", &control, 1)) {
        control = std::clamp(control, static_cast<int>(CONTROL_FONT_SCALE_MIN), static_cast<int>(CONTROL_FONT_SCALE_MAX));
        if (control != static_cast<int>(s.settings.controlFontScale)) {
            s.settings.controlFontScale = static_cast<uint32_t>(control);
            s.redraw.framebufferResized = true;
        }
    }
    ImGui::TextUnformatted("Font Sz Disp");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(10 * s.panel.charSize[0]);
    int display = static_cast<int>(s.settings.displayFontSize);
    if (ImGui::InputInt("##Font Sz Disp", &display, 1)) {
        display = std::clamp(display, 0, static_cast<int>(DISPLAY_FONT_SIZE_MAX));
        if (display != static_cast<int>(s.settings.displayFontSize)) {
            s.settings.displayFontSize = static_cast<uint32_t>(display);
            s.changes.labelsChanged = 1;
        }
    }
    if (ImGui::Button("Reset\nFonts", ImVec2(23 * s.panel.charSize[0], 3 * ImGui::GetTextLineHeight()))) {
        if (s.settings.controlFontScale != 1) s.redraw.framebufferResized = true;
        if (s.settings.displayFontSize != 3) s.changes.labelsChanged = 1;
        s.settings.controlFontScale = 1;
        s.settings.displayFontSize = 3;
    }
}

void displayTweaksPage(ProgramState& s) {
    if (choiceCombo("Background##combo_background_display", BACKGROUND_CHOICES, s.settings.backgroundMode)) {
        s.changes.settingsChanged = 1;
    }
    if (choiceCombo("Star Shape##combo_mid_star_shape_display", STAR_SHAPE_CHOICES, s.settings.starShape)) {
        s.changes.settingsChanged = 1;
    }
    choiceCombo("Brightness##brightness", BRIGHTNESS_CHOICES, s.settings.brightness);
    choiceCombo("Exposure##exposure", EXPOSURE_CHOICES, s.settings.exposureMode);
    // The light's colours are worked out with the display constants.
    if (choiceCombo("Light Colour##diffuse_colour", DIFFUSE_COLOUR_CHOICES, s.settings.diffuseColour)) {
        s.requests.viewLimits = true;
    }
    for (const char* line :
         {"Below this point, use", "at your own risk.", "Some settings may cause", "stability/rendering", "issues."}) {
        ImGui::TextUnformatted(line);
    }
    // The star field takes these with its next pass.
    Settings& set = s.settings;
    if (choiceCombo("Max stars gen##star_gen_count", STARS_GEN_CHOICES, set.maxStarsGen)) s.changes.settingsChanged = 1;
    choiceCombo("Max stars gc##star_gc_count", POINT_CAPACITY_CHOICES, set.pointCapacity);
    if (choiceCombo("Max Voxels##voxel_count", VOXEL_CHOICES, set.maxVoxelChunks)) s.changes.settingsChanged = 1;
    choiceCombo("Frame timeout##frame_timeout", TIMEOUT_CHOICES, set.frameTimeoutNs);
    choiceCombo("Frame lookahead##frame_lookahead", LOOKAHEAD_CHOICES, set.frameLookaheadNs);
}

void informationPage(ProgramState& s) {
    ImGui::SetNextItemWidth(18 * s.panel.charSize[0]);
    if (ImGui::BeginCombo("##combo2", INFO_PAGE_NAMES[s.panel.infoPage], ImGuiComboFlags_HeightLarge)) {
        for (int i = 0; i < INFO_PAGE_COUNT; ++i) {
            if (ImGui::Selectable(INFO_PAGE_NAMES[i], i == s.panel.infoPage)) s.panel.infoPage = i;
        }
        ImGui::EndCombo();
    }
}

void licensesPage() {
    notice();
    ImGui::TextUnformatted("Software used:");
    for (const char* line : {"Vulkan", "Dear ImGui", "   MIT License", "GLFW", "   zlib/libpng License", "glm",
                             "   Happy Bunny License", "xxHash", "   BSD 2-Clause License", "Roboto Font",
                             "   Apache License 2.0"}) {
        ImGui::TextUnformatted(line);
    }
}

void creditsPage() {
    notice();
    for (const char* line : {"Author:", "   the Starloom team", "With support from:", "   its first testers"}) {
        ImGui::TextUnformatted(line);
    }
}

// The text block the page asks to show this frame; 0 for none.
int requestedTextBlock(const ProgramState& s) {
    const int page = s.panel.currentPage;
    if (s.panel.helpShown && helpBlockOf(page) != 0) return helpBlockOf(page);
    if (page == PAGE_INFORMATION) return INFO_BLOCK_IDS[s.panel.infoPage];
    if (page == PAGE_LICENSES) return LICENCE_BLOCK_ID;
    if (page == PAGE_CATALOG && s.panel.infoShown && s.panel.selectedResult >= 0) return STAR_INFO_BLOCK_ID;
    return 0;
}

}  // namespace

std::string speedText(int32_t speedLevel) {
    char text[64];
    const double parsecsPerSecond = speedFromLevel(speedLevel) * 1e-12;
    if (speedLevel >= 40) {
        std::snprintf(text, sizeof text, "s:%7.0lf pc/s", parsecsPerSecond);
    } else if (speedLevel >= 30) {
        std::snprintf(text, sizeof text, "s:%7.3lf pc/s", parsecsPerSecond);
    } else {
        // speed = 1000^q x T[r] with level = 10 q + r (floor division), so
        // the speed in parsecs per second is T[r] x 10^(3 q - 12).
        static constexpr int T[10] = {1, 2, 4, 8, 16, 32, 64, 125, 250, 500};
        const int q = speedLevel >= 0 ? speedLevel / 10 : -((9 - speedLevel) / 10);
        const int r = speedLevel - 10 * q;
        std::snprintf(text, sizeof text, "s:%3de%03d pc/s", T[r], 3 * q - 12);
    }
    return text;
}

double headingDegrees(Vec3d forward) {
    double heading = std::atan2(forward.x, forward.y) * RADIANS_TO_DEGREES;
    if (heading < 0) heading += 360.0;
    return heading >= 360.0 ? 0.0 : heading;
}

double markDegrees(Vec3d forward) { return std::asin(std::clamp(forward.z, -1.0, 1.0)) * RADIANS_TO_DEGREES; }

double tiltDegrees(Vec3d forward, Vec3d up) {
    // The reference up: the galaxy's +z made perpendicular to forward (+y
    // when forward is vertical).
    Vec3d reference = Vec3d{0, 0, 1} - forward * forward.z;
    if (dot(reference, reference) < 1e-12) reference = Vec3d{0, 1, 0} - forward * forward.y;
    return std::atan2(dot(forward, cross(reference, up)), dot(reference, up)) * RADIANS_TO_DEGREES;
}

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

int measurePanel(ProgramState& state) {
    ImGuiIO& io = ImGui::GetIO();
    io.FontGlobalScale = static_cast<float>(state.settings.controlFontScale);
    // Measured without a frame: the default font's advance for "0" times the
    // global scale.
    ImFont* font = io.Fonts->Fonts.empty() ? nullptr : io.Fonts->Fonts[0];
    float width = 7, height = 13;
    if (font != nullptr && io.Fonts->IsBuilt()) {
        const ImVec2 size = font->CalcTextSizeA(font->FontSize * io.FontGlobalScale, 1e9f, 0, "0");
        width = size.x;
        height = size.y;
    }
    state.panel.charSize[0] = static_cast<float>(static_cast<int>(width + 0.99999f));
    state.panel.charSize[1] = height;
    const float padding = ImGui::GetStyle().WindowPadding.x;
    return static_cast<int>(2 * padding + 23 * state.panel.charSize[0]);
}

bool panelWantsKeyboard() { return ImGui::GetCurrentContext() != nullptr && ImGui::GetIO().WantCaptureKeyboard; }

void preparePanelFrame() { imguiPrepareFrame(); }

void drawPanel(ProgramState& s, StarField& engine, TextView* text) {
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowBorderSize = 0;
    style.FrameBorderSize = 0;
    const float screenWidth = static_cast<float>(s.status.framebufferWidth);
    const float screenHeight = static_cast<float>(s.status.framebufferHeight);
    const float x = s.settings.panelOnRight ? static_cast<float>(s.status.displayWidth) : 0.0f;
    ImGui::SetNextWindowPos(ImVec2(x, 0));
    ImGui::SetNextWindowSize(ImVec2(screenWidth - static_cast<float>(s.status.displayWidth), screenHeight));
    ImGui::SetNextWindowBgAlpha(1.0f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                   ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                   ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoCollapse;
    ImGui::Begin("Quorvane", nullptr, flags);
    ImGui::Text("Version:%s FPS:%4.0f", s.status.version.c_str(), s.status.framesPerSecond);
    ImGui::Text("Stars displayed:%7d", static_cast<int>(s.status.starsDisplayed));
    if (!s.status.screenshotMessage.empty() && s.status.now < s.status.screenshotShownUntil) {
        ImGui::TextWrapped("%s", s.status.screenshotMessage.c_str());
    }

    s.panel.currentPage = std::clamp(s.panel.currentPage, 0, PAGE_COUNT - 1);
    s.panel.infoPage = std::clamp(s.panel.infoPage, 0, INFO_PAGE_COUNT - 1);
    ImGui::SetNextItemWidth(18 * s.panel.charSize[0]);
    if (ImGui::BeginCombo("##combo1", PAGE_NAMES[s.panel.currentPage], ImGuiComboFlags_HeightLarge)) {
        for (int i = 0; i < PAGE_COUNT; ++i) {
            if (ImGui::Selectable(PAGE_NAMES[i], i == s.panel.currentPage)) s.panel.currentPage = i;
        }
        ImGui::EndCombo();
    }
    if (helpBlockOf(s.panel.currentPage) != 0) {
        ImGui::SameLine();
        toggleButton(" ? ##help", s.panel.helpShown);
    }

    // The quit buttons take the bottom: two rows of buttons and the padding.
    const float quitHeight = 2 * ImGui::GetFrameHeightWithSpacing() + style.WindowPadding.y;
    switch (s.panel.currentPage) {
        case PAGE_HOME: homePage(s); break;
        case PAGE_CONTROLS: controlsPage(); break;
        case PAGE_NAVIGATION: navigationPage(s, engine); break;
        case PAGE_DISPLAY: displayPage(s); break;
        case PAGE_CATALOG: catalogPage(s, engine, quitHeight + style.ItemSpacing.y); break;
        case PAGE_USER_INTERFACE: userInterfacePage(s); break;
        case PAGE_DISPLAY_TWEAKS: displayTweaksPage(s); break;
        case PAGE_INFORMATION: informationPage(s); break;
        case PAGE_LICENSES: licensesPage(); break;
        case PAGE_CREDITS: creditsPage(); break;
        default: break;
    }
    s.panel.textBlockId = requestedTextBlock(s);

    // Both quit buttons as wide as the wider label needs, at the bottom.
    const float buttonWidth = ImGui::CalcTextSize("Quit/nosave").x + 2 * style.FramePadding.x;
    ImGui::SetCursorPosY(screenHeight - quitHeight);
    if (ImGui::Button("Quit/save", ImVec2(buttonWidth, 0))) s.requests.quit = true;
    if (ImGui::Button("Quit/nosave", ImVec2(buttonWidth, 0))) {
        s.requests.quit = true;
        s.requests.quitWithoutSaving = true;
    }
    ImGui::End();
    if (text != nullptr) {
        updateTextView(*text, s, engine);
        drawTextWindow(*text, s);
    } else {
        s.panel.hideStarDisplay = false;
        s.panel.helpMargin = 0;
    }
}

void buildControlPanel(ProgramState& state, StarField& engine, TextView* text) {
    imguiNewFrame();
    drawPanel(state, engine, text);
    ImGui::Render();
    state.redraw.panel = true;
}

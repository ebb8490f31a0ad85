#include "ui/control_panel.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
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

// The panel's pages are PANEL_COLUMNS characters of the control font wide; every row
// is laid out within that width, whether or not the page scrolls.
float pageWidth(const ProgramState& s) { return static_cast<float>(PANEL_COLUMNS) * s.panel.charSize[0]; }

// The width left on the current row of a page (whose rows start at x = 0).
float restOfRow(const ProgramState& s) { return std::max(1.0f, pageWidth(s) - ImGui::GetCursorPosX()); }

// A label on the row of the field it names, on the field's text line.
void fieldLabel(const char* text) {
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(text);
    ImGui::SameLine(0, ImGui::GetStyle().ItemInnerSpacing.x);
}

// A combo of choices whose preview is the entry equal to the current value
// (the value itself when none is), `width` wide. Returns true when the user
// chose an entry of another value.
template <typename T, size_t N>
bool choiceCombo(const char* id, const Choice<T> (&choices)[N], T& value, float width) {
    ImGui::SetNextItemWidth(width);
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
    if (ImGui::BeginCombo(id, preview)) {
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

// A named combo of the Display Tweaks page: its name ("Name##id") on a row
// of its own, the combo the width of the page below it.
template <typename T, size_t N>
bool namedCombo(ProgramState& s, const char* label, const Choice<T> (&choices)[N], T& value) {
    const char* id = std::strstr(label, "##");
    ImGui::TextUnformatted(label, id);
    return choiceCombo(id, choices, value, pageWidth(s));
}

void centredText(const char* text, float width) {
    const float textWidth = ImGui::CalcTextSize(text).x;
    ImGui::SetCursorPosX(ImGui::GetCursorPosX() + std::max(0.0f, (width - textWidth) * 0.5f));
    ImGui::TextUnformatted(text);
}

void notice(const ProgramState& s) {
    for (const char* line : NOTICE) centredText(line, pageWidth(s));
}

// A toggle button: coloured while on; a click turns it over. While on and
// under the pointer its colour is bright, and its text dark to stay readable.
void toggleButton(const char* label, bool& on) {
    if (!on) {
        if (ImGui::Button(label)) on = true;
        return;
    }
    const ImGuiStyle& style = ImGui::GetStyle();
    const ImVec2 from = ImGui::GetCursorScreenPos();
    const ImVec2 text = ImGui::CalcTextSize(label, nullptr, true);
    const ImVec2 to(from.x + text.x + 2 * style.FramePadding.x, from.y + text.y + 2 * style.FramePadding.y);
    const bool hovered = ImGui::IsWindowHovered() && ImGui::IsMouseHoveringRect(from, to);
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.0f, 0.98f, 0.59f, 0.4f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.0f, 0.98f, 0.59f, 1.0f));
    ImGui::PushStyleColor(ImGuiCol_Text, hovered ? ImVec4(0.0f, 0.0f, 0.0f, 1.0f) : style.Colors[ImGuiCol_Text]);
    if (ImGui::Button(label)) on = false;
    ImGui::PopStyleColor(3);
}

// The star the information block describes and Go and Copy act on, whatever
// selected it; none when no star is selected.
std::optional<SearchResult> selectedStar(const ProgramState& s) {
    if (s.panel.hasSelection) return s.panel.selection;
    return std::nullopt;
}

// A text of the panel, wrapped to the page at spaces (wrapMessage).
void wrappedText(const std::string& text, const ProgramState& s) {
    const size_t columns = static_cast<size_t>(pageWidth(s) / std::max(1.0f, s.panel.charSize[0]));
    for (const std::string& line : wrapMessage(text, columns)) ImGui::TextUnformatted(line.c_str());
}

// ------------------------------------------------------------------ pages

void homePage(ProgramState& s) {
    if (ImGui::Button("Controls")) s.panel.currentPage = PAGE_CONTROLS;
    ImGui::SameLine();
    if (ImGui::Button("Navigation")) s.panel.currentPage = PAGE_NAVIGATION;
    centredText("Starloom", pageWidth(s));
    ImGui::Dummy(ImVec2(0, 0.3f * ImGui::GetTextLineHeight()));
    for (const char* line : {"Use the menu above to", "choose control options.", "Use the \"?\" toggle at",
                             "the top right to show", "help screens for most", "options."}) {
        ImGui::TextUnformatted(line);
    }
    ImGui::Dummy(ImVec2(0, 0.3f * ImGui::GetTextLineHeight()));
    notice(s);
}

void controlsPage(ProgramState& s) {
    for (const char* line :
         {"Space   : Forward", "L-Ctrl  : Forward", "L-Alt   : Back", "S       : Pitch Up", "W       : Pitch Down",
          "A       : Rot Left", "D       : Rot Right", "X       : Yaw Left", "Z       : Yaw Right",
          "I       : Slide Up", "M       : Slide Down", "J       : Slide Left", "K       : Slide Right",
          ",       : Slower", ".       : Faster", "CapsLock: Fine Control", "C       : Toggle Cross",
          "=       : T/Fullscreen", "F12     : Screenshot", "BkSpace : Back", "Drag    : Turn View",
          "Sh+Drag : Roll", "Wheel   : Speed", "Ct+Wheel: View Angle", "Click   : Identify Star"}) {
        ImGui::TextUnformatted(line);
    }
    notice(s);
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

// The bookmarks of the Navigation page: the list, Add (the current place),
// Go, Delete, and the chosen bookmark's name and note to edit.
void bookmarksSection(ProgramState& s, StarField& engine) {
    // Chooses entry i of the list as it stands (-1: none), and fills the
    // fields with its name and note. An edit replaces the list, so that
    // nothing is kept of it across one.
    auto choose = [&s](int i) {
        const std::vector<const Bookmark*> now = bookmarkList(s.bookmarks);
        const Bookmark* mark = i >= 0 && i < static_cast<int>(now.size()) ? now[static_cast<size_t>(i)] : nullptr;
        s.panel.chosenBookmark = mark != nullptr ? i : -1;
        std::snprintf(s.panel.bookmarkName, sizeof s.panel.bookmarkName, "%s", mark ? mark->name.c_str() : "");
        std::snprintf(s.panel.bookmarkNote, sizeof s.panel.bookmarkNote, "%s", mark ? mark->note.c_str() : "");
    };
    std::string chosenName;
    size_t count = 0;
    {
        const std::vector<const Bookmark*> marks = bookmarkList(s.bookmarks);
        count = marks.size();
        if (s.panel.chosenBookmark >= static_cast<int>(count)) s.panel.chosenBookmark = -1;
        if (s.panel.chosenBookmark >= 0) chosenName = marks[static_cast<size_t>(s.panel.chosenBookmark)]->name;
        ImGui::TextUnformatted("Bookmarks:");
        const float rows = static_cast<float>(std::clamp<size_t>(count, 3, 6));
        if (ImGui::BeginListBox("##bookmarks", ImVec2(pageWidth(s), rows * ImGui::GetTextLineHeightWithSpacing() +
                                                                       2 * ImGui::GetStyle().FramePadding.y))) {
            for (int i = 0; i < static_cast<int>(count); ++i) {
                ImGui::PushID(i);
                const Bookmark& mark = *marks[static_cast<size_t>(i)];
                const bool picked = ImGui::Selectable(mark.name.c_str(), i == s.panel.chosenBookmark);
                if (!mark.note.empty() && ImGui::IsItemHovered()) ImGui::SetTooltip("%s", mark.note.c_str());
                ImGui::PopID();
                if (picked) choose(i);
            }
            ImGui::EndListBox();
        }
    }
    if (ImGui::Checkbox("Show on the sky", &s.settings.bookmarksOnSky)) s.changes.labelsChanged = 1;
    const bool hasChosen = s.panel.chosenBookmark >= 0 && !chosenName.empty();
    std::string message;
    if (ImGui::Button("Add##bookmark") && addBookmarkHere(s, "", message)) {
        choose(static_cast<int>(bookmarkList(s.bookmarks).size()) - 1);
    }
    ImGui::SameLine();
    ImGui::BeginDisabled(!hasChosen);
    if (ImGui::Button("Go##bookmark") && hasChosen) goToPlace(s, engine, chosenName, message);
    ImGui::SameLine();
    if (ImGui::Button("Delete##bookmark") && hasChosen && deleteBookmark(s, chosenName, message)) choose(-1);
    fieldLabel("Name:");
    ImGui::SetNextItemWidth(restOfRow(s));
    const bool renamed = ImGui::InputText("##bookmark_name", s.panel.bookmarkName, sizeof s.panel.bookmarkName,
                                          ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    if ((ImGui::Button("Rename##bookmark") || renamed) && hasChosen) {
        renameBookmarkNamed(s, chosenName, s.panel.bookmarkName, message);
        chosenName = s.panel.bookmarkName;
    }
    fieldLabel("Note:");
    ImGui::SetNextItemWidth(restOfRow(s));
    ImGui::InputText("##bookmark_note", s.panel.bookmarkNote, sizeof s.panel.bookmarkNote,
                     ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::IsItemDeactivatedAfterEdit() && hasChosen && findBookmark(s.bookmarks, chosenName) != nullptr) {
        setBookmarkNoteOf(s, chosenName, s.panel.bookmarkNote, message);
    }
    ImGui::EndDisabled();
    if (!message.empty()) showMessage(s, message, s.status.now);
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
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("While held: forward at 50 times the speed shown");
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
        showMessage(s, "The place is on the clipboard.", s.status.now);
    }
    ImGui::SameLine();
    if (ImGui::Button("Paste##place")) {
        const char* text = ImGui::GetClipboardText();
        std::string message;
        goToPlace(s, engine, text != nullptr ? text : "", message);
        showMessage(s, message, s.status.now);
    }
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(speedText(s.view.speedLevel).c_str());
    ImGui::SameLine();
    if (ImGui::Button("- ")) s.view.speedLevel -= 1;
    ImGui::SameLine(0, ImGui::GetStyle().ItemInnerSpacing.x);
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
    // Under the buttons it is about, above the way back and the bookmarks.
    wrappedText(s.status.lastError, s);
    // The way back after a jump, and forward again.
    ImGui::BeginDisabled(s.history.back.empty());
    std::string moved;
    if (ImGui::Button("Back")) goBack(s, engine, moved);
    ImGui::EndDisabled();
    if (ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled)) ImGui::SetTooltip("Backspace: the place before the last jump");
    ImGui::SameLine();
    ImGui::BeginDisabled(s.history.forward.empty());
    if (ImGui::Button("Forward")) goForward(s, engine, moved);
    ImGui::EndDisabled();
    if (!moved.empty()) showMessage(s, moved, s.status.now);
    bookmarksSection(s, engine);
}

void displayPage(ProgramState& s) {
    ImGui::TextUnformatted("Max Magnitude");
    ImGui::SetNextItemWidth(pageWidth(s));
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

// The absolute magnitudes of the listed stars, worked out once per list (the
// physical properties take a star's population laws at its draw).
const std::vector<double>& absoluteMagnitudes(const std::vector<SearchResult>& results, const ProgramState& s,
                                              const StarField& engine) {
    static std::vector<double> magnitudes;
    static std::vector<std::string> names;
    static GalaxySeed seed{};
    bool same = names.size() == results.size() && seed == s.settings.seed;
    for (size_t i = 0; same && i < results.size(); ++i) same = names[i] == results[i].name;
    if (!same) {
        names.clear();
        magnitudes.clear();
        seed = s.settings.seed;
        const PopulationTable& table = engine.galaxy.components[0].populations;
        for (const SearchResult& r : results) {
            names.emplace_back(r.name);
            magnitudes.push_back(toDouble(foundStarProperties(table, s.settings.seed, r).absMagnitude));
        }
    }
    return magnitudes;
}

void catalogPage(ProgramState& s, StarField& engine) {
    fieldLabel("Sort:");
    choiceCombo("##star_sort", SORT_CHOICES, s.panel.sortChoice, restOfRow(s));
    fieldLabel("Text:");
    if (choiceCombo("##sdisptext0", STAR_LABEL_CHOICES, s.settings.starLabel[0], restOfRow(s))) {
        s.changes.labelsChanged = 1;
    }
    if (s.settings.starLabel[0] != 0) {
        fieldLabel("Text:");
        if (choiceCombo("##sdisptext1", STAR_LABEL_CHOICES, s.settings.starLabel[1], restOfRow(s))) {
            s.changes.labelsChanged = 1;
        }
    }

    // A star by its name: turn to it and fly there.
    fieldLabel("Find:");
    ImGui::SetNextItemWidth(restOfRow(s));
    const bool entered = ImGui::InputText("##find", s.panel.findText, sizeof s.panel.findText,
                                          ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::Button("Find") || entered) {
        std::string message;
        findStar(s, engine, s.panel.findText, message);
        showMessage(s, message, s.status.now);
    }
    ImGui::SameLine();
    // The selected star's name onto the clipboard.
    const std::optional<SearchResult> chosen = selectedStar(s);
    ImGui::BeginDisabled(!chosen);
    if (ImGui::Button("Copy##name") && chosen) {
        ImGui::SetClipboardText(chosen->name);
        showMessage(s, std::string(chosen->name) + " is on the clipboard.", s.status.now);
    }
    ImGui::EndDisabled();

    if (ImGui::Button("Search")) {
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
        clearSelection(s);
        s.changes.labelsChanged = 1;
    }
    ImGui::SameLine();
    if (ImGui::Button("Go")) {
        if (chosen) {
            rememberJump(s);
            flyTo(s, chosen->star);
        }
    }
    ImGui::SameLine();
    const bool infoWasShown = s.panel.infoShown;
    toggleButton(" i ##info", s.panel.infoShown);
    if (s.panel.infoShown && !infoWasShown) s.panel.refreshTextBlock = true;

    // The list: name, distance in parsecs and apparent magnitude, in the
    // order chosen; the selected star's entry stands out.
    std::lock_guard lock(engine.resultsMutex);
    const std::vector<SearchResult>& results = engine.searchResults;
    const int64_t viewpoint[3] = {s.view.position[0].integer, s.view.position[1].integer, s.view.position[2].integer};
    const std::vector<CatalogRow> rows =
        sortedCatalog(results, absoluteMagnitudes(results, s, engine), viewpoint, s.panel.sortChoice);
    const float width = pageWidth(s);
    const float column = s.panel.charSize[0];
    // Each entry takes two lines: the name (names run to 13 characters and
    // more), and below it the distance and the magnitude, right-aligned in
    // columns that end where the header's "pc" and "mag" end.
    const float magnitudeRight = width - ImGui::GetStyle().ScrollbarSize - 2 * ImGui::GetStyle().FramePadding.x;
    const float distanceRight = magnitudeRight - 7 * column;
    if (!results.empty()) {
        const float rowX = ImGui::GetCursorPosX();
        ImGui::TextDisabled("Name");
        ImGui::SameLine(0, 0);
        ImGui::SetCursorPosX(rowX + distanceRight - ImGui::CalcTextSize("pc").x);
        ImGui::TextDisabled("pc");
        ImGui::SameLine(0, 0);
        ImGui::SetCursorPosX(rowX + magnitudeRight - ImGui::CalcTextSize("mag").x);
        ImGui::TextDisabled("mag");
    }
    // The list takes the rest of the page, and at least a few rows.
    const float height = std::max(5 * ImGui::GetTextLineHeightWithSpacing(), ImGui::GetContentRegionAvail().y);
    if (ImGui::BeginListBox("##results", ImVec2(width, height))) {
        // After a search the list starts with a row that selects no star.
        if (!results.empty() && ImGui::Selectable("(unselected)", !s.panel.hasSelection) && s.panel.hasSelection) {
            clearSelection(s);
        }
        ImDrawList* draw = ImGui::GetWindowDrawList();
        const ImU32 ink = ImGui::GetColorU32(ImGuiCol_Text);
        const float line = ImGui::GetTextLineHeight();
        for (const CatalogRow& row : rows) {
            const SearchResult& r = results[row.index];
            ImGui::PushID(static_cast<int>(row.index));
            const bool selected = isSelected(s, r.star);
            if (ImGui::Selectable("##row", selected, 0, ImVec2(0, 2 * line)) && !selected) {
                selectStar(s, r);
                turnTowards(s, r.star);
            }
            const ImVec2 at = ImGui::GetItemRectMin();
            draw->AddText(at, ink, r.name);
            char text[32];
            const double pc = row.parsecs;
            std::snprintf(text, sizeof text, pc < 10 ? "%.4f" : pc < 1000 ? "%.2f" : "%.0f", pc);
            draw->AddText(ImVec2(at.x + distanceRight - ImGui::CalcTextSize(text).x, at.y + line), ink, text);
            std::snprintf(text, sizeof text, "%.1f", row.magnitude);
            draw->AddText(ImVec2(at.x + magnitudeRight - ImGui::CalcTextSize(text).x, at.y + line), ink, text);
            ImGui::PopID();
        }
        ImGui::EndListBox();
    }
}

void userInterfacePage(ProgramState& s) {
    fieldLabel("Controls:");
    int side = s.settings.panelOnRight ? 1 : 0;
    if (choiceCombo("##combo_left_right", SIDE_CHOICES, side, restOfRow(s))) {
        s.settings.panelOnRight = side == 1;
        s.redraw.framebufferResized = true;
    }
    // The two fields line up at the page's right edge, where "+" stays when
    // the control font changes.
    const float labelWidth = ImGui::CalcTextSize("Font Sz Ctrl").x + ImGui::GetStyle().ItemInnerSpacing.x;
    const float fieldWidth = std::min(10 * s.panel.charSize[0], pageWidth(s) - labelWidth);
    const float fieldX = pageWidth(s) - fieldWidth;
    fieldLabel("Font Sz Ctrl");
    ImGui::SetCursorPosX(fieldX);
    ImGui::SetNextItemWidth(fieldWidth);
    int control = static_cast<int>(s.settings.controlFontScale);
    if (ImGui::InputInt("##Font Sz Ctrl", &control, 1)) {
        control = std::clamp(control, static_cast<int>(CONTROL_FONT_SCALE_MIN), static_cast<int>(CONTROL_FONT_SCALE_MAX));
        if (control != static_cast<int>(s.settings.controlFontScale)) {
            s.settings.controlFontScale = static_cast<uint32_t>(control);
            s.redraw.framebufferResized = true;
        }
    }
    fieldLabel("Font Sz Disp");
    ImGui::SetCursorPosX(fieldX);
    ImGui::SetNextItemWidth(fieldWidth);
    int display = static_cast<int>(s.settings.displayFontSize);
    if (ImGui::InputInt("##Font Sz Disp", &display, 1)) {
        display = std::clamp(display, 0, static_cast<int>(DISPLAY_FONT_SIZE_MAX));
        if (display != static_cast<int>(s.settings.displayFontSize)) {
            s.settings.displayFontSize = static_cast<uint32_t>(display);
            s.changes.labelsChanged = 1;
        }
    }
    if (ImGui::Button("Reset\nFonts", ImVec2(pageWidth(s), 3 * ImGui::GetTextLineHeight()))) {
        if (s.settings.controlFontScale != 1) s.redraw.framebufferResized = true;
        if (s.settings.displayFontSize != 3) s.changes.labelsChanged = 1;
        s.settings.controlFontScale = 1;
        s.settings.displayFontSize = 3;
    }
}

void displayTweaksPage(ProgramState& s) {
    if (namedCombo(s, "Background##combo_background_display", BACKGROUND_CHOICES, s.settings.backgroundMode)) {
        s.changes.settingsChanged = 1;
    }
    if (namedCombo(s, "Star Shape##combo_mid_star_shape_display", STAR_SHAPE_CHOICES, s.settings.starShape)) {
        s.changes.settingsChanged = 1;
    }
    namedCombo(s, "Brightness##brightness", BRIGHTNESS_CHOICES, s.settings.brightness);
    namedCombo(s, "Exposure##exposure", EXPOSURE_CHOICES, s.settings.exposureMode);
    // The light's colours are worked out with the display constants.
    if (namedCombo(s, "Light Colour##diffuse_colour", DIFFUSE_COLOUR_CHOICES, s.settings.diffuseColour)) {
        s.requests.viewLimits = true;
    }
    for (const char* line :
         {"Below this point, use", "at your own risk.", "Some settings may cause", "stability/rendering", "issues."}) {
        ImGui::TextUnformatted(line);
    }
    // The star field takes these with its next pass.
    Settings& set = s.settings;
    if (namedCombo(s, "Max stars gen##star_gen_count", STARS_GEN_CHOICES, set.maxStarsGen)) s.changes.settingsChanged = 1;
    namedCombo(s, "Max stars gc##star_gc_count", POINT_CAPACITY_CHOICES, set.pointCapacity);
    if (namedCombo(s, "Max Voxels##voxel_count", VOXEL_CHOICES, set.maxVoxelChunks)) s.changes.settingsChanged = 1;
    namedCombo(s, "Frame timeout##frame_timeout", TIMEOUT_CHOICES, set.frameTimeoutNs);
    namedCombo(s, "Frame lookahead##frame_lookahead", LOOKAHEAD_CHOICES, set.frameLookaheadNs);
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

void licensesPage(ProgramState& s) {
    notice(s);
    ImGui::TextUnformatted("Software used:");
    for (const char* line : {"Vulkan", "Dear ImGui", "   MIT License", "GLFW", "   zlib/libpng License", "glm",
                             "   Happy Bunny License", "xxHash", "   BSD 2-Clause License", "Roboto Font",
                             "   Apache License 2.0"}) {
        ImGui::TextUnformatted(line);
    }
}

void creditsPage(ProgramState& s) {
    notice(s);
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
    // The selected star's block, on the Catalog page and on any other page
    // that shows no block of its own (a click selects a star on any page).
    if (s.panel.infoShown && s.panel.hasSelection) return STAR_INFO_BLOCK_ID;
    return 0;
}

// The first start's line on how to fly, at the foot of the star display.
void flightHint(const ProgramState& s) {
    const char* text = "Space: fly forward - ,/.: speed - ?: help";
    const ImVec2 size = ImGui::CalcTextSize(text);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float left = s.settings.panelOnRight ? 0.0f : static_cast<float>(s.status.framebufferWidth - s.status.displayWidth);
    const float width = size.x + 2 * style.WindowPadding.x;
    ImGui::SetNextWindowPos(ImVec2(left + std::max(0.0f, (static_cast<float>(s.status.displayWidth) - width) * 0.5f),
                                   static_cast<float>(s.status.displayHeight) - size.y - 2 * style.WindowPadding.y -
                                       2 * ImGui::GetTextLineHeight()));
    ImGui::SetNextWindowBgAlpha(0.6f);
    ImGui::Begin("##flight_hint", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoInputs | ImGuiWindowFlags_AlwaysAutoResize |
                     ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoSavedSettings);
    ImGui::TextUnformatted(text);
    ImGui::End();
}

}  // namespace

std::vector<CatalogRow> sortedCatalog(const std::vector<SearchResult>& results,
                                      const std::vector<double>& absoluteMagnitudes, const int64_t viewpoint[3],
                                      int sortChoice) {
    std::vector<CatalogRow> rows;
    for (size_t i = 0; i < results.size(); ++i) {
        const StarRecord& star = results[i].star;
        const int64_t at[3] = {star.x, star.y, star.z};
        double squared = 0;
        for (int a = 0; a < 3; ++a) {
            const auto d = static_cast<double>(static_cast<__int128>(at[a]) - viewpoint[a]);
            squared += d * d;
        }
        CatalogRow row;
        row.index = i;
        row.parsecs = std::sqrt(squared) * UNIT_PARSECS_DOUBLE;
        const double absolute = i < absoluteMagnitudes.size() ? absoluteMagnitudes[i] : 0;
        // At the viewpoint itself a star is as bright as can be.
        row.magnitude = row.parsecs > 0 ? absolute + 5 * (std::log10(row.parsecs) - 1) : -HUGE_VAL;
        rows.push_back(row);
    }
    auto population = [&](const CatalogRow& r) { return results[r.index].star.population; };
    std::stable_sort(rows.begin(), rows.end(), [&](const CatalogRow& a, const CatalogRow& b) {
        switch (sortChoice) {
            case SORT_BRIGHTNESS: return a.magnitude < b.magnitude;
            case SORT_POPULATION:
                if (population(a) != population(b)) return population(a) < population(b);
                return a.parsecs < b.parsecs;
            default: return a.parsecs < b.parsecs;
        }
    });
    return rows;
}

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
    return static_cast<int>(2 * padding + static_cast<float>(PANEL_COLUMNS) * state.panel.charSize[0]);
}

bool panelWantsKeyboard() { return ImGui::GetCurrentContext() != nullptr && ImGui::GetIO().WantCaptureKeyboard; }

bool panelWantsMouseAt(float x, float y) {
    if (ImGui::GetCurrentContext() == nullptr) return false;
    return ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId | ImGuiPopupFlags_AnyPopupLevel) || imguiWindowAt(x, y);
}

void preparePanelFrame(PanelInput& input) { imguiPrepareFrame(input); }

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

    // The page combo and the help toggle share the row on every page.
    s.panel.currentPage = std::clamp(s.panel.currentPage, 0, PAGE_COUNT - 1);
    s.panel.infoPage = std::clamp(s.panel.infoPage, 0, INFO_PAGE_COUNT - 1);
    const float helpWidth = ImGui::CalcTextSize(" ? ##help", nullptr, true).x + 2 * style.FramePadding.x;
    ImGui::SetNextItemWidth(pageWidth(s) - helpWidth - style.ItemInnerSpacing.x);
    if (ImGui::BeginCombo("##combo1", PAGE_NAMES[s.panel.currentPage], ImGuiComboFlags_HeightLarge)) {
        for (int i = 0; i < PAGE_COUNT; ++i) {
            if (ImGui::Selectable(PAGE_NAMES[i], i == s.panel.currentPage)) s.panel.currentPage = i;
        }
        ImGui::EndCombo();
    }
    if (helpBlockOf(s.panel.currentPage) != 0) {
        ImGui::SameLine(0, style.ItemInnerSpacing.x);
        toggleButton(" ? ##help", s.panel.helpShown);
    }

    // The bottom: the quit buttons, and above them the message area, a line
    // high whether or not a message shows (a longer message takes more lines
    // from the page's bottom, but moves nothing on it).
    const float quitHeight = 2 * ImGui::GetFrameHeightWithSpacing() + style.WindowPadding.y;
    std::vector<std::string> message;
    if (s.status.now < s.status.messageUntil) message = wrapMessage(s.status.message, PANEL_COLUMNS);
    const float messageHeight =
        static_cast<float>(std::max<size_t>(MESSAGE_LINES, message.size())) * ImGui::GetTextLineHeightWithSpacing();

    // The page between them, scrolled when it is taller than its room (large
    // control fonts), its scroll bar in the window's right margin.
    const float pageTop = ImGui::GetCursorPosY();
    const float pageHeight = std::max(ImGui::GetFrameHeight(), screenHeight - quitHeight - messageHeight - pageTop);
    // (The panel clips its contents half a padding short of its edge: the
    // page may reach it.)
    const ImVec2 panelFrom = ImGui::GetWindowPos();
    ImGui::PushClipRect(panelFrom, ImVec2(panelFrom.x + ImGui::GetWindowWidth(), panelFrom.y + screenHeight), false);
    ImGui::PushStyleVar(ImGuiStyleVar_ScrollbarSize, style.WindowPadding.x);
    ImGui::BeginChild("##page", ImVec2(pageWidth(s) + style.WindowPadding.x, pageHeight), false);
    ImGui::PopStyleVar();
    switch (s.panel.currentPage) {
        case PAGE_HOME: homePage(s); break;
        case PAGE_CONTROLS: controlsPage(s); break;
        case PAGE_NAVIGATION: navigationPage(s, engine); break;
        case PAGE_DISPLAY: displayPage(s); break;
        case PAGE_CATALOG: catalogPage(s, engine); break;
        case PAGE_USER_INTERFACE: userInterfacePage(s); break;
        case PAGE_DISPLAY_TWEAKS: displayTweaksPage(s); break;
        case PAGE_INFORMATION: informationPage(s); break;
        case PAGE_LICENSES: licensesPage(s); break;
        case PAGE_CREDITS: creditsPage(s); break;
        default: break;
    }
    ImGui::EndChild();
    ImGui::PopClipRect();
    s.panel.textBlockId = requestedTextBlock(s);

    ImGui::SetCursorPosY(screenHeight - quitHeight - messageHeight + style.ItemSpacing.y);
    for (const std::string& line : message) ImGui::TextUnformatted(line.c_str());

    // Both quit buttons as wide as the wider label needs, at the bottom.
    const float buttonWidth = ImGui::CalcTextSize("Quit/nosave").x + 2 * style.FramePadding.x;
    ImGui::SetCursorPosY(screenHeight - quitHeight);
    if (ImGui::Button("Quit/save", ImVec2(buttonWidth, 0))) s.requests.quit = true;
    if (ImGui::Button("Quit/nosave", ImVec2(buttonWidth, 0))) {
        s.requests.quit = true;
        s.requests.quitWithoutSaving = true;
    }
    ImGui::End();
    if (s.panel.flightHint) flightHint(s);
    if (text != nullptr) {
        updateTextView(*text, s, engine);
        drawTextWindow(*text, s);
    }
}

std::vector<std::string> wrapMessage(std::string_view text, size_t columns) {
    columns = std::max<size_t>(columns, 1);
    auto numeric = [](char c) { return (c >= '0' && c <= '9') || c == '.' || c == ','; };
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const size_t end = std::min(text.find(' ', i), text.size());
        std::string_view word = text.substr(i, end - i);
        i = end;
        if (!line.empty() && line.size() + 1 + word.size() <= columns) {
            line += ' ';
            line += word;
            continue;
        }
        if (!line.empty()) lines.push_back(std::move(line));
        line.clear();
        // A word longer than a line breaks after its last "/", "-" or "_"
        // that fits, else where the line is full but not inside a number.
        while (word.size() > columns) {
            size_t cut = 0;
            for (size_t k = 0; k < columns; ++k) {
                if (word[k] == '/' || word[k] == '-' || word[k] == '_') cut = k + 1;
            }
            if (cut == 0) {
                cut = columns;
                while (cut > 0 && numeric(word[cut - 1]) && numeric(word[cut])) --cut;
                if (cut == 0) cut = columns;
            }
            lines.emplace_back(word.substr(0, cut));
            word.remove_prefix(cut);
        }
        line = std::string(word);
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

void buildControlPanel(ProgramState& state, StarField& engine, TextView* text) {
    imguiNewFrame();
    drawPanel(state, engine, text);
    ImGui::Render();
    state.redraw.panel = true;
}

// The control panel driven without a window, by synthetic input across
// frames; widgets are found as a user finds them: by moving the mouse over the
// panel and asking Dear ImGui which item is under it.
#include <gtest/gtest.h>

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "numeric/constants.h"
#include "render/imgui_backend.h"
#include "render/renderer.h"
#include "starfield/location_text.h"
#include "starfield/search.h"
#include "state/panel_choices.h"
#include "state/program_state.h"
#include "tests/galaxy_fixture.h"
#include "tests/test_support.h"
#include "text/help_texts.h"
#include "text/licences.h"
#include "ui/control_panel.h"
#include "ui/places.h"
#include "ui/text_view.h"

namespace {

constexpr int KEY_ENTER = 257;
constexpr int KEY_BACKSPACE = 259;
const PanelEvent DOWN{PanelEvent::BUTTON, 0, true}, UP{PanelEvent::BUTTON, 0, false};

struct PanelHarness {
    ProgramState state;
    std::unique_ptr<StarField> engine = std::make_unique<StarField>(builtGalaxy());
    PanelInput input;  // the window's events on their way to the panel
    std::map<ImGuiID, ImVec2> spots;  // a point over each item, from the last scan

    PanelHarness() {
        const int width = 1280, height = 1024;
        createPanelContext(1);
        ImGuiIO& io = ImGui::GetIO();
        unsigned char* pixels = nullptr;
        int w = 0, h = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);
        io.DisplaySize = ImVec2(width, height);
        io.DeltaTime = 1.0f / 60;
        io.KeyMap[ImGuiKey_Enter] = KEY_ENTER;
        io.KeyMap[ImGuiKey_Backspace] = KEY_BACKSPACE;
        applyDefaultSettings(state.settings, state.view);
        state.status.version = "test";
        const DisplayGeometry g = displayGeometry(width, height, measurePanel(state));
        state.status.framebufferWidth = g.framebufferWidth;
        state.status.framebufferHeight = g.framebufferHeight;
        state.panel.width = g.panelWidth;
        state.status.displayWidth = g.displayWidth;
        state.status.displayHeight = g.displayHeight;
    }
    ~PanelHarness() { destroyPanelContext(); }

    void frame() {
        ImGui::NewFrame();
        drawPanel(state, *engine);
        ImGui::Render();
    }

    // The page's widgets live in its scrolling child window; the page combo,
    // the help toggle and the quit buttons in the panel's own.
    static ImGuiWindow* pageWindow() {
        for (ImGuiWindow* w : GImGui->Windows) {
            if (std::strncmp(w->Name, "Quorvane/##page_", 16) == 0 && std::strchr(w->Name + 16, '/') == nullptr) return w;
        }
        return nullptr;
    }
    static ImGuiID id(const char* label, const char* window = nullptr) {
        ImGuiWindow* w = window != nullptr ? ImGui::FindWindowByName(window) : pageWindow();
        for (const char* panelItem : {"##combo1", " ? ##help", "Quit/save", "Quit/nosave"}) {
            if (window == nullptr && std::strcmp(label, panelItem) == 0) w = ImGui::FindWindowByName("Quorvane");
        }
        return w == nullptr ? 0 : ImHashStr(label, 0, w->ID);
    }
    // A line of the catalog's list box (a child window named after the page
    // and its id): -1 is "(unselected)", from 0 the stars found.
    static ImGuiID listLine(int index) {
        char name[128];
        std::snprintf(name, sizeof name, "%s/%08X", pageWindow()->Name, id("##results"));
        const ImGuiID list = ImGui::FindWindowByName(name)->ID;
        return index < 0 ? ImHashStr("(unselected)", 0, list) : ImHashStr("##row", 0, ImHashData(&index, sizeof index, list));
    }

    // Moves the mouse over the whole window, noting a point over each item.
    void scan(const char* window = "Quorvane") {
        frame();
        spots.clear();
        ImGuiWindow* w = ImGui::FindWindowByName(window);
        ASSERT_NE(w, nullptr) << window;
        for (float y = w->Pos.y + 2; y < w->Pos.y + w->Size.y; y += 4) {
            for (float x = w->Pos.x + 2; x < w->Pos.x + w->Size.x; x += 6) {
                ImGui::GetIO().MousePos = ImVec2(x, y);
                frame();
                if (GImGui->HoveredId != 0 && spots.count(GImGui->HoveredId) == 0) {
                    spots[GImGui->HoveredId] = ImVec2(x + 2, y + 2);
                }
            }
        }
        ImGui::GetIO().MousePos = ImVec2(-1, -1);
        frame();
    }

    bool has(ImGuiID item) const { return spots.count(item) != 0; }

    // Hands the events to the panel as the program does, each frame its
    // share, then draws one frame more; returns the frames they took.
    int feed(std::initializer_list<PanelEvent> events) {
        input.queue.insert(input.queue.end(), events);
        int frames = 0;
        for (; frames < 20 && !input.queue.empty(); ++frames) {
            imguiFeedInput(input);
            frame();
        }
        frame();
        return frames;
    }
    // The pointer onto an item of the last scan.
    PanelEvent onto(ImGuiID item) {
        EXPECT_TRUE(has(item)) << "no such item on screen";
        return {PanelEvent::CURSOR, 0, false, spots[item].x, spots[item].y};
    }
    void press(ImGuiID item) { feed({onto(item), DOWN, UP}); }
    void click(const char* label) { press(id(label)); }
    void key(int code) { feed({{PanelEvent::KEY, code, true}, {PanelEvent::KEY, code, false}}); }

    // Clicks a text field, replaces its text by typing and presses Enter.
    void type(const char* label, const char* text) {
        click(label);
        for (int i = 0; i < 8; ++i) key(KEY_BACKSPACE);
        for (const char* c = text; *c != '\0'; ++c) feed({{PanelEvent::CHARACTER, *c}});
        key(KEY_ENTER);
    }

    // Picks the entry of a combo, scrolling down to it with the mouse wheel.
    void choose(const char* combo, const char* entry) {
        scan();
        click(combo);
        auto wheel = [&](float amount) {
            const ImVec2 at = ImGui::FindWindowByName("##Combo_00")->Pos;
            feed({{PanelEvent::CURSOR, 0, false, at.x + 10, at.y + 10}, {PanelEvent::SCROLL, 0, false, 0, amount}});
        };
        // The popup scrolls to the entry in force as it appears: let it, then go to the top.
        for (int settle = 0; settle < 3; ++settle) frame();
        wheel(50);
        scan("##Combo_00");
        const ImGuiID item = id(entry, "##Combo_00");
        for (int turn = 0; turn < 10 && !has(item); ++turn) {
            wheel(-1);
            scan("##Combo_00");
        }
        press(item);
    }

    void goToPage(int page) {
        state.panel.currentPage = page;
        scan();
    }

    void clearFlags() {
        state.changes = ChangeFlags{};
        state.redraw.framebufferResized = false;
        state.requests.viewLimits = false;
    }
};

// The place (every bit of position, directions and seed) and whether a turn
// or flight is under way: what a refused Find or Paste must leave alone.
std::string viewOf(const ProgramState& s) {
    return currentLocationText(s) + (s.view.turningToTarget ? " turning" : "") +
           (s.view.flyingToTarget ? " flying" : "");
}

// The view turns from `from` straight towards the star; with `flying`, the
// ship is to fly there too.
void expectHeadingFor(const Viewpoint& v, const SearchResult& star, const int64_t* from, bool flying = true) {
    EXPECT_TRUE(v.turningToTarget);
    EXPECT_EQ(v.flyingToTarget, flying);
    const int64_t at[3] = {star.star.x, star.star.y, star.star.z};
    if (flying) {
        EXPECT_TRUE(std::equal(at, at + 3, v.flyTarget));
    }
    const Vec3d d{double(at[0] - from[0]), double(at[1] - from[1]), double(at[2] - from[2])};
    const Vec3d miss = v.turnTarget - d * (1 / std::sqrt(dot(d, d)));
    EXPECT_LT(std::sqrt(dot(miss, miss)), 2e-12);
}

// A star some parsecs from the default viewpoint, in the galaxy of `seed`.
SearchResult starNearby(StarField& engine, int index, GalaxySeed seed = {}) {
    std::vector<SearchResult> found;
    const int64_t* at = DEFAULT_VIEWPOINT;
    search(engine, seed, found, SEARCH_LIMIT, at[0] + 30000000000000, at[1], at[2], SEARCH_MIN_PARSECS,
           SEARCH_MAX_PARSECS);
    EXPECT_GT(found.size(), static_cast<size_t>(index));
    return found.at(static_cast<size_t>(index));
}

}  // namespace

// The window's events reach the panel through the queue: a click or a key
// press whose press and release both arrive within one frame is a press in
// one frame and a release in the next, at the place it happened. A press or
// wheel turn belongs to what lies under the pointer at that moment, not when
// the last frame was built: right after the pointer left the panel it is the
// star display's. An open list takes every press.
TEST(PanelInputs, QueuedEventsKeepTheirFramesAndPlaces) {
    PanelHarness p;
    p.goToPage(PAGE_CATALOG);
    const PanelEvent away{PanelEvent::CURSOR, 0, false, 5, 5};
    auto character = [](char c) { return PanelEvent{PanelEvent::CHARACTER, c}; };
    const PanelEvent enterDown{PanelEvent::KEY, KEY_ENTER, true}, enterUp{PanelEvent::KEY, KEY_ENTER, false};
    const ImGuiID help = PanelHarness::id(" ? ##help"), find = PanelHarness::id("##find");
    // One frame per change of the button or a key, a move after a click in a frame of its own.
    EXPECT_EQ(p.feed({p.onto(help), DOWN, UP}), 2);
    EXPECT_TRUE(p.state.panel.helpShown) << "a click on ?";
    EXPECT_EQ(p.feed({p.onto(help), DOWN, UP, away}), 3);
    EXPECT_FALSE(p.state.panel.helpShown) << "a click, then the pointer leaves";
    EXPECT_EQ(p.feed({p.onto(find), DOWN, UP, character('h'), character('i'), enterDown, enterUp}), 3);
    EXPECT_FALSE(p.state.status.message.empty()) << "a click into Find:, a name and a quick Enter";

    const auto panelX = static_cast<float>(p.state.status.framebufferWidth - p.state.panel.width / 2);
    ImGui::GetIO().MousePos = ImVec2(panelX, 300);
    p.frame();
    p.frame();
    ASSERT_TRUE(ImGui::GetIO().WantCaptureMouse);
    EXPECT_TRUE(panelWantsMouseAt(panelX, 300));
    EXPECT_FALSE(panelWantsMouseAt(100, 300));
    EXPECT_FALSE(panelWantsMouseAt(p.state.status.displayWidth / 2.0f, 20));
    p.scan();
    p.click("##combo1");
    EXPECT_TRUE(panelWantsMouseAt(100, 300));
}

// Typed values are clamped to their ranges and raise what depends on them:
// new view limits, new fonts for the panel, new labels for the display font.
TEST(PanelInputs, TypedValuesAreClampedAndFlagWhatDependsOnThem) {
    struct Case {
        int page;
        const char* field;
        const char* typed;
        double (*value)(const ProgramState&);
        double expected;
        bool viewLimits, fonts, labels;
    };
    auto angle = [](const ProgramState& s) { return s.settings.viewAngle; };
    auto magnitude = [](const ProgramState& s) { return double(s.settings.maxMagnitude); };
    auto control = [](const ProgramState& s) { return double(s.settings.controlFontScale); };
    auto display = [](const ProgramState& s) { return double(s.settings.displayFontSize); };
    const Case cases[] = {
        {PAGE_DISPLAY, "##View angle", "100", angle, 90, true, false, false},
        {PAGE_DISPLAY, "##View angle", "0", angle, 1, true, false, false},
        {PAGE_DISPLAY, "##View angle", "33", angle, 33, true, false, false},
        {PAGE_DISPLAY, "##max_magnitude", "3.0", magnitude, 4, true, false, false},
        {PAGE_DISPLAY, "##max_magnitude", "20", magnitude, 16, true, false, false},
        {PAGE_DISPLAY, "##max_magnitude", "9.5", magnitude, 9.5, true, false, false},
        {PAGE_USER_INTERFACE, "##Font Sz Ctrl", "5", control, 4, false, true, false},
        {PAGE_USER_INTERFACE, "##Font Sz Disp", "25", display, 18, false, false, true},
        {PAGE_USER_INTERFACE, "##Font Sz Disp", "0", display, 0, false, false, true},
    };
    PanelHarness p;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.typed);
        if (p.state.panel.currentPage != c.page) p.goToPage(c.page);
        p.clearFlags();
        p.type(c.field, c.typed);
        EXPECT_EQ(c.value(p.state), c.expected);
        EXPECT_EQ(p.state.requests.viewLimits, c.viewLimits);
        EXPECT_EQ(p.state.redraw.framebufferResized, c.fonts);
        EXPECT_EQ(p.state.changes.labelsChanged, c.labels ? 1 : 0);
    }
    p.clearFlags();
    p.scan();
    p.click("Reset\nFonts");
    EXPECT_EQ(p.state.settings.controlFontScale, 1u);
    EXPECT_EQ(p.state.settings.displayFontSize, 3u);
    EXPECT_TRUE(p.state.redraw.framebufferResized);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);

    // The panel moves to the left on the next frame, and back.
    EXPECT_GT(ImGui::FindWindowByName("Quorvane")->Pos.x, 0.0f);
    p.choose("##combo_left_right", "Left");
    EXPECT_FALSE(p.state.settings.panelOnRight);
    EXPECT_TRUE(p.state.redraw.framebufferResized);
    p.frame();
    EXPECT_EQ(ImGui::FindWindowByName("Quorvane")->Pos.x, 0.0f);
    p.choose("##combo_left_right", "Right");
    EXPECT_TRUE(p.state.settings.panelOnRight);
    p.frame();
    EXPECT_EQ(ImGui::FindWindowByName("Quorvane")->Pos.x, static_cast<float>(p.state.status.displayWidth));
}

TEST(PanelCombos, EveryEntryIsItsOwnPreviewAndSetsItsValue) {
    // Each table's values are distinct, so every value shows its own entry.
    auto distinct = [](const auto&... tables) {
        auto check = [](const auto& table) {
            for (const auto& c : table) EXPECT_STREQ(choiceName(table, c.value), c.name);
        };
        (check(tables), ...);
    };
    distinct(BRIGHTNESS_CHOICES, STARS_GEN_CHOICES, POINT_CAPACITY_CHOICES, VOXEL_CHOICES, TIMEOUT_CHOICES,
             LOOKAHEAD_CHOICES, BACKGROUND_CHOICES, STAR_SHAPE_CHOICES, STAR_LABEL_CHOICES);
    EXPECT_EQ(choiceName(VOXEL_CHOICES, 5u), nullptr);
    // The defaults of the engine and the display are entries of their combos.
    EXPECT_STREQ(choiceName(STARS_GEN_CHOICES, DEFAULT_MAX_STARS_GEN), "10M");
    EXPECT_STREQ(choiceName(POINT_CAPACITY_CHOICES, DEFAULT_POINT_CAPACITY), "3M");
    EXPECT_STREQ(choiceName(VOXEL_CHOICES, DEFAULT_MAX_VOXEL_CHUNKS), "1M");
    EXPECT_STREQ(choiceName(TIMEOUT_CHOICES, DEFAULT_FRAME_TIMEOUT_NS), "40m");
    EXPECT_STREQ(choiceName(LOOKAHEAD_CHOICES, DEFAULT_FRAME_LOOKAHEAD_NS), "100m");

    // Each choice sets its value; those the star field takes with its next
    // pass start one, the others (brightness reaches the display through the
    // uniforms) raise no flag, and neither does the entry already in force.
    struct Case {
        const char* combo;
        const char* entry;
        bool (*took)(const Settings&);
        bool pass;
    };
    const Case cases[] = {
        {"##voxel_count", "4M", [](const Settings& s) { return s.maxVoxelChunks == 64u; }, true},
        {"##star_gen_count", "150K", [](const Settings& s) { return s.maxStarsGen == 150000u; }, true},
        {"##frame_timeout", "1", [](const Settings& s) { return s.frameTimeoutNs == 1000000000u; }, false},
        {"##frame_lookahead", "0", [](const Settings& s) { return s.frameLookaheadNs == 0u; }, false},
        {"##brightness", "2.0", [](const Settings& s) { return s.brightness == 2.0f; }, false},
        {"##combo_background_display", "Low Q",
         [](const Settings& s) { return s.backgroundMode == BackgroundMode::LowQuality; }, true},
        {"##combo_mid_star_shape_display", "Circle",
         [](const Settings& s) { return s.starShape == StarShape::Circle; }, true},
        {"##combo_mid_star_shape_display", "Circle",
         [](const Settings& s) { return s.starShape == StarShape::Circle; }, false},
    };
    PanelHarness p;
    p.goToPage(PAGE_DISPLAY_TWEAKS);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.combo) + " " + c.entry);
        p.clearFlags();
        p.choose(c.combo, c.entry);
        EXPECT_TRUE(c.took(p.state.settings));
        EXPECT_EQ(p.state.changes.settingsChanged, c.pass ? 1 : 0);
        EXPECT_EQ(p.state.changes.any(), c.pass);
    }
}

// Each page's help toggle and sub-pages ask for their block, and the text
// view composes that block from the right text.
TEST(PanelPages, HelpTogglesAndTextBlocks) {
    PanelHarness p;
    auto shown = [&] {
        TextSource source;
        EXPECT_TRUE(composeTextBlock(TextView{}, p.state, *p.engine, p.state.panel.textBlockId, source));
        return source.text;
    };
    for (int page = 0; page < PAGE_COUNT; ++page) {
        p.goToPage(page);
        const bool hasHelp = p.has(PanelHarness::id(" ? ##help"));
        EXPECT_EQ(hasHelp, page != PAGE_LICENSES && page != PAGE_CREDITS) << PAGE_NAMES[page];
        if (!hasHelp) continue;
        p.click(" ? ##help");
        EXPECT_TRUE(p.state.panel.helpShown);
        EXPECT_EQ(p.state.panel.textBlockId, helpBlockOf(page));
        EXPECT_EQ(shown(), helpText(page)) << PAGE_NAMES[page];
        p.click(" ? ##help");
        EXPECT_FALSE(p.state.panel.helpShown);
    }
    p.goToPage(PAGE_LICENSES);
    EXPECT_EQ(p.state.panel.textBlockId, LICENCE_BLOCK_ID);
    EXPECT_EQ(shown(), licencesText());
    p.goToPage(PAGE_INFORMATION);
    for (int sub = 0; sub < INFO_PAGE_COUNT; ++sub) {
        p.choose("##combo2", INFO_PAGE_NAMES[sub]);
        EXPECT_EQ(p.state.panel.infoPage, sub);
        EXPECT_EQ(p.state.panel.textBlockId, INFO_BLOCK_IDS[sub]);
        EXPECT_NE(shown().find(INFO_PAGE_NAMES[sub]), std::string::npos) << INFO_PAGE_NAMES[sub];
    }
    p.goToPage(PAGE_CREDITS);
    EXPECT_EQ(p.state.panel.textBlockId, 0);
}

TEST(PanelNavigation, ButtonsActWhileHeldRequestTheStateActionsAndKeepBookmarks) {
    PanelHarness p;
    p.goToPage(PAGE_NAVIGATION);
    struct Held {
        const char* label;
        int32_t Viewpoint::*input;
        int32_t value;
    };
    for (const Held& h : {Held{"up", &Viewpoint::pitchInput, -1}, Held{"down", &Viewpoint::pitchInput, 1},
                          Held{"left", &Viewpoint::rollInput, -1}, Held{"right", &Viewpoint::rollInput, 1},
                          Held{"Go", &Viewpoint::goInput, 1}}) {
        // Navigation clears the inputs after each frame: the button sets them again in each.
        p.feed({p.onto(PanelHarness::id(h.label)), DOWN});
        for (int frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(p.state.view.*h.input, h.value) << h.label << " frame " << frame;
            p.state.view.*h.input = 0;
            p.frame();
        }
        p.feed({UP});
        p.state.view.*h.input = 0;
        p.frame();
        EXPECT_EQ(p.state.view.*h.input, 0) << h.label << " after release";
    }

    p.state.view.speedLevel = 49;
    p.click("+ ");
    p.click("+ ");
    EXPECT_EQ(p.state.view.speedLevel, 50);
    p.click("- ");
    EXPECT_EQ(p.state.view.speedLevel, 49);

    p.click("Save");
    EXPECT_TRUE(p.state.requests.save);
    p.click("Load");
    EXPECT_TRUE(p.state.requests.load);
    p.click("Reset");
    EXPECT_TRUE(p.state.requests.reset);

    // The bookmarks: Add twice in a row (each named "Place N" while no star is
    // selected), Rename, Go back to one, Delete; the file follows every change.
    const TempFolder folder("starloom-panel-marks");
    p.state.bookmarksPath = folder.at("bookmarks.txt");
    auto names = [&] {  // of the bookmarks in the file, a "NAME<tab>PLACE" line each
        std::vector<std::string> out;
        for (const std::string& line : lines(readFile(p.state.bookmarksPath)))
            out.push_back(line.substr(0, line.find('\t')));
        return out;
    };
    const std::string here = currentLocationText(p.state);
    p.click("Add##bookmark");
    p.scan();
    p.click("Add##bookmark");
    EXPECT_EQ(names(), (std::vector<std::string>{"Place 1", "Place 2"}));
    EXPECT_EQ(p.state.panel.chosenBookmark, 1);
    EXPECT_STREQ(p.state.panel.bookmarkName, "Place 2");
    p.scan();
    p.type("##bookmark_name", "Near home");
    EXPECT_EQ(names(), (std::vector<std::string>{"Place 1", "Near home"}));

    p.state.view.position[0].integer += 1000000;
    p.scan();
    p.click("Go##bookmark");
    EXPECT_EQ(currentLocationText(p.state), here);
    EXPECT_EQ(p.state.history.back.size(), 1u);
    p.scan();
    p.state.changes.labelsChanged = 0;
    p.click("Delete##bookmark");
    EXPECT_EQ(names(), (std::vector<std::string>{"Place 1"}));
    EXPECT_EQ(p.state.panel.chosenBookmark, -1);
    EXPECT_EQ(p.state.changes.labelsChanged, 1) << "the marks on the sky follow the list";
    // "Show on the sky" turns the marks off and on.
    p.state.changes.labelsChanged = 0;
    p.scan();
    p.click("Show on the sky");
    EXPECT_FALSE(p.state.settings.bookmarksOnSky);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);
}

// Messages are broken at spaces; a word longer than a line after a "/",
// "-" or "_", else where the line is full, but never inside a number.
TEST(PanelMessages, WrappedAtWordsAndNeverInsideANumber) {
    struct Case {
        const char* text;
        size_t columns;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"Flying to X-GFVXPDD-1: 7.35259007 pc.", 23, {"Flying to X-GFVXPDD-1:", "7.35259007 pc."}},
        {"Screenshot saved: ~/Pictures/Starloom/Starloom-2031-02-03-04-05-06.png", 23,
         {"Screenshot saved:", "~/Pictures/Starloom/", "Starloom-2031-02-03-04-", "05-06.png"}},
        {"at 12345.678 pc", 10, {"at", "12345.678", "pc"}},
        {"1234567890123", 5, {"12345", "67890", "123"}},  // a number longer than a line must break
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"  two   spaces  ", 23, {"two spaces"}},
        {"", 23, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(wrapMessage(c.text, c.columns), c.lines) << c.text;
}

TEST(PanelNavigation, SpeedInItsThreeFormats) {
    // Speed factor 1e12 is one parsec per second; below level 30 as mantissa
    // and power (level 29 is 500 x 10^-6).
    const std::pair<int, const char*> cases[] = {
        {40, "s:      1 pc/s"},  {50, "s:   1000 pc/s"},  {45, "s:     32 pc/s"},  {39, "s:  0.500 pc/s"},
        {30, "s:  0.001 pc/s"},  {29, "s:500e-06 pc/s"},  {25, "s: 32e-06 pc/s"},  {20, "s:  1e-06 pc/s"},
        {0, "s:  1e-12 pc/s"},   {-1, "s:500e-15 pc/s"},  {-10, "s:  1e-15 pc/s"}, {-150, "s:  1e-57 pc/s"}};
    for (const auto& [level, text] : cases) EXPECT_EQ(speedText(level), text) << level;
}

TEST(PanelNavigation, HeadingMarkAndTilt) {
    EXPECT_NEAR(headingDegrees({0, 1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(headingDegrees({1, 0, 0}), 90.0, 1e-12);
    EXPECT_NEAR(headingDegrees({-1, 0, 0}), 270.0, 1e-12);
    const double h = std::sqrt(0.5);
    EXPECT_NEAR(markDegrees({0, h, h}), 45.0, 1e-9);
    EXPECT_NEAR(markDegrees({0, 0, -1}), -90.0, 1e-12);
    // Looking along +y: leaning right (towards +x), upside down.
    EXPECT_NEAR(tiltDegrees({0, 1, 0}, {1, 0, 0}), 90.0, 1e-12);
    EXPECT_NEAR(std::fabs(tiltDegrees({0, 1, 0}, {0, 0, -1})), 180.0, 1e-12);
    // Looking straight up the reference is +y.
    EXPECT_NEAR(std::fabs(tiltDegrees({0, 0, 1}, {1, 0, 0})), 90.0, 1e-12);
}

// Search lists the stars; a line of the list selects one (the view turns to
// it), Copy puts its name on the clipboard, Go flies there, the information
// toggle shows its block and Clear forgets them all. Go and Copy do nothing
// while no star is selected.
TEST(PanelCatalog, SearchSelectCopyGoAndClear) {
    PanelHarness p;
    const int64_t* at = DEFAULT_VIEWPOINT;
    runToCompletion(*p.engine, at);
    p.goToPage(PAGE_CATALOG);
    ImGui::SetClipboardText("before");
    p.click("Go");
    p.click("Copy##name");
    EXPECT_FALSE(p.state.view.flyingToTarget);
    EXPECT_STREQ(ImGui::GetClipboardText(), "before");
    EXPECT_TRUE(p.state.status.message.empty());

    p.click("Search");
    ASSERT_EQ(p.engine->searchResults.size(), 100u);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);
    EXPECT_FALSE(p.state.panel.hasSelection);
    for (int a = 0; a < 3; ++a) EXPECT_EQ(p.state.panel.lastSearchPosition[a], at[a]);
    p.scan();
    p.press(PanelHarness::listLine(-1));
    EXPECT_FALSE(p.state.view.turningToTarget);
    EXPECT_FALSE(p.state.panel.hasSelection);
    const SearchResult third = p.engine->searchResults[2];
    p.press(PanelHarness::listLine(2));
    ASSERT_TRUE(isSelected(p.state, third.star));
    expectHeadingFor(p.state.view, third, at, false);

    p.scan();
    p.click("Copy##name");
    EXPECT_STREQ(ImGui::GetClipboardText(), third.name);
    p.click("Go");
    expectHeadingFor(p.state.view, third, at);
    p.click(" i ##info");
    EXPECT_TRUE(p.state.panel.infoShown);
    EXPECT_EQ(p.state.panel.textBlockId, STAR_INFO_BLOCK_ID);

    p.clearFlags();
    p.click("Clear");
    EXPECT_TRUE(p.engine->searchResults.empty());
    EXPECT_FALSE(p.state.panel.hasSelection);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);
    EXPECT_EQ(p.state.panel.textBlockId, 0);  // no star: no information block
}

TEST(PanelCatalog, FindTurnsAndFliesToANamedStarAndLabelChoicesFlagTheLabels) {
    PanelHarness p;
    p.goToPage(PAGE_CATALOG);
    const SearchResult star = starNearby(*p.engine, 40);

    // A malformed name and a star number beyond its voxel's count: a
    // message, nothing else.
    const std::string before = viewOf(p.state), place = currentLocationText(p.state);
    const std::string name = star.name;
    for (const std::string& bad : {std::string("X-GFV XPDD-1"), name.substr(0, name.rfind('-') + 1) + "60000"}) {
        p.state.status.message.clear();
        p.type("##find", bad.c_str());
        EXPECT_FALSE(p.state.status.message.empty()) << bad;
        EXPECT_EQ(viewOf(p.state), before);
    }
    EXPECT_NE(p.state.status.message.find("holds"), std::string::npos) << p.state.status.message;

    // Enter in the field finds, and so does the button; the place itself
    // changes only as the flight goes.
    p.type("##find", star.name);
    EXPECT_STREQ(p.state.panel.findText, star.name);
    EXPECT_NE(p.state.status.message.find(star.name), std::string::npos) << p.state.status.message;
    expectHeadingFor(p.state.view, star, DEFAULT_VIEWPOINT);
    EXPECT_EQ(currentLocationText(p.state), place);
    p.state.view.flyingToTarget = p.state.view.turningToTarget = false;
    p.scan();
    p.click("Find");
    expectHeadingFor(p.state.view, star, DEFAULT_VIEWPOINT);

    // The label choices flag the labels and the distance refresh.
    p.clearFlags();
    EXPECT_EQ(p.state.settings.starLabel[0], 1);
    EXPECT_FALSE(labelsShowDistance(p.state.settings));
    p.choose("##sdisptext1", "Distance");
    EXPECT_EQ(p.state.settings.starLabel[1], 2);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);
    EXPECT_TRUE(labelsShowDistance(p.state.settings));
    // With the first choice "(none)" the second is not offered and counts not.
    p.choose("##sdisptext0", "(none)");
    EXPECT_EQ(p.state.settings.starLabel[0], 0);
    EXPECT_FALSE(labelsShowDistance(p.state.settings));
    p.scan();
    EXPECT_FALSE(p.has(PanelHarness::id("##sdisptext1")));
}

TEST(PanelNavigation, CopyAndPasteAPlaceAnotherGalaxyOrAStarName) {
    PanelHarness p;
    p.goToPage(PAGE_CATALOG);
    p.click("Search");
    ASSERT_GT(p.engine->searchResults.size(), 0u);
    p.goToPage(PAGE_NAVIGATION);
    p.state.view.position[0].fraction = 0x123456789ABCDEF0u;
    p.state.view.position[2] = {~uint64_t{0}, -42};
    p.click("Copy##place");
    const Viewpoint& v = p.state.view;
    const std::string text =
        encodeLocation({{v.position[0], v.position[1], v.position[2]}, v.forward, v.up, p.engine->settings.seed});
    EXPECT_EQ(ImGui::GetClipboardText(), text);

    // Elsewhere, then Paste: back to the copied place, bit for bit.
    p.state.view.position[1].integer += 123456789;
    p.state.view.forward = {0, 0, 1};
    p.state.view.up = {1, 0, 0};
    p.state.view.flyingToTarget = true;
    p.clearFlags();
    p.click("Paste##place");
    EXPECT_EQ(currentLocationText(p.state), text);
    EXPECT_FALSE(p.state.view.flyingToTarget);
    EXPECT_EQ(p.state.changes.viewpointMoved, 1);
    EXPECT_EQ(p.state.changes.settingsChanged, 0);  // the same galaxy

    // Refused: cut short, changed, foreign. Nothing changes but the message.
    const std::string before = viewOf(p.state);
    for (const std::string& bad : {text.substr(0, text.size() - 1), "X" + text.substr(1), std::string("hello world"),
                                   std::string("")}) {
        ImGui::SetClipboardText(bad.c_str());
        p.state.status.message.clear();
        p.clearFlags();
        p.click("Paste##place");
        EXPECT_FALSE(p.state.status.message.empty()) << bad;
        EXPECT_EQ(viewOf(p.state), before);
        EXPECT_FALSE(p.state.changes.any()) << bad;
    }
    ASSERT_FALSE(p.engine->searchResults.empty());  // the same galaxy keeps its search results

    // A place in the galaxy of another seed: the seed changes, the star field
    // must regenerate, and the old galaxy's search results go.
    Location other{{{0, 1}, {0, 2}, {0, 3}}, {0, 1, 0}, {0, 0, 1}, GalaxySeed{77, 88}};
    ImGui::SetClipboardText(encodeLocation(other).c_str());
    p.clearFlags();
    p.click("Paste##place");
    EXPECT_EQ(p.state.settings.seed, (GalaxySeed{77, 88}));
    EXPECT_EQ(p.state.changes.settingsChanged, 1);
    EXPECT_EQ(p.state.changes.labelsChanged, 1);
    EXPECT_TRUE(p.engine->searchResults.empty());
    EXPECT_EQ(p.state.view.position[2].integer, 3);
    EXPECT_NE(p.state.status.message.find("77 88"), std::string::npos) << p.state.status.message;

    // A star's name of this galaxy: next to it (how the view arrives is the navigation tests').
    for (int a = 0; a < 3; ++a) p.state.view.position[a].integer = DEFAULT_VIEWPOINT[a];
    const SearchResult star = starNearby(*p.engine, 5, p.state.settings.seed);
    ImGui::SetClipboardText((std::string("  ") + star.name + "\n").c_str());
    p.click("Paste##place");
    const int64_t at[3] = {star.star.x, star.star.y, star.star.z};
    double squared = 0;
    for (int a = 0; a < 3; ++a) squared += std::pow(static_cast<double>(at[a] - p.state.view.position[a].integer), 2);
    EXPECT_NEAR(std::sqrt(squared), FLY_TO_STOP_DISTANCE, 2.0);
    EXPECT_NE(p.state.status.message.find(star.name), std::string::npos) << p.state.status.message;
}

// Every jump remembers the place it leaves; Back returns there and Forward
// goes again, until a new jump takes another way; at most HISTORY_STEPS
// places back, the oldest going first. A place of another galaxy brings its
// seed back with it. Checked against a list of the places visited and the
// ship's place in it, over jumps, Backs and Forwards drawn at random: jumps
// likelier in the first half, Backs in the second.
TEST(PanelNavigation, BackAndForwardFollowTheJumps) {
    PanelHarness p;
    std::vector<std::pair<int64_t, uint32_t>> visited{{p.state.view.position[0].integer, p.state.settings.seed.first}};
    size_t at = 0, deepest = 0, refused = 0;
    std::mt19937 random(25);
    std::string message;
    for (int step = 0; step < 600; ++step) {
        const char action = (step < 300 ? "JJJBF" : "JBBBF")[random() % 5];  // Jump, Back, Forward
        if (action == 'J') {
            const std::pair<int64_t, uint32_t> place{100 + step, random() % 2 == 0 ? 1 : 9};
            const Location to{{{0, place.first}, {0, 2}, {0, 3}}, {0, 1, 0}, {0, 0, 1}, GalaxySeed{place.second, 3}};
            EXPECT_TRUE(goToPlace(p.state, *p.engine, encodeLocation(to), message));
            visited.resize(at + 1);
            visited.push_back(place);
            if (visited.size() > HISTORY_STEPS + 1) visited.erase(visited.begin());
            at = visited.size() - 1;
        } else {
            const bool back = action == 'B', possible = back ? at > 0 : at + 1 < visited.size();
            EXPECT_EQ(back ? goBack(p.state, *p.engine, message) : goForward(p.state, *p.engine, message), possible);
            at = !possible ? at : back ? at - 1 : at + 1;
            refused += !possible;
        }
        deepest = std::max(deepest, at);
        ASSERT_EQ(p.state.view.position[0].integer, visited[at].first) << "step " << step << ": " << message;
        ASSERT_EQ(p.state.settings.seed.first, visited[at].second) << "step " << step;
    }
    EXPECT_EQ(deepest, HISTORY_STEPS);
    EXPECT_GT(refused, 20u);
    // The panel's Back button takes the same way.
    ASSERT_GT(at, 0u);
    p.goToPage(PAGE_NAVIGATION);
    p.click("Back");
    EXPECT_EQ(p.state.view.position[0].integer, visited[at - 1].first);
}

// The catalog's orders: nearest first, brightest first, by population and
// then nearest; ties keep the search's order.
TEST(PanelCatalog, SortsByDistanceBrightnessAndPopulation) {
    // Parsecs, absolute magnitude and population; apparent magnitudes 5, 6, 0 and 5.
    const int stars[][3] = {{10, 5, 2}, {1, 11, 1}, {100, -5, 1}, {10, 5, 0}};
    std::vector<SearchResult> results(4);
    std::vector<double> absolute;
    for (size_t i = 0; i < 4; ++i) {
        results[i].star.x = static_cast<int64_t>(stars[i][0] / UNIT_PARSECS_DOUBLE);
        results[i].star.population = static_cast<uint8_t>(stars[i][2]);
        absolute.push_back(stars[i][1]);
    }
    const int64_t origin[3] = {0, 0, 0};
    const std::pair<int, std::vector<size_t>> cases[] = {
        {SORT_DISTANCE, {1, 0, 3, 2}}, {SORT_BRIGHTNESS, {2, 0, 3, 1}}, {SORT_POPULATION, {3, 1, 2, 0}}};
    for (const auto& [sort, expected] : cases) {
        const std::vector<CatalogRow> rows = sortedCatalog(results, absolute, origin, sort);
        std::vector<size_t> order;
        for (const CatalogRow& r : rows) order.push_back(r.index);
        EXPECT_EQ(order, expected) << sort;
        if (sort != SORT_BRIGHTNESS) continue;
        EXPECT_NEAR(rows[0].magnitude, 0.0, 1e-9);
        EXPECT_NEAR(rows[0].parsecs, 100.0, 1e-9);
    }
}


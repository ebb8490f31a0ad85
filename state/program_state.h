// The state the control panel edits, split by meaning: the settings, the
// viewpoint, the panel's own widgets, what the panel asks the program to do,
// what must be redone after a change, and what the program reports back for
// the panel to show. Plain structs with no window, renderer or panel in them,
// so that the panel, the save file, starloom-cli and the tests can all work
// on them alone.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "starfield/navigation.h"
#include "starfield/search_result.h"
#include "state/bookmarks.h"
#include "state/place_history.h"
#include "state/settings.h"

// The panel's own widgets: which page and text block it shows, the catalog's
// selection and the texts of its fields and messages.
struct PanelState {
    int currentPage = 0;     // index into the page combo
    bool helpShown = false;  // the "?" toggle
    bool infoShown = false;  // the Catalog page's " i ##info" toggle
    int infoPage = 0;        // the Information page's sub-page
    // The selected star, whatever selected it (the catalog's list, Find, a
    // click on the display): the marker and label, the information block, Go
    // and Copy follow it. A list entry is selected when it is this star.
    bool hasSelection = false;
    SearchResult selection;
    int sortChoice = 0;      // the catalog's sort order (SORT_CHOICES)
    // The Navigation page's bookmarks: the chosen one (-1: none) and the
    // fields that rename it and hold its note.
    int chosenBookmark = -1;
    char bookmarkName[64]{};
    char bookmarkNote[256]{};
    int64_t lastSearchPosition[3]{};
    char findText[64]{};       // the Catalog page's "Find:" field
    // The text block shown this frame (help screen, information page,
    // licences, star information; 0: none), and whether the block of that id
    // must be laid out again although its id did not change.
    int textBlockId = 0;
    bool refreshTextBlock = false;
    bool flightHint = false;       // the first start's line on how to fly, until a key is pressed
    int width = 0;                 // the panel's width, pixels
    float charSize[2]{};           // width of "0" in whole pixels, line height
};

// What the panel asks the program to do once the panel is built.
struct Requests {
    bool save = false, load = false, reset = false;  // the Navigation page's buttons
    bool viewLimits = false;  // the magnitude or the view angle changed: new view limits and display constants
    bool screenshot = false;  // F12
    bool quit = false;        // "Quit/save" or "Quit/nosave"
    bool quitWithoutSaving = false;  // "Quit/nosave"
    bool back = false, forward = false;  // Backspace: the place before the last jump
};

// The change flags a star-field pass consumes, in hand-off order.
struct ChangeFlags {
    uint8_t viewpointMoved;
    uint8_t settingsChanged;
    uint8_t swapChainRecreated;
    uint8_t labelsChanged;

    bool any() const { return viewpointMoved | settingsChanged | swapChainRecreated | labelsChanged; }
};

// What the renderer must redo.
struct RedrawFlags {
    bool framebufferResized = false;    // a new window size, panel side or control font scale
    bool rebuildDevicePipelines = false;  // after applying settings: rebuild the swap chain and pipelines
    bool stars = false;  // re-record the star draws
    bool panel = false;  // re-record the panel draws
};

// What the program reports for the panel to show.
struct ProgramStatus {
    std::string version;
    int framebufferWidth = 0, framebufferHeight = 0;
    int displayWidth = 0, displayHeight = 0;  // the star display, both odd
    float framesPerSecond = 0;  // of the last two frames drawn back to back
    uint32_t starsDisplayed = 0;  // points on display, from the last collected pass
    uint64_t now = 0;           // the real-time clock of the frame, nanoseconds
    std::string lastError;      // of the save file's last load or save
    // What the last action did (a copy, a paste, a find, a save, a
    // screenshot), shown in the panel's message area until messageUntil.
    std::string message;
    uint64_t messageUntil = 0;  // real-time clock, nanoseconds
};

// How long a message stays in the panel.
inline constexpr uint64_t MESSAGE_SHOWN_NS = 10'000'000'000ull;

struct ProgramState {
    Settings settings;
    Viewpoint view{};
    PanelState panel;
    Requests requests;
    ChangeFlags changes{1, 0, 0, 0};  // viewpointMoved starts set
    RedrawFlags redraw;
    ProgramStatus status;
    PlaceHistory history;      // the places jumps left, for Back and Forward
    BookmarkFile bookmarks;    // the bookmarks file's lines
    std::string bookmarksPath; // where they are kept; empty: nowhere (not written)
};

// Shows a message in the panel for MESSAGE_SHOWN_NS from `now` (real-time
// clock, nanoseconds).
inline void showMessage(ProgramState& state, std::string text, uint64_t now) {
    state.status.message = std::move(text);
    state.status.messageUntil = now + MESSAGE_SHOWN_NS;
    state.redraw.panel = true;
}

// The state the control panel edits, split by meaning: the settings, the
// viewpoint, the panel's own widgets, what the panel asks the program to do,
// what must be redone after a change, and what the program reports back for
// the panel to show. Plain structs with no window, renderer or panel in them,
// so that the panel, the save file, starloom-cli and the tests can all work
// on them alone.
#pragma once

#include <cstdint>
#include <string>

#include "starfield/navigation.h"
#include "state/settings.h"

// The panel's own widgets: which page and text block it shows, the catalog's
// selection and the texts of its fields and messages.
struct PanelState {
    int currentPage = 0;     // index into the page combo
    bool helpShown = false;  // the "?" toggle
    bool infoShown = false;  // the Catalog page's " i ##info" toggle
    int infoPage = 0;        // the Information page's sub-page
    int selectedResult = -1;  // index of the selected search result; -1: none ("(unselected)")
    int sortChoice = 0;      // the catalog's sort order: "Distance"
    int64_t lastSearchPosition[3]{};
    char findText[64]{};       // the Catalog page's "Find:" field
    std::string findMessage;   // what the last Find or Copy of a name did
    std::string placeMessage;  // what the Navigation page's last Copy or Paste did
    // The text block shown this frame (help screen, information page,
    // licences, star information; 0: none), and whether the block of that id
    // must be laid out again although its id did not change.
    int textBlockId = 0;
    bool refreshTextBlock = false;
    bool hideStarDisplay = false;  // the text block leaves the stars no room
    int helpMargin = 0;            // width of an open text block beside the panel, pixels
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
    // Where the last screenshot went, or why it failed, until screenshotShownUntil.
    std::string screenshotMessage;
    uint64_t screenshotShownUntil = 0;
};

struct ProgramState {
    Settings settings;
    Viewpoint view{};
    PanelState panel;
    Requests requests;
    ChangeFlags changes{1, 0, 0, 0};  // viewpointMoved starts set
    RedrawFlags redraw;
    ProgramStatus status;
};

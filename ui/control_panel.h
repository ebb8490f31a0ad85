// The control panel: a Dear ImGui window in a vertical strip beside the star
// display, with ten pages chosen by a combo. It writes what the user changes
// into the ProgramState (settings, viewpoint, requests and change flags) and
// asks the star-field engine for what it shows: the catalog search and its
// results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "numeric/vec3.h"
#include "text/help_texts.h"
#include "text/info_pages.h"
#include "text/licences.h"
#include "text/star_info.h"

struct ProgramState;
struct StarField;
struct TextView;
struct PanelInput;

// The pages, in the combo's order.
enum PanelPage {
    PAGE_HOME,
    PAGE_CONTROLS,
    PAGE_NAVIGATION,
    PAGE_DISPLAY,
    PAGE_CATALOG,
    PAGE_USER_INTERFACE,
    PAGE_DISPLAY_TWEAKS,
    PAGE_INFORMATION,
    PAGE_LICENSES,
    PAGE_CREDITS,
    PAGE_COUNT
};
extern const char* const PAGE_NAMES[PAGE_COUNT];
// The text block of a page's help screen; 0 for the pages without one.
int helpBlockOf(int page);

// The panel's Dear ImGui context: no layout file, the control font scale,
// the dark style with 10 pixels between items. One exists for the run.
void createPanelContext(uint32_t controlFontScale);
void destroyPanelContext();

// Sets the control font scale and measures the panel: charSize gets the width
// of "0" rounded up to whole pixels and the line height; the result is the
// panel's width, two window paddings and 23 characters (before the one pixel
// that keeps the star display's width odd).
int measurePanel(ProgramState& state);

// True while a panel widget has the keyboard (a text field is being edited):
// the flight keys must then leave the ship alone.
bool panelWantsKeyboard();
// True when a mouse press or wheel turn with the pointer at (x, y) (window
// pixels) is the panel's: one of its windows is there, or a combo's list is
// open. Decided from where the pointer is at the event, not where it stood
// when the last frame was built: a press right after the pointer left the
// panel is the star display's. (A drag that began on the panel is the
// panel's anyway: the display only takes presses made on it.)
bool panelWantsMouseAt(float x, float y);

// Main thread, just before the panel worker starts: the window system's part
// of the new frame (display size, time) and the frame's share of the queued
// input, which must run on the thread that owns the window.
void preparePanelFrame(PanelInput& input);

// One frame of the panel, from NewFrame to Render. Runs on the panel worker
// while the main thread waits, and once on the main thread at start-up.
// With a text view, the text block a page asks for is laid out and shown.
void buildControlPanel(ProgramState& state, StarField& engine, TextView* text);

// The panel's windows inside a frame that the caller has begun (the tests
// drive it with a Dear ImGui context of their own).
void drawPanel(ProgramState& state, StarField& engine, TextView* text = nullptr);

// The panel's width in characters of the control font, and the lines of its
// message area that are kept free whether or not a message shows.
inline constexpr size_t PANEL_COLUMNS = 23;
inline constexpr size_t MESSAGE_LINES = 1;

// A message broken into lines of at most `columns` characters: at spaces;
// a word longer than a line after its last "/", "-" or "_" that fits, else
// where the line is full but never inside a number.
std::vector<std::string> wrapMessage(std::string_view text, size_t columns);

// One row of the catalog's list: the found star (its index in the results),
// its distance from the viewpoint in parsecs and its apparent magnitude.
struct CatalogRow {
    size_t index = 0;
    double parsecs = 0;
    double magnitude = 0;
};
// The rows of the list in the order of a "Sort:" choice (SORT_CHOICES):
// nearest first, brightest (smallest apparent magnitude) first, or by
// population and within one nearest first; ties keep the search's order.
// `absoluteMagnitudes` holds one per result.
std::vector<CatalogRow> sortedCatalog(const std::vector<SearchResult>& results,
                                      const std::vector<double>& absoluteMagnitudes, const int64_t viewpoint[3],
                                      int sortChoice);

// What the Navigation page shows. The speed of a level in parsecs per
// second: for levels of 40 and above "s:%7.0lf pc/s", from 30
// "s:%7.3lf pc/s", below as mantissa and power of ten, "s:%3de%03d pc/s".
std::string speedText(int32_t speedLevel);
// Compass heading of forward, 0 to 360 degrees (0 along +y, 90 along +x).
double headingDegrees(Vec3d forward);
// Elevation of forward above the galactic plane, -90 to 90 degrees.
double markDegrees(Vec3d forward);
// Roll of up about forward, -180 to 180 degrees: 0 when up leans towards +z
// (towards +y when forward is vertical), positive turning clockwise as seen
// along forward.
double tiltDegrees(Vec3d forward, Vec3d up);

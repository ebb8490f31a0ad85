// The control panel: a Dear ImGui window in a vertical strip beside the star
// display. It reads and writes the AppState only; what it asks of the rest of
// the program it writes there as settings and change flags.
#pragma once

#include <cstdint>

struct AppState;

// The panel's Dear ImGui context: no layout file, the control font scale,
// the dark style with 10 pixels between items. One exists for the run.
void createPanelContext(uint32_t controlFontScale);
void destroyPanelContext();

// Sets the control font scale and measures the panel: charSize gets the width
// of "0" rounded up to whole pixels and the line height; the result is the
// panel's width, two window paddings and 23 characters (before the one pixel
// that keeps the star display's width odd).
int measurePanel(AppState& state);

// True while a panel widget has the keyboard (a text field is being edited):
// the flight keys must then leave the ship alone.
bool panelWantsKeyboard();

// Main thread, just before the panel worker starts: the window system's part
// of the new frame (input, display size), which must run on the thread that
// owns the window.
void preparePanelFrame();

// One frame of the panel, from NewFrame to Render. Runs on the panel worker
// while the main thread waits, and once on the main thread at start-up.
void buildControlPanel(AppState& state);

// What the mouse does to the star display: a drag with the left button turns
// the view (with Shift: rolls it), the wheel steps the speed level (with Ctrl:
// the view angle), and a click (press and release without a drag) asks to
// select the star under the pointer. Never while the pointer is over the
// panel or the panel has the mouse (a combo's list, a text block, a drag
// that began on the panel).
#pragma once

#include "render/imgui_backend.h"
#include "state/program_state.h"

// Pixels the pointer may move between press and release and still click.
inline constexpr double CLICK_SLOP = 3.0;

// The star display's place in the window, pixels.
struct DisplayArea {
    double x = 0, y = 0;
    int width = 1, height = 1;
};

// The left button's story since it went down on the star display.
struct MouseState {
    bool pressed = false;   // went down on the display, not yet up
    bool dragging = false;  // moved beyond CLICK_SLOP since
    double pressX = 0, pressY = 0;  // window pixels
    double lastX = 0, lastY = 0;    // the pointer, window pixels
    bool known = false;             // lastX, lastY hold a place
};

struct MouseOutcome {
    bool click = false;          // a click on the display at (x, y)
    double x = 0, y = 0;         // display pixels
};

// One window event (mods: GLFW's modifier bits as they stood). panelHasMouse:
// the panel wants the mouse.
MouseOutcome applyMouseEvent(ProgramState& state, MouseState& mouse, const PanelEvent& event, int mods,
                             bool panelHasMouse, const DisplayArea& area);

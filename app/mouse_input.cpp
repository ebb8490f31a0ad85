#include "app/mouse_input.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>

namespace {

bool inside(const DisplayArea& a, double x, double y) {
    return x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height;
}

DisplayView viewOf(const ProgramState& s, const DisplayArea& a) {
    DisplayView v;
    v.forward = s.view.forward;
    v.up = s.view.up;
    v.viewAngle = s.settings.viewAngle;
    v.width = a.width;
    v.height = a.height;
    return v;
}

}  // namespace

MouseOutcome applyMouseEvent(ProgramState& s, MouseState& mouse, const PanelEvent& event, int mods,
                             bool panelHasMouse, const DisplayArea& area) {
    MouseOutcome out;
    switch (event.kind) {
        case PanelEvent::CURSOR: {
            const double x = event.x, y = event.y;
            if (mouse.pressed && !mouse.dragging && std::hypot(x - mouse.pressX, y - mouse.pressY) > CLICK_SLOP) {
                mouse.dragging = true;
            }
            if (mouse.pressed && mouse.dragging && mouse.known) {
                dragView(s.view, viewOf(s, area), mouse.lastX - area.x, mouse.lastY - area.y, x - area.x, y - area.y,
                         (mods & GLFW_MOD_SHIFT) != 0, s.view.capsLock);
                s.redraw.stars = true;
            }
            mouse.lastX = x;
            mouse.lastY = y;
            mouse.known = true;
            break;
        }
        case PanelEvent::BUTTON: {
            if (event.code != GLFW_MOUSE_BUTTON_LEFT) break;
            if (event.down) {
                mouse.pressed = mouse.known && !panelHasMouse && inside(area, mouse.lastX, mouse.lastY);
                mouse.dragging = false;
                mouse.pressX = mouse.lastX;
                mouse.pressY = mouse.lastY;
                if (mouse.pressed) s.panel.flightHint = false;
            } else {
                if (mouse.pressed && !mouse.dragging) {
                    out.click = true;
                    out.x = mouse.pressX - area.x;
                    out.y = mouse.pressY - area.y;
                }
                mouse.pressed = mouse.dragging = false;
            }
            break;
        }
        case PanelEvent::SCROLL: {
            if (panelHasMouse || !mouse.known || !inside(area, mouse.lastX, mouse.lastY) || event.y == 0) break;
            const int steps = event.y > 0 ? 1 : -1;
            if ((mods & GLFW_MOD_CONTROL) != 0) {
                // Up narrows the view (closer in), down widens it.
                const double angle = std::clamp(s.settings.viewAngle - steps, VIEW_ANGLE_MIN, VIEW_ANGLE_MAX);
                if (angle != s.settings.viewAngle) {
                    s.settings.viewAngle = angle;
                    s.requests.viewLimits = true;
                }
            } else {
                s.view.speedLevel = std::clamp(s.view.speedLevel + steps, MIN_SPEED_LEVEL, MAX_SPEED_LEVEL);
            }
            s.redraw.panel = true;
            break;
        }
        case PanelEvent::LEAVE:
            mouse.known = false;
            break;
        default: break;
    }
    return out;
}

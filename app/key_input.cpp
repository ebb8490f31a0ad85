#include "app/key_input.h"

#include <GLFW/glfw3.h>

KeyOutcome applyKeyEvent(ProgramState& s, int key, int action, int mods, bool panelWantsKeyboard) {
    KeyOutcome out;
    const bool valid = key >= 0 && key < navkey::COUNT;
    if (action == GLFW_PRESS) s.panel.flightHint = false;
    if (panelWantsKeyboard) {
        out.toFlight = action == GLFW_RELEASE && valid;
        return out;
    }
    const bool pressed = action == GLFW_PRESS && valid;
    out.toFlight = valid && (pressed || action == GLFW_RELEASE);
    s.view.capsLock = (mods & GLFW_MOD_CAPS_LOCK) != 0;
    // The toggles act on their own key's press, never on repeats or on other
    // keys' events while they are held.
    if (pressed && key == navkey::C) s.settings.showCrosshair = !s.settings.showCrosshair;
    if (pressed && key == GLFW_KEY_F12) s.requests.screenshot = true;
    if (pressed && key == GLFW_KEY_BACKSPACE) s.requests.back = true;
    out.toggleFullScreen = pressed && key == navkey::EQUAL;
    return out;
}

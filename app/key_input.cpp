#include "app/key_input.h"

#include <GLFW/glfw3.h>

bool applyKeyEvent(ProgramState& s, bool keyDown[navkey::COUNT], int key, int action, int mods,
                   bool panelWantsKeyboard) {
    const bool valid = key >= 0 && key < navkey::COUNT;
    if (panelWantsKeyboard) {
        // A key let go while a text field has the keyboard is up all the
        // same, or the ship would fly on after the field lets go.
        if (action == GLFW_RELEASE && valid) keyDown[key] = false;
        return false;
    }
    bool pressed = false;
    if (action == GLFW_PRESS && valid) {
        if (key == navkey::COMMA) {
            s.view.speedLevel -= 1;
        } else if (key == navkey::PERIOD && s.view.speedLevel < MAX_SPEED_LEVEL) {
            s.view.speedLevel += 1;
        }
        keyDown[key] = true;
        pressed = true;
    } else if (action == GLFW_RELEASE && valid) {
        keyDown[key] = false;
    }
    s.view.capsLock = (mods & GLFW_MOD_CAPS_LOCK) != 0;
    // The toggles act on their own key's press, never on repeats or on other
    // keys' events while they are held.
    if (pressed && key == navkey::C) s.settings.showCrosshair = !s.settings.showCrosshair;
    if (pressed && key == GLFW_KEY_F12) s.requests.screenshot = true;
    return pressed && key == navkey::EQUAL;
}

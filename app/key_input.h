// What a key event does to the state: Caps Lock, and the cross-hair,
// full-screen and screenshot keys. The keys that fly the ship go to
// navigation, which follows them by their time (starfield/navigation.h).
#pragma once

#include "state/program_state.h"

struct KeyOutcome {
    bool toFlight = false;          // navigation takes the event: a press the panel leaves alone, or any release
    bool toggleFullScreen = false;  // "=" was pressed
};

// Caps Lock's fine aiming, and the cross-hair toggle, screenshot request and Back (Backspace),
// which act on their own key's press only; any press ends the first start's
// hint. While the panel has the keyboard only releases count (they still go
// to navigation, or the ship would fly on after the field lets go).
KeyOutcome applyKeyEvent(ProgramState& state, int key, int action, int mods, bool panelWantsKeyboard);

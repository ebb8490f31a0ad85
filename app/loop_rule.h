// When the main loop draws a frame, and when it waits for window events
// instead. A frame is drawn only when something can change the picture: a
// key held, a navigation under way, a change waiting for a frame, a star-field
// pass to collect or to start, or a window event a moment ago (the panel
// needs a few frames to react to the mouse). While a pass runs and nothing
// else asks for a frame, the loop waits for the pass; when nothing at all can
// change, it rests until an event arrives. A hidden window draws nothing.
#pragma once

#include <cstdint>

// Frames drawn after the last window event, and for at least how long, so
// that the panel can follow a hover or a click through to its result.
inline constexpr uint32_t FRAMES_AFTER_INPUT = 3;
inline constexpr double SECONDS_AFTER_INPUT = 0.25;
// Longest wait for events at rest, and while a pass runs: a wait also ends at
// once when an event arrives.
inline constexpr double REST_WAIT_SECONDS = 0.25;
inline constexpr double PASS_WAIT_SECONDS = 0.005;

// The loop's view of the program, in plain values.
struct LoopSituation {
    bool windowHidden = false;    // iconified, unmapped, or without a framebuffer
    bool keyHeld = false;         // a key is down: navigation reads the keys every frame
    bool inputQueued = false;     // window events wait to be handled or for the panel's next frame
    bool navigating = false;      // a fly-to or turn-to, or a navigation button's input, is under way
    bool changesPending = false;  // change flags, a pass restart, re-recording, a resize or a pipeline rebuild
    bool passRunning = false;     // a star-field pass is running on the worker
    bool passToCollect = false;   // a pass has finished and waits for a frame to collect it
    bool unfinishedWork = false;  // the last pass stopped on its budget and must resume
    uint32_t framesSinceInput = 0;
    double secondsSinceInput = 0;
};

enum class LoopAction {
    Draw,       // draw a frame now
    AwaitPass,  // nothing to draw until the running pass ends: wait briefly for it or for an event
    Rest,       // nothing can change the picture: wait for an event
};

LoopAction nextLoopAction(const LoopSituation& s);

#include "app/loop_rule.h"

LoopAction nextLoopAction(const LoopSituation& s) {
    if (s.windowHidden) return LoopAction::Rest;
    const bool inputRecent = s.framesSinceInput < FRAMES_AFTER_INPUT || s.secondsSinceInput < SECONDS_AFTER_INPUT;
    if (s.keyHeld || s.inputQueued || s.navigating || s.changesPending || s.passToCollect || s.unfinishedWork || inputRecent)
        return LoopAction::Draw;
    if (s.passRunning) return LoopAction::AwaitPass;
    return LoopAction::Rest;
}

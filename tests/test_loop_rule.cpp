// When the main loop may wait for window events instead of drawing.
#include <gtest/gtest.h>

#include "app/loop_rule.h"

namespace {

// The program at rest: the field complete, nothing held, no event for a while.
LoopSituation atRest() {
    LoopSituation s;
    s.framesSinceInput = FRAMES_AFTER_INPUT;
    s.secondsSinceInput = 10;
    return s;
}

TEST(LoopRule, NothingThatCanChangeThePictureMeansRest) {
    EXPECT_EQ(nextLoopAction(atRest()), LoopAction::Rest);
}

// Each of these alone asks for a frame.
TEST(LoopRule, AnythingThatChangesThePictureDraws) {
    const std::pair<const char*, void (*)(LoopSituation&)> reasons[] = {
        {"key held", [](LoopSituation& s) { s.keyHeld = true; }},
        {"events queued", [](LoopSituation& s) { s.inputQueued = true; }},
        {"fly-to or turn-to", [](LoopSituation& s) { s.navigating = true; }},
        {"change waiting", [](LoopSituation& s) { s.changesPending = true; }},
        {"pass to collect", [](LoopSituation& s) { s.passToCollect = true; }},
        {"unfinished pass", [](LoopSituation& s) { s.unfinishedWork = true; }},
        {"event a frame ago", [](LoopSituation& s) { s.framesSinceInput = 0; }},
        {"event two frames ago", [](LoopSituation& s) { s.framesSinceInput = FRAMES_AFTER_INPUT - 1; }},
        {"event a moment ago", [](LoopSituation& s) { s.secondsSinceInput = SECONDS_AFTER_INPUT / 2; }},
    };
    for (const auto& [name, apply] : reasons) {
        LoopSituation s = atRest();
        apply(s);
        EXPECT_EQ(nextLoopAction(s), LoopAction::Draw) << name;
        // Also while a pass runs: the frame does not wait for it.
        s.passRunning = true;
        EXPECT_EQ(nextLoopAction(s), LoopAction::Draw) << name;
    }
}

// The panel gets its frames after an event until both the frame count and the
// time are past: on a slow display three frames take seconds, on a fast one
// a quarter second is many frames.
TEST(LoopRule, FramesAfterAnEventNeedBothCountAndTimeToPass) {
    LoopSituation s = atRest();
    s.framesSinceInput = FRAMES_AFTER_INPUT;
    s.secondsSinceInput = SECONDS_AFTER_INPUT;
    EXPECT_EQ(nextLoopAction(s), LoopAction::Rest);
    s.framesSinceInput = 1;
    EXPECT_EQ(nextLoopAction(s), LoopAction::Draw);
    s.framesSinceInput = 100;
    s.secondsSinceInput = 0.01;
    EXPECT_EQ(nextLoopAction(s), LoopAction::Draw);
}

TEST(LoopRule, ARunningPassAloneIsAwaitedNotDrawn) {
    LoopSituation s = atRest();
    s.passRunning = true;
    EXPECT_EQ(nextLoopAction(s), LoopAction::AwaitPass);
}

TEST(LoopRule, AHiddenWindowNeverDraws) {
    LoopSituation s = atRest();
    s.windowHidden = true;
    s.keyHeld = s.inputQueued = s.navigating = s.changesPending = s.passRunning = s.passToCollect = s.unfinishedWork = true;
    s.framesSinceInput = 0;
    s.secondsSinceInput = 0;
    EXPECT_EQ(nextLoopAction(s), LoopAction::Rest);
}

}  // namespace

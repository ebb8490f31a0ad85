// When the main loop may wait for window events instead of drawing.
#include <gtest/gtest.h>

#include "app/loop_rule.h"

namespace {

// What changes the picture draws, also while a pass runs; a running pass alone
// is awaited; a hidden window never draws. After an event both the frames and
// the time must pass (three frames take seconds on a slow display).
TEST(LoopRule, EachSituationGivesItsActionWithAndWithoutARunningPass) {
    using A = LoopAction;
    constexpr uint32_t F = FRAMES_AFTER_INPUT;  // the frames after an event, past
    constexpr double T = SECONDS_AFTER_INPUT;
    struct Case {
        const char* name;
        LoopSituation s;
        LoopAction idle, passRunning;
    };
    const Case cases[] = {
        {"at rest", {.framesSinceInput = F, .secondsSinceInput = 10}, A::Rest, A::AwaitPass},
        {"key held", {.keyHeld = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"events queued", {.inputQueued = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"fly-to or turn-to", {.navigating = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"change waiting", {.changesPending = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"pass to collect", {.passToCollect = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"unfinished pass", {.unfinishedWork = true, .framesSinceInput = F, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"event two frames ago", {.framesSinceInput = F - 1, .secondsSinceInput = 10}, A::Draw, A::Draw},
        {"event a moment ago", {.framesSinceInput = F, .secondsSinceInput = T / 2}, A::Draw, A::Draw},
        {"event just the frames and the time ago", {.framesSinceInput = F, .secondsSinceInput = T}, A::Rest,
         A::AwaitPass},
        {"event a frame ago, the time past", {.framesSinceInput = 1, .secondsSinceInput = T}, A::Draw, A::Draw},
        {"hidden window, everything else asking",
         {.windowHidden = true, .keyHeld = true, .inputQueued = true, .navigating = true, .changesPending = true,
          .passToCollect = true, .unfinishedWork = true},
         A::Rest, A::Rest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopSituation s = c.s;
        EXPECT_EQ(nextLoopAction(s), c.idle);
        s.passRunning = true;
        EXPECT_EQ(nextLoopAction(s), c.passRunning);
    }
}

}  // namespace

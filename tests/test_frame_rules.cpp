// What the main loop decides each frame: whether it may wait for window
// events instead of drawing, and how the bookmarks marked on the sky are drawn
// (which bookmarks become marks: the bookmarks' tests; the star field's part:
// the labels').
#include <gtest/gtest.h>

#include "app/loop_rule.h"
#include "app/star_field_link.h"

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

// A place within an astronomical unit of the viewpoint is hidden, one ahead is
// drawn with its label; a selected star at a place's position is the star.
TEST(PlaceMarks, DrawnAsPlacesAndHiddenWhereTheViewpointIs) {
    ProgramState state;
    state.status.displayWidth = 801;
    state.status.displayHeight = 601;
    for (int a = 0; a < 3; ++a) state.view.position[a] = {0, 1000};
    state.view.forward = DEFAULT_FORWARD;
    state.view.up = DEFAULT_UP;
    const Vec3d f = DEFAULT_FORWARD;
    const auto ahead = [&](double d, int a) { return static_cast<int64_t>(1000 + d * (a == 0 ? f.x : a == 1 ? f.y : f.z)); };
    StarFieldLink link;
    struct Row {
        double distance;  // position units ahead
        bool place, hidden;
    };
    const Row rows[] = {{0, true, true}, {14959785, true, true}, {14959790, true, false}, {1e12, true, false}, {1e12, false, false}};
    for (const Row& r : rows) {
        for (int a = 0; a < 3; ++a) link.draw.highlightPositions.push_back(ahead(r.distance, a));
        link.draw.labelBoxes.push_back({-20, 8, 20, 20});
    }
    link.draw.highlightCount = 5;
    link.draw.placeMarkCount = 4;
    state.panel.hasSelection = true;
    state.panel.selection.star = {.x = ahead(1e12, 0), .y = ahead(1e12, 1), .z = ahead(1e12, 2)};
    styleHighlights(link, state);
    ASSERT_EQ(link.highlightStyle.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(link.highlightStyle[i].place, rows[i].place);
        EXPECT_EQ(link.highlightStyle[i].hidden, rows[i].hidden);
        EXPECT_EQ(link.highlightStyle[i].selected, i == 4);
        if (rows[i].hidden) {
            EXPECT_FALSE(link.highlightStyle[i].labelShown);
        }
    }
    // The star and the place ahead share a position: the selected star's label wins it.
    EXPECT_TRUE(link.highlightStyle[4].labelShown);
    EXPECT_FALSE(link.highlightStyle[3].labelShown);
}

}  // namespace

// What the main loop decides each frame: whether it may wait for window
// events instead of drawing, and how the bookmarks marked on the sky are drawn
// (which bookmarks become marks: the bookmarks' tests; the star field's part:
// the labels').
#include <gtest/gtest.h>

#include <tuple>

#include "app/loop_rule.h"
#include "app/star_field_link.h"

namespace {

// What changes the picture draws, each alone, also while a pass runs; a
// running pass alone is awaited; a hidden window never draws. After an event
// both the frames and the time must pass (three frames take seconds on a slow
// display).
TEST(LoopRule, EachSituationGivesItsActionWithAndWithoutARunningPass) {
    using A = LoopAction;
    constexpr uint32_t F = FRAMES_AFTER_INPUT;  // the frames after an event, past
    constexpr double T = SECONDS_AFTER_INPUT;
    for (bool LoopSituation::*asks : {&LoopSituation::keyHeld, &LoopSituation::inputQueued, &LoopSituation::navigating,
                                      &LoopSituation::changesPending, &LoopSituation::passToCollect,
                                      &LoopSituation::unfinishedWork, &LoopSituation::windowHidden}) {
        for (const bool running : {false, true}) {
            LoopSituation s{.passRunning = running, .framesSinceInput = F, .secondsSinceInput = 10};
            EXPECT_EQ(nextLoopAction(s), running ? A::AwaitPass : A::Rest);
            s.*asks = true;
            EXPECT_EQ(nextLoopAction(s), asks == &LoopSituation::windowHidden ? A::Rest : A::Draw);
            s.windowHidden = true;
            EXPECT_EQ(nextLoopAction(s), A::Rest);
        }
    }
    // Frames and seconds since the event, and whether a frame is drawn: two
    // frames ago, a moment ago, just the frames and the time ago, a frame ago
    // with the time past.
    const std::tuple<uint32_t, double, bool> events[] = {{F - 1, 10, true}, {F, T / 2, true}, {F, T, false}, {1, T, true}};
    for (const auto& [frames, seconds, draws] : events) {
        for (const bool running : {false, true}) {
            const LoopSituation s{.passRunning = running, .framesSinceInput = frames, .secondsSinceInput = seconds};
            EXPECT_EQ(nextLoopAction(s), draws ? A::Draw : running ? A::AwaitPass : A::Rest) << frames << " " << seconds;
        }
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

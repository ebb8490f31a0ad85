// The bookmarks marked on the sky: which bookmarks become marks, and how
// each frame draws them (the star field's part is in the labels' tests).
#include <gtest/gtest.h>

#include "app/star_field_link.h"
#include "starfield/location_text.h"
#include "state/bookmarks.h"

namespace {

std::string placeAt(int64_t x, GalaxySeed seed) {
    Location place{{{0, x}, {7, -x}, {0, 3}}, {0, 1, 0}, {0, 0, 1}, seed};
    return encodeLocation(place);
}

TEST(PlaceMarks, BookmarksOfThisGalaxyInTheFilesOrder) {
    const GalaxySeed here{}, elsewhere{5, 9};
    const std::string longName = std::string(38, 'x') + "\xC3\xA9";  // 40 bytes, the last character two
    BookmarkFile file;
    std::vector<std::string> problems;
    parseBookmarks("# comment\nFar\t" + placeAt(900, here) + "\nOther galaxy\t" + placeAt(5, elsewhere) +
                       "\nbroken line\n" + longName + "\t" + placeAt(-4, here) + "\tnote\n",
                   "test", file, problems);
    EXPECT_EQ(problems.size(), 1u);
    const std::vector<SearchResult> marks = bookmarkMarks(file, here);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_STREQ(marks[0].name, "Far");
    EXPECT_EQ(marks[0].star.x, 900);
    EXPECT_EQ(marks[0].star.y, -900);
    EXPECT_EQ(marks[0].star.z, 3);
    EXPECT_EQ(std::string(marks[1].name), std::string(38, 'x')) << "cut before the character that does not fit";
    EXPECT_EQ(marks[1].star.x, -4);
    EXPECT_EQ(bookmarkMarks(file, elsewhere).size(), 1u);
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

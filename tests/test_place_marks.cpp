// The bookmarks marked on the sky: which bookmarks become marks, and how the
// star field puts them before the search results with their names.
#include <gtest/gtest.h>

#include <cstring>

#include "display_font_data.h"
#include "starfield/location_text.h"
#include "starfield/search.h"
#include "state/bookmarks.h"
#include "tests/galaxy_fixture.h"
#include "tests/test_support.h"

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

// The marked places come first and are always named; the selected star
// follows them when the search results do not hold it; the results fill the
// rest of the 100 markers.
TEST(PlaceMarks, BeforeTheSearchResultsAndNamed) {
    StarField field(builtGalaxy());
    searchNearest(field, GalaxySeed{}, DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]);
    ASSERT_EQ(field.searchResults.size(), 100u);
    field.settings.maxStarsGen = 100000;
    field.settings.maxVoxelChunks = 1;
    StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, false);
    in.font = &builtinDisplayFont();
    in.changes[CHANGE_LABELS] = 1;
    SearchResult place;
    place.star.x = DEFAULT_VIEWPOINT[0] + 1000;
    std::strcpy(place.name, "Camp");
    in.places = {place, place};
    in.hasSelection = true;
    in.selection = field.searchResults[99];
    std::strcpy(in.selection.name, "Chosen");
    updateAsSet(field, in);
    const StarFieldResults& r = field.results;
    EXPECT_EQ(r.placeMarkCount, 2u);
    ASSERT_EQ(r.highlightCount, 100u);
    EXPECT_EQ(r.highlightPositions[0], place.star.x);
    // The selected star, the last result, fell off the list: it comes right after the places.
    EXPECT_EQ(r.highlightPositions[6], in.selection.star.x);
    EXPECT_EQ(r.highlightPositions[9], field.searchResults[0].star.x);
    // No "Text:" choice: only the places and the selected star are named.
    EXPECT_EQ(r.labelGlyphCount, 4u + 4u + 6u);
    EXPECT_LT(r.labelBoxes[1].x0, r.labelBoxes[1].x1);
    EXPECT_EQ(r.labelBoxes[3].x0, r.labelBoxes[3].x1);

    // Without places the last result is on the list, and named as it is.
    in.places.clear();
    updateAsSet(field, in);
    EXPECT_EQ(field.results.placeMarkCount, 0u);
    EXPECT_EQ(field.results.highlightPositions[3 * 99], in.selection.star.x);
    EXPECT_EQ(field.results.labelGlyphCount, std::strlen(field.searchResults[99].name));
}

}  // namespace

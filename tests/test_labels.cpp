// The label glyphs beside found stars, their placement, and their place in the
// star field's update.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

#include "display_font_data.h"
#include "numeric/constants.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"
#include "tests/synthetic_font.h"

namespace {

struct Corner {
    uint32_t index;
    int x, y;
    float u, v;
};

Corner unpack(const LabelVertex& v) {
    return {v.offset >> 22, static_cast<int>((v.offset >> 11) & 2047) - 1024, static_cast<int>(v.offset & 2047) - 1024,
            v.u, v.v};
}

// The characters of a label set, read back from the synthetic font's atlas columns.
std::string labelText(const std::vector<LabelVertex>& vertices) {
    std::string s;
    for (size_t k = 0; k < vertices.size(); k += LABEL_VERTICES_PER_GLYPH) {
        const Corner tl = unpack(vertices[k]);
        const Corner tr = unpack(vertices[k + 2]);
        s += tr.x == tl.x ? ' ' : static_cast<char>(std::lround(tl.u * FONT_ATLAS_WIDTH) / 5 + FONT_FIRST_CHAR);
    }
    return s;
}

std::vector<SearchResult> resultsNamed(std::initializer_list<const char*> names) {
    std::vector<SearchResult> r;
    for (const char* n : names) {
        SearchResult s;
        std::snprintf(s.name, sizeof s.name, "%s", n);
        r.push_back(s);
    }
    return r;
}

const int64_t ORIGIN[3] = {0, 0, 0};

// Out of range offsets (the last two) are held at the edge and never reach the index bits.
TEST(Labels, OffsetPackingAndClamping) {
    const std::tuple<uint32_t, int, int, uint32_t> cases[] = {
        {0, 0, 0, (1024u << 11) + 1024u},           {3, -1024, -1024, 3u << 22},
        {99, 1023, 1023, (99u << 22) + (2047u << 11) + 2047u}, {5, -7, 12, (5u << 22) + (1017u << 11) + 1036u},
        {7, 5000, -5000, (7u << 22) + (2047u << 11) + 0u},    {7, -5000, 5000, (7u << 22) + 2047u}};
    for (const auto& [index, x, y, packed] : cases) EXPECT_EQ(packLabelOffset(index, x, y), packed) << x << " " << y;
}

// Only printable characters are drawn, and only they take room; each line is
// centred below its star, a second one a line height lower. At most a hundred
// stars are labelled, whole labels only; sizes beyond the table use its
// largest. Each star's box holds its glyphs' corners, a label left out has an
// empty box.
TEST(Labels, LinesCentredBelowTheStarInWholeLabels) {
    const auto& f = syntheticFont();
    const uint8_t name[2] = {LABEL_NAME, LABEL_NONE};
    std::vector<LabelVertex> out;
    const auto results = resultsNamed({"AB", "X\x01" "Y\x7f" " Z."});
    ASSERT_EQ(buildLabels(results, name, ORIGIN, f.font, 3, out), 7u);
    ASSERT_EQ(out.size(), 42u);
    EXPECT_EQ(labelText(out), "ABXY Z.");
    // "AB": advances 8 + 8, so the pen starts at -8; the corners of two triangles and the atlas rectangle of "A".
    const int top = LABEL_FIRST_LINE + 2, bottom = top + 9;
    const float u0 = 5.0f * ('A' - 32) / 512, u1 = (5.0f * ('A' - 32) + 4) / 512, v0 = 90.0f / 2048, v1 = 99.0f / 2048;
    const Corner expected[6] = {{0, -8, top, u0, v0}, {0, -8, bottom, u0, v1}, {0, -4, top, u1, v0},
                                {0, -4, bottom, u1, v1}, {0, -4, top, u1, v0}, {0, -8, bottom, u0, v1}};
    for (int k = 0; k < 6; ++k) {
        const Corner c = unpack(out[k]), e = expected[k];
        EXPECT_EQ(std::tuple(c.index, c.x, c.y), std::tuple(e.index, e.x, e.y)) << "corner " << k;
        EXPECT_FLOAT_EQ(c.u, e.u) << "corner " << k;
        EXPECT_FLOAT_EQ(c.v, e.v) << "corner " << k;
    }
    EXPECT_EQ(unpack(out[6]).x, 0);  // "B" one advance further
    // "XY Z." belongs to the second found star: index 1, pen at -(8 + 8 + 6 + 8 + 5) / 2, the half pixel dropped.
    EXPECT_EQ(unpack(out[12]).index, 1u);
    EXPECT_EQ(unpack(out[12]).x, -17);

    // The distance, 1e9 position units along x, on the second line.
    auto q = resultsNamed({"Q"});
    q[0].star.x = 1000000000;
    const uint8_t distance[2] = {LABEL_NAME, LABEL_DISTANCE};
    const uint32_t n = buildLabels(q, distance, ORIGIN, f.font, 5, out);
    char parsecs[64];
    std::snprintf(parsecs, sizeof parsecs, "%.8f", 1e9 * UNIT_PARSECS_DOUBLE);
    EXPECT_EQ(labelText(out), std::string("Q") + parsecs);
    ASSERT_EQ(n, 1 + std::strlen(parsecs));
    EXPECT_EQ(unpack(out[0]).y, LABEL_FIRST_LINE + 2);
    EXPECT_EQ(unpack(out[6]).y, LABEL_FIRST_LINE + f.font.lineHeight[5] + 2);
    // Measured from the given position, not from the search's; a second
    // choice alone is written on the first line.
    const int64_t at[3] = {1000000000, 0, 0};
    const uint8_t secondOnly[2] = {LABEL_NONE, LABEL_DISTANCE};
    buildLabels(q, secondOnly, at, f.font, 5, out);
    EXPECT_EQ(labelText(out), "0.00000000");
    EXPECT_EQ(unpack(out[0]).y, LABEL_FIRST_LINE + 2);

    std::vector<SearchResult> many(150);
    for (int k = 0; k < 150; ++k) std::snprintf(many[k].name, sizeof many[k].name, "S%03d", k);
    EXPECT_EQ(buildLabels(many, name, ORIGIN, f.font, 3, out), 400u);
    EXPECT_EQ(unpack(out.back()).index, 99u);
    EXPECT_EQ(buildLabels(many, name, ORIGIN, f.font, 3, out, 10), 8u);  // two whole labels
    EXPECT_EQ(labelText(out), "S000S001");
    buildLabels(many, name, ORIGIN, f.font, 40, out, 4);
    EXPECT_EQ(std::lround(unpack(out[0]).v * FONT_ATLAS_HEIGHT), 30 * 18);
    std::vector<LabelBox> boxes;
    buildLabels(many, name, ORIGIN, f.font, 3, out, 10, &boxes);
    ASSERT_EQ(boxes.size(), 100u);
    for (size_t k = 0; k < out.size(); ++k) {
        const Corner c = unpack(out[k]);
        const LabelBox& b = boxes[c.index];
        EXPECT_TRUE(c.x >= b.x0 && c.x <= b.x1 && c.y >= b.y0 && c.y <= b.y1) << k;
    }
    EXPECT_LT(boxes[0].x0, 0);  // centred on the star,
    EXPECT_GT(boxes[0].x1, 0);
    EXPECT_EQ(boxes[0].y0, LABEL_FIRST_LINE + 2);  // below it
    EXPECT_GE(boxes[2].x0, boxes[2].x1);
}

// The first wanted label at each place is shown, none over another; one over
// the cross-hair moves below it.
TEST(Labels, PlacedWithoutOverlapsInTheOrderGiven) {
    const ScreenBox crosshair{90, 90, 110, 110};
    struct Case {
        const char* name;
        std::vector<ScreenBox> boxes;
        bool wanted[2], shown[2];
        int drops[2];
        bool crosshairShown = true;
    };
    const Case cases[] = {
        {"apart", {{0, 0, 20, 10}, {30, 0, 50, 10}}, {true, true}, {true, true}, {0, 0}},
        {"the same place: the first keeps it", {{0, 0, 20, 10}, {0, 0, 20, 10}}, {true, true}, {true, false}, {0, 0}},
        {"overlapping by a pixel", {{0, 0, 20, 10}, {19, 9, 40, 20}}, {true, true}, {true, false}, {0, 0}},
        {"touching: too close", {{0, 0, 20, 10}, {20, 0, 40, 10}}, {true, true}, {true, false}, {0, 0}},
        {"a pixel apart", {{0, 0, 20, 10}, {21, 0, 40, 10}}, {true, true}, {true, true}, {0, 0}},
        {"not wanted (behind the viewer) takes no room", {{0, 0, 20, 10}, {0, 0, 20, 10}}, {false, true},
         {false, true}, {0, 0}},
        {"empty box", {{5, 5, 5, 5}}, {true}, {false}, {0}},
        {"over the cross-hair: moved below it", {{80, 95, 120, 105}}, {true}, {true}, {16}},
        {"moved onto another label", {{60, 112, 100, 122}, {80, 95, 120, 105}}, {true, true}, {true, false}, {0, 16}},
        {"too far to move", {{80, -300, 120, 100}}, {true}, {false}, {0}},
        {"moved by the largest drop", {{80, -144, 120, 90}}, {true}, {true}, {LABEL_DROP_MAX}},
        {"a pixel beyond the largest drop", {{80, -145, 120, 90}}, {true}, {false}, {0}},
        {"without a cross-hair nothing moves", {{80, 95, 120, 105}}, {true}, {true}, {0}, false},
    };
    for (const Case& c : cases) {
        const size_t n = c.boxes.size();
        std::vector<LabelPlacement> out(n);
        placeLabels(c.boxes.data(), c.wanted, n, c.crosshairShown ? &crosshair : nullptr, out.data());
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(out[i].shown, c.shown[i]) << c.name << " label " << i;
            if (out[i].shown) {
                EXPECT_EQ(out[i].drop, c.drops[i]) << c.name << " label " << i;
            }
        }
    }
}

// Labels and markers built by the star field's update when the labels change,
// distances on every update. Marked places come first, always named; the
// selected star follows when the results do not hold it; the results fill the rest.
TEST(Labels, BuiltByTheStarFieldUpdate) {
    const Galaxy& g = builtGalaxy();
    StarField field(g);
    searchNearest(field, GalaxySeed{}, DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]);
    field.settings.maxStarsGen = 100000;
    field.settings.maxVoxelChunks = 1;
    StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, false);
    in.font = &builtinDisplayFont();
    in.labelChoice[0] = LABEL_NAME;
    in.changes[CHANGE_LABELS] = 1;
    updateAsSet(field, in);
    EXPECT_TRUE(field.results.labelsRebuilt);
    EXPECT_EQ(field.results.highlightCount, 100u);
    EXPECT_EQ(field.results.highlightWords.size(), 1600u);
    uint32_t w[16];  // the marker of the fourth star
    highlightMarker(3, w);
    EXPECT_EQ(w[0], (3u << 22) + 0x1f83f0u + 28684u);
    EXPECT_EQ(w[15], (3u << 22) + 0x1f83f0u + 40978u);
    size_t nameChars = 0;
    for (const SearchResult& r : field.searchResults) nameChars += std::strlen(r.name);
    EXPECT_EQ(field.results.labelGlyphCount, nameChars);
    EXPECT_EQ(field.results.labelVertices.size(), 6 * nameChars);
    // Names do not change by themselves: no rebuild without the flag.
    in.changes[CHANGE_LABELS] = 0;
    updateAsSet(field, in);
    EXPECT_FALSE(field.results.labelsRebuilt);
    // Distances are rebuilt on every update while chosen.
    in.labelChoice[1] = LABEL_DISTANCE;
    updateAsSet(field, in);
    EXPECT_TRUE(field.results.labelsRebuilt);
    EXPECT_GT(field.results.labelGlyphCount, nameChars);
    // The font size chooses the glyphs.
    const uint32_t before = field.results.labelVertices[0].offset;
    in.displayFontSize = 12;
    updateAsSet(field, in);
    EXPECT_NE(field.results.labelVertices[0].offset, before);
    // Without a font there are markers but no labels.
    in.font = nullptr;
    updateAsSet(field, in);
    EXPECT_EQ(field.results.highlightCount, 100u);
    EXPECT_EQ(field.results.labelGlyphCount, 0u);

    in.font = &builtinDisplayFont();
    in.labelChoice[0] = in.labelChoice[1] = LABEL_NONE;
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
    EXPECT_EQ(r.placeMarkCount, 0u);
    EXPECT_EQ(r.highlightPositions[3 * 99], in.selection.star.x);
    EXPECT_EQ(r.labelGlyphCount, std::strlen(field.searchResults[99].name));
}

}  // namespace

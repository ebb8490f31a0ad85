// The mark-up layout: codes, wrapping, fixed digits, baseline shift, links,
// measuring, the block cache and the vertex buffer sized before layout.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "tests/synthetic_font.h"
#include "text/markup.h"

namespace {

// The synthetic font at the default size 3: space (and margin) 6, letters 8,
// digits 9 except "1" (7), "." 5, glyphs 4 x 9 two pixels below the line top,
// line height 11, baseline 11.
constexpr int MARGIN = 6;
constexpr int LETTER = 8;

TextLayoutSettings synthetic(int size = 3, int maxImage = 4096) {
    return TextLayoutSettings{&syntheticFont().font, size, maxImage};
}

std::vector<DrawnGlyph> layOut(const std::string& text, int width = 1000, int size = 3, TextBlock* out = nullptr) {
    TextBlockCache cache;
    TextBlock block;
    layoutTextBlock(cache, block, synthetic(size), width, 1, 1, text);
    EXPECT_EQ(block.droppedGlyphs, 0u);
    if (out) *out = block;
    return drawnGlyphs(block);
}

// One field of every glyph drawn, in order.
std::vector<int> each(const std::vector<DrawnGlyph>& glyphs, int DrawnGlyph::*field) {
    std::vector<int> out;
    for (const DrawnGlyph& g : glyphs) out.push_back(g.*field);
    return out;
}
using Ints = std::vector<int>;

TEST(Markup, GlyphQuadsAreTwoTrianglesInTheAtlas) {
    TextBlock block;
    const auto g = layOut("AB", 1000, 3, &block);
    ASSERT_EQ(block.vertexCount, 12u);
    // top-left, bottom-left, top-right, bottom-right, top-right, bottom-left
    const int ax = 5 * ('A' - 32), ay = 90, l = MARGIN, r = MARGIN + 4;
    const int expected[6][4] = {{l, 2, ax, ay},          {l, 11, ax, ay + 9},     {r, 2, ax + 4, ay},
                                {r, 11, ax + 4, ay + 9}, {r, 2, ax + 4, ay},      {l, 11, ax, ay + 9}};
    for (int k = 0; k < 6; ++k) {
        const TextVertex& v = block.vertices[k];
        EXPECT_EQ((std::array<int, 4>{v.x, v.y, v.u, v.v}), std::to_array(expected[k])) << "corner " << k;
    }
    EXPECT_EQ(drawnText(g), "AB");
}

// Where each glyph lands: words move to the next line after the last space
// that fits, a word longer than a line breaks before the crossing character,
// fixed digits take cells of the widest digit (9), characters the font does
// not hold take no room; smaller text after larger drops to the larger one's
// baseline until the next size code; tab stops, tabs, and the wrapped lines
// of a column under its stop. Margins 6, letters 8, "1" 7, "." 5, lines 11.
TEST(Markup, GlyphsLandWhereTheLayoutPutsThem) {
    const std::tuple<const char*, int, Ints, Ints> cases[] = {  // the text, the width, lefts and tops
        {"AA BBBB CC", 52, {6, 14, 6, 14, 22, 30, 6, 14}, {2, 2, 13, 13, 13, 13, 24, 24}},
        // Four letters fit in 44 (12 + 32); a space that would cross starts the new line.
        {"AAAAAAAAAA", 44, {6, 14, 22, 30, 6, 14, 22, 30, 6, 14}, {2, 2, 2, 2, 13, 13, 13, 13, 24, 24}},
        {"AAAAA B", 52, {6, 14, 22, 30, 38, 6}, {2, 2, 2, 2, 2, 13}},
        {"A", 1, {6}, {2}},  // a single character wider than the block stays where it is
        // "1" padded to its cell, "." its own width, "5" its cell, then no padding; spaces and letters take cells.
        {"|f1.5|v1", 1000, {8, 15, 20, 29}, {2, 2, 2, 2}},
        {"|f A|v A", 1000, {16, 30}, {2, 2}},
        {"|i2A\nB\n|i0C", 1000, {18, 18, 6}, {2, 13, 24}},
        {"A\x01" "B\x7f" "C\xc3\xa9" "D\rE", 1000, {6, 14, 22, 30, 38}, {2, 2, 2, 2, 2}},
        {"A|\nB", 1000, {6, 6}, {2, 13}},  // a bar before a line end is dropped and the line ends
        // Line heights 15 at size 7, 13 at size 5; C drops 2 to the size-7 baseline (15, 13 at size 5).
        {"|#4A\nB|#2C\nD", 1000, {6, 6, 14, 6}, {2, 17, 19, 32}},
        {"|#2AA BBBBBB", 80, {6, 16, 6, 16, 26, 36, 46, 56}, {2, 2, 15, 15, 15, 15, 15, 15}},
        // Size 7: advance 12, baseline 15, glyphs bottom 15; B drops 4 (baseline 11), and so does C on the
        // next line; D, larger, does not; a line that starts with larger text begins below the dropped line.
        {"|#4A|#-4B\nC|#4D", 1000, {6, 18, 6, 14}, {2, 6, 21, 17}},
        {"|#4A|#-4B\nC\n|#4D", 1000, {6, 18, 6, 6}, {2, 6, 21, 32}},
        // Stop a after "ABC", b after "EF"; a tab moves on by the widest digit; "A" and "a" name one stop. A
        // line with a stop ends a row of a list: the next starts half a line (5) lower.
        {"ABC|>aD\nE|<aF|>bG\n\tH|<bI", 1000, {6, 14, 22, 30, 6, 30, 38, 15, 38}, {2, 2, 2, 2, 18, 18, 18, 34, 34}},
        {"AB|>AC\n|<aD", 1000, {6, 14, 22, 22}, {2, 2, 2, 18}},
        {"A|>aB|#4\nC", 1000, {6, 14, 6}, {2, 2, 22}},  // half a line of the display size, whatever the row's end
        // A column's long entries wrap under its stop, not at the margin; a line end forgets the column.
        {"A |>aBB CC DD\nE|<aFF GG HH\nII JJ KK", 60,
         {6, 20, 28, 20, 28, 20, 28, 6, 20, 28, 20, 28, 20, 28, 6, 14, 28, 36, 6, 14},
         {2, 2, 2, 13, 13, 24, 24, 40, 40, 40, 51, 51, 62, 62, 78, 78, 78, 78, 89, 89}},
        // Beside a taller term (line height 15) the column's wrapped line is one of its own (11) lower; the next
        // row starts below both (the dropped column's 4 + 22), half a line apart, and so does a row of one line.
        {"|#4A|#-4 |>aBB CC\n|#4E|#-4|<aFF\n|#4G", 60, {6, 24, 32, 24, 32, 6, 24, 32, 6},
         {2, 6, 6, 17, 17, 33, 37, 37, 53}},
    };
    for (const auto& [text, width, left, top] : cases) {
        const auto g = layOut(text, width);
        EXPECT_EQ(each(g, &DrawnGlyph::left), left) << text;
        EXPECT_EQ(each(g, &DrawnGlyph::top), top) << text;
    }
}

// The size of each glyph: size codes add to the size and stop at the ends of
// the range; a line end returns to the display size, a wrapped line keeps the
// size it had; a code between the break point and the crossing word applies
// once on the new line, and so is a link prefix inserted once.
TEST(Markup, GlyphSizesFollowTheSizeCodes) {
    const std::tuple<const char*, int, int, Ints> cases[] = {  // the text, the width, the display size, the sizes
        {"|#9|#9A", 1000, 3, {18}},
        {"|#-9A", 1000, 3, {0}},
        {"|#5|#-2A", 1000, 3, {6}},
        {"|#9A", 1000, 15, {18}},
        {"|#xA|#-yB", 1000, 3, {3, 3, 3, 3}},  // a size code without its digit is text
        {"|#4A\nB|#2C\nD", 1000, 3, {7, 3, 5, 3}},
        {"|#2AA BBBBBB", 80, 3, {5, 5, 5, 5, 5, 5, 5, 5}},
        {"AA |#2BBBB|#-2C", 52, 3, {3, 3, 5, 5, 5, 5, 3}},
    };
    for (const auto& [text, width, size, sizes] : cases) {
        EXPECT_EQ(each(layOut(text, width, size), &DrawnGlyph::size), sizes) << text;
    }
    EXPECT_EQ(drawnText(layOut("AA |Gx|E", 60)), "AA" + std::string(LINK_PREFIX_G) + 'x');
}

// Links insert their fragments and turn spaces into slashes; link codes in the
// wrong state, stray bars and codes are drawn as text or dropped.
TEST(Markup, LinksBarsAndCodesDrawnAsTheyRead) {
    const char *H = LINK_PREFIX_H, *G = LINK_PREFIX_G, *O = LINK_SUFFIX_O, *C = LINK_SUFFIX_C;
    // A space in the host part is a gap, not a slash; "|C|O|E" outside a link; "|Hx|E" with the host not ended;
    // "|Gx|E|E" ended twice; a bar at the end ends the text; a doubled bar draws one; "|z" is no code.
    const std::pair<const char*, std::vector<const char*>> cases[] = {  // the text, what is drawn in pieces
        {"|Hexample|O a b|E c", {H, "example", O, "/a/bc"}}, {"|Hexample|C|E", {H, "example", C}},
        {"|GMIT|E", {G, "MIT"}}, {"|Ha b|O|E", {H, "ab", O}}, {"|C|O|E", {"COE"}}, {"|Hx|E", {H, "xE"}},
        {"|Hx|O|C", {H, "x", O, "C"}}, {"|Gx|E|E", {G, "xE"}}, {"AB|", {"AB"}}, {"AB|#", {"AB"}}, {"AB|#-", {"AB"}},
        {"A||B", {"A|B"}}, {"|zA", {"zA"}}, {"|#xA|#-yB", {"xAyB"}}};
    for (const auto& [text, pieces] : cases) {
        std::string drawn;
        for (const char* piece : pieces) drawn += piece;
        EXPECT_EQ(drawnText(layOut(text)), drawn) << text;
    }
}

TEST(Markup, MeasuringNeverWraps) {
    const TextSize one = measureText(synthetic(), "AAAAAAAAAA AAAAAAAAAA");
    EXPECT_EQ(one.width, 20 * LETTER + 6 + 2 * MARGIN);
    EXPECT_EQ(one.height, 11);
    // The widest line counts, with its indent.
    const TextSize two = measureText(synthetic(), "AAAA\n|i1AAAAAA\nA");
    EXPECT_EQ(two.width, MARGIN + 6 * LETTER + 2 * MARGIN);
    EXPECT_EQ(two.height, 33);
    // The star block's column: a fixed "x", ": ", eighteen fixed cells, " pc".
    const TextSize column = measureText(synthetic(), "|fx|v: |f9999999.0000000000|v pc");
    EXPECT_EQ(column.width, 9 + LETTER + 6 + 17 * 9 + 5 + 6 + 2 * LETTER + 2 * MARGIN);
    // A layout as wide as the measure does not wrap.
    EXPECT_EQ(each(layOut("AAAAAAAAAA AAAAAAAAAA", one.width), &DrawnGlyph::top), Ints(20, 2));
}

TEST(Markup, BlockSizeAndTheCacheById) {
    const TextLayoutSettings s = synthetic(3, 200);
    TextBlockCache cache;
    TextBlock block;
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 150, 100, 4, "A\nB\nC"));
    EXPECT_EQ(block.width, 150);
    EXPECT_EQ(block.contentHeight, 33);
    EXPECT_EQ(block.height, 100);  // at least the window's height
    EXPECT_EQ(cache.lastId, 4);
    // The same id again: nothing is done, whatever the text.
    block.vertexCount = 12345;
    EXPECT_FALSE(layoutTextBlock(cache, block, s, 150, 100, 4, "other"));
    EXPECT_EQ(block.vertexCount, 12345u);
    // Another id, or a cleared cache, builds again.
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 300, 10, 10, "A\nB\nC"));
    EXPECT_EQ(block.height, 33 + 11 / 2);  // the lines and half a line
    // The content ends below the lowest glyph: nothing for no text, and 3
    // below a dropped last line's height.
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 300, 10, 16, ""));
    EXPECT_EQ(block.contentHeight, 0);
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 300, 10, 18, "|#4A|#-4B\nC"));
    EXPECT_EQ(block.contentHeight, 30);
    clearTextBlockCache(cache);
    EXPECT_EQ(cache.lastId, 0);
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 300, 10, 10, std::string(60, '\n') + 'A'));
    EXPECT_EQ(block.height, 200);  // at most the largest image
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 5000, 10, 12, "A"));
    EXPECT_EQ(block.width, 200);
    EXPECT_TRUE(layoutTextBlock(cache, block, s, 0, 10, 14, "A"));
    EXPECT_EQ(block.width, 1);
}

TEST(Markup, CapacityCountsEveryCharacterAndEveryLinkInsertion) {
    EXPECT_EQ(textVertexCapacity("abc"), 18u);
    EXPECT_EQ(textVertexCapacity("|Hx|O|E"), 6u * (7 + sizeof LINK_PREFIX_H - 1 + sizeof LINK_SUFFIX_O - 1));
    EXPECT_EQ(textVertexCapacity("|G|C"), 6u * (4 + sizeof LINK_PREFIX_G - 1 + sizeof LINK_SUFFIX_C - 1));
    EXPECT_EQ(textVertexCapacity("|"), 6u);
}

}  // namespace

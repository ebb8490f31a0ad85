// The display font generated at build time: every glyph where the table says,
// packed without overlap, with consistent metrics at every size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "display_font_data.h"

namespace {

const DisplayFont& font() { return builtinDisplayFont(); }

uint8_t texel(int x, int y) { return font().atlas[y * FONT_ATLAS_WIDTH + x]; }

template <typename F>
void forEachGlyph(F f) {
    for (int s = 0; s < FONT_SIZE_COUNT; ++s)
        for (int c = FONT_FIRST_CHAR; c < FONT_FIRST_CHAR + FONT_GLYPH_COUNT; ++c) f(s, c, glyphAt(font(), s, c));
}

// Every glyph's rectangle lies inside the atlas, claims texels no other
// glyph claims and holds its glyph tightly: coverage reaches each of its four
// edges (a table entry pointing a texel off would leave one empty). Texels no
// glyph claims are empty.
TEST(DisplayFont, GlyphRectanglesHoldTheirGlyphsTightlyWithoutOverlap) {
    std::vector<int> owner(FONT_ATLAS_WIDTH * FONT_ATLAS_HEIGHT, -1);
    forEachGlyph([&](int s, int c, const GlyphMetrics& g) {
        SCOPED_TRACE(testing::Message() << "size " << s << " '" << static_cast<char>(c) << "'");
        if (c == ' ') {
            EXPECT_EQ(g.width, 0);
            EXPECT_EQ(g.height, 0);
            return;
        }
        ASSERT_GT(g.width, 0);
        ASSERT_GT(g.height, 0);
        ASSERT_GE(g.atlasX, 0);
        ASSERT_GE(g.atlasY, 0);
        ASSERT_LE(g.atlasX + g.width, FONT_ATLAS_WIDTH);
        ASSERT_LE(g.atlasY + g.height, FONT_ATLAS_HEIGHT);
        bool top = false, bottom = false, left = false, right = false;
        for (int y = g.atlasY; y < g.atlasY + g.height; ++y) {
            for (int x = g.atlasX; x < g.atlasX + g.width; ++x) {
                int& o = owner[y * FONT_ATLAS_WIDTH + x];
                ASSERT_EQ(o, -1) << "texel " << x << "," << y << " already belongs to glyph " << o;
                o = s * FONT_GLYPH_COUNT + c;
                const bool covered = texel(x, y) != 0;
                top = top || (covered && y == g.atlasY);
                bottom = bottom || (covered && y == g.atlasY + g.height - 1);
                left = left || (covered && x == g.atlasX);
                right = right || (covered && x == g.atlasX + g.width - 1);
            }
        }
        EXPECT_TRUE(top && bottom && left && right);
    });
    size_t stray = 0;
    for (int i = 0; i < FONT_ATLAS_WIDTH * FONT_ATLAS_HEIGHT; ++i) stray += owner[i] < 0 && font().atlas[i] != 0;
    EXPECT_EQ(stray, 0u) << "coverage outside every glyph rectangle";
}

// Per size: typical advances within a pixel, advances and line heights
// growing with the size, the line height spanning every glyph from the line
// top, and the baseline where flat-bottomed letters stand.
TEST(DisplayFont, MetricsOfEverySize) {
    const int typical[][3] = {{0, 3, 10}, {3, 4, 12}, {18, 18, 63}};  // size, space, M
    for (const auto& [size, space, m] : typical) {
        EXPECT_LE(std::abs(glyphAt(font(), size, ' ').advance - space), 1) << "size " << size;
        EXPECT_LE(std::abs(glyphAt(font(), size, 'M').advance - m), 1) << "size " << size;
    }
    EXPECT_GT(font().lineHeight[18], 3 * font().lineHeight[0]);
    for (int s = 0; s < FONT_SIZE_COUNT; ++s) {
        SCOPED_TRACE(testing::Message() << "size " << s);
        auto bottomOf = [&](char c) { return glyphAt(font(), s, c).yOffset + glyphAt(font(), s, c).height; };
        int top = 10000, bottom = -10000, total = 0, previous = 0;
        for (int c = FONT_FIRST_CHAR; c < FONT_FIRST_CHAR + FONT_GLYPH_COUNT; ++c) {
            const GlyphMetrics& g = glyphAt(font(), s, c);
            top = std::min<int>(top, g.yOffset);
            bottom = std::max<int>(bottom, g.yOffset + g.height);
            if (s == 0) continue;
            EXPECT_GE(g.advance, glyphAt(font(), s - 1, c).advance) << "'" << static_cast<char>(c) << "'";
            total += g.advance;
            previous += glyphAt(font(), s - 1, c).advance;
        }
        if (s > 0) {
            EXPECT_GT(total, previous);
            EXPECT_GE(font().lineHeight[s], font().lineHeight[s - 1]);
        }
        EXPECT_EQ(font().lineHeight[s], bottom - top);
        EXPECT_EQ(top, 0);  // glyphs hang from the line top: the highest starts on it
        const int base = font().baseline[s];
        EXPECT_GT(base, 0);
        EXPECT_EQ(base, bottomOf('M'));
        for (char c : {'H', 'x', 'E', 'z', 'L'}) EXPECT_EQ(bottomOf(c), base) << c;
        for (char c : {'g', 'p', 'y'}) EXPECT_GT(bottomOf(c), base) << c;  // descenders
        // Capitals reach higher than lower-case letters without ascenders.
        EXPECT_LT(glyphAt(font(), s, 'H').yOffset, glyphAt(font(), s, 'x').yOffset);
    }
}

TEST(DisplayFont, LineHeightFormulaOnAHandMadeTable) {
    // Glyphs above the line top (negative offsets) count as well.
    std::vector<GlyphMetrics> table(FONT_SIZE_COUNT * FONT_GLYPH_COUNT);
    table['A' - FONT_FIRST_CHAR] = GlyphMetrics{0, 0, 3, 10, 0, -4, 5};   // -4 .. 6
    table['g' - FONT_FIRST_CHAR] = GlyphMetrics{0, 0, 3, 9, 0, 2, 5};     // 2 .. 11
    table['M' - FONT_FIRST_CHAR] = GlyphMetrics{0, 0, 3, 7, 0, 1, 5};     // 1 .. 8
    EXPECT_EQ(fontLineHeight(table.data(), 0), 11 - (-4));
    EXPECT_EQ(fontBaseline(table.data(), 0), 8);
    // Only empty glyphs: the zero offsets of the space and the rest bound it.
    EXPECT_EQ(fontLineHeight(table.data(), 1), 0);
}

}  // namespace

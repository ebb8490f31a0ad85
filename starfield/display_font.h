// The display font: the glyph atlas and glyph table of the program's own
// typeface in 19 sizes, used for star labels and for the text blocks of the
// help and information pages. The data itself is generated at build time and
// lives outside the engine; the engine only sees it through a DisplayFont.
#pragma once

#include <cstdint>

inline constexpr int FONT_SIZE_COUNT = 19;      // size indices 0..18
inline constexpr int FONT_FIRST_CHAR = 32;      // the table holds codes 32..126, in code order
inline constexpr int FONT_GLYPH_COUNT = 95;
inline constexpr int FONT_ATLAS_WIDTH = 512;    // texels, one coverage byte each
inline constexpr int FONT_ATLAS_HEIGHT = 2048;
inline constexpr int DEFAULT_DISPLAY_FONT_SIZE = 3;

// One glyph of one size, in pixels. Offsets are from the pen position (x) and
// from the top of the line (y); the space has no image (width and height 0).
struct GlyphMetrics {
    int16_t atlasX = 0, atlasY = 0;
    int16_t width = 0, height = 0;
    int16_t xOffset = 0, yOffset = 0;
    int16_t advance = 0;
};
static_assert(sizeof(GlyphMetrics) == 14);

struct DisplayFont {
    const uint8_t* atlas = nullptr;        // FONT_ATLAS_WIDTH x FONT_ATLAS_HEIGHT, row by row
    const GlyphMetrics* glyphs = nullptr;  // FONT_SIZE_COUNT x FONT_GLYPH_COUNT
    int16_t lineHeight[FONT_SIZE_COUNT] = {};
    int16_t baseline[FONT_SIZE_COUNT] = {};  // y offset + height of "M": the baseline below the line top
};

inline bool isFontCharacter(int c) { return c >= FONT_FIRST_CHAR && c < FONT_FIRST_CHAR + FONT_GLYPH_COUNT; }

inline int clampFontSize(int size) { return size < 0 ? 0 : size >= FONT_SIZE_COUNT ? FONT_SIZE_COUNT - 1 : size; }

// The glyph of a printable character (32..126) at a size index (0..18).
inline const GlyphMetrics& glyphAt(const GlyphMetrics* glyphs, int size, int c) {
    return glyphs[size * FONT_GLYPH_COUNT + (c - FONT_FIRST_CHAR)];
}
inline const GlyphMetrics& glyphAt(const DisplayFont& font, int size, int c) { return glyphAt(font.glyphs, size, c); }

// (largest y offset + height) - smallest y offset over the size's glyphs.
inline int fontLineHeight(const GlyphMetrics* glyphs, int size) {
    int top = 10000, bottom = -10000;
    for (int c = FONT_FIRST_CHAR; c < FONT_FIRST_CHAR + FONT_GLYPH_COUNT; ++c) {
        const GlyphMetrics& g = glyphAt(glyphs, size, c);
        if (g.yOffset < top) top = g.yOffset;
        if (g.yOffset + g.height > bottom) bottom = g.yOffset + g.height;
    }
    return bottom - top;
}

inline int fontBaseline(const GlyphMetrics* glyphs, int size) {
    const GlyphMetrics& m = glyphAt(glyphs, size, 'M');
    return m.yOffset + m.height;
}

// A font over generated data, with its line heights and baselines worked out.
inline DisplayFont makeDisplayFont(const uint8_t* atlas, const GlyphMetrics* glyphs) {
    DisplayFont font;
    font.atlas = atlas;
    font.glyphs = glyphs;
    for (int s = 0; s < FONT_SIZE_COUNT; ++s) {
        font.lineHeight[s] = static_cast<int16_t>(fontLineHeight(glyphs, s));
        font.baseline[s] = static_cast<int16_t>(fontBaseline(glyphs, s));
    }
    return font;
}

// A display font with simple, known metrics for layout tests, and a way to
// read back which character of which size a glyph quad shows.
//
// Size s: every printable character is 4 pixels wide and 6 + s high, 2 below
// the line top, advance 5 + s; digits advance 6 + s, except "1" (4 + s); "."
// advances 2 + s; the space is empty with advance 3 + s. The atlas rectangle
// of character c at size s is at x = 5 (c - 32), y = 30 s and is fully covered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "starfield/display_font.h"
#include "starfield/labels.h"
#include "text/markup.h"

struct SyntheticFont {
    std::vector<GlyphMetrics> glyphs;
    std::vector<uint8_t> atlas;
    DisplayFont font;

    static int advanceOf(int s, int c) {
        if (c == ' ') return 3 + s;
        if (c == '1') return 4 + s;
        if (c >= '0' && c <= '9') return 6 + s;
        if (c == '.') return 2 + s;
        return 5 + s;
    }

    SyntheticFont() : glyphs(FONT_SIZE_COUNT * FONT_GLYPH_COUNT), atlas(FONT_ATLAS_WIDTH * FONT_ATLAS_HEIGHT, 0) {
        for (int s = 0; s < FONT_SIZE_COUNT; ++s) {
            for (int c = FONT_FIRST_CHAR; c < FONT_FIRST_CHAR + FONT_GLYPH_COUNT; ++c) {
                GlyphMetrics& g = glyphs[s * FONT_GLYPH_COUNT + c - FONT_FIRST_CHAR];
                g.advance = static_cast<int16_t>(advanceOf(s, c));
                if (c == ' ') continue;
                g.atlasX = static_cast<int16_t>(5 * (c - FONT_FIRST_CHAR));
                g.atlasY = static_cast<int16_t>(30 * s);
                g.width = 4;
                g.height = static_cast<int16_t>(6 + s);
                g.yOffset = 2;
                for (int y = 0; y < g.height; ++y)
                    for (int x = 0; x < g.width; ++x) atlas[(g.atlasY + y) * FONT_ATLAS_WIDTH + g.atlasX + x] = 255;
            }
        }
        font = makeDisplayFont(atlas.data(), glyphs.data());
    }
};

inline const SyntheticFont& syntheticFont() {
    static const SyntheticFont f;
    return f;
}

// One glyph of a laid-out block, read back from its quad.
struct DrawnGlyph {
    char c = 0;
    int size = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Reads the quads of a block laid out with the synthetic font.
inline std::vector<DrawnGlyph> drawnGlyphs(const TextBlock& block) {
    std::vector<DrawnGlyph> out;
    for (uint32_t k = 0; k + TEXT_VERTICES_PER_GLYPH <= block.vertexCount; k += TEXT_VERTICES_PER_GLYPH) {
        const TextVertex& tl = block.vertices[k];
        const TextVertex& br = block.vertices[k + 3];
        out.push_back({static_cast<char>(tl.u / 5 + FONT_FIRST_CHAR), tl.v / 30, tl.x, tl.y, br.x, br.y});
    }
    return out;
}

inline std::string drawnText(const std::vector<DrawnGlyph>& glyphs) {
    std::string s;
    for (const DrawnGlyph& g : glyphs) s += g.c;
    return s;
}

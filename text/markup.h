// The help mark-up and its text-block layout.
//
// Help screens, information pages, the licence texts and the selected star's
// facts are marked-up texts drawn in the display font into the star display
// area. A vertical bar followed by a code letter changes how the text goes on:
//
//   |#d   size += d (at most 18)        |#-d  size -= d (at least 0)
//   |id   indent = d space units, for this and the following lines
//   |>x   tab stop (x AND 31) = cursor  |<x   cursor = tab stop (x AND 31)
//   |f    fixed-width digits on         |v    fixed-width digits off
//   |H    link: the web prefix is inserted, then the host name follows
//   |C |O after |H and the host: ".com" or ".org" is inserted; the words up
//         to |E are the path, each space drawn as "/"
//   |G    link: the licence-page prefix is inserted; the path follows
//   |E    end of a link
//
// Any other character after a bar, and |C, |O or |E where no link is at that
// stage, is drawn as text (the bar is dropped; "||" draws one bar). A bar at
// the very end ends the text. "\n" ends a line and returns to the display
// size; "\t" moves on by a digit width; other characters outside 32..126 are
// ignored. Lines wrap at the last space or tab before the width is crossed;
// a line that set or went to a tab stop goes on under it when it wraps, so
// that a long entry of a two-column list stays in its column.
//
// The layout makes two triangles per visible character, in pixels of the
// block with texel coordinates of the font atlas, for a texture of the
// block's size. Nothing here needs a GPU.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "starfield/display_font.h"

// The web-address fragments the link codes insert.
inline constexpr char LINK_PREFIX_H[] = "https://";
inline constexpr char LINK_PREFIX_G[] = "https://opensource.org/licenses/";
inline constexpr char LINK_SUFFIX_C[] = ".com";
inline constexpr char LINK_SUFFIX_O[] = ".org";

// One corner of a glyph quad: block pixels and atlas texels. A glyph is six
// vertices, top-left, bottom-left, top-right, bottom-right, top-right,
// bottom-left (two triangles).
struct TextVertex {
    int16_t x = 0, y = 0;
    int16_t u = 0, v = 0;
};
static_assert(sizeof(TextVertex) == 8);
inline constexpr size_t TEXT_VERTICES_PER_GLYPH = 6;

// A laid-out text block.
struct TextBlock {
    std::vector<TextVertex> vertices;  // sized before layout; the first vertexCount are drawn
    uint32_t vertexCount = 0;
    int width = 0, height = 0;         // the texture the block is drawn into, pixels
    int contentHeight = 0;             // height of the laid-out lines
    uint32_t droppedGlyphs = 0;        // glyphs beyond the 16-bit coordinate range, not stored
};

// Which block was built last; 0 when cleared (no block has id 0). Clear it
// when the texts or the display font size change, or the target is lost.
struct TextBlockCache {
    int lastId = 0;
};
inline void clearTextBlockCache(TextBlockCache& cache) { cache.lastId = 0; }

struct TextSize {
    int width = 0, height = 0;
};

// What laying out a text needs besides the text.
struct TextLayoutSettings {
    const DisplayFont* font = nullptr;
    int displayFontSize = DEFAULT_DISPLAY_FONT_SIZE;  // the size each line starts at, 0..18
    int maxImageSize = 4096;                         // the device's largest 2-D image side
};

// `text` as mark-up that draws it as it is: every bar doubled.
std::string markupLiteral(std::string_view text);

// Vertices a layout of `text` can need at most: six for every character of
// the text and for every character the link codes in it may insert.
size_t textVertexCapacity(std::string_view text);

// Lays `text` out for a block `width` pixels wide (at least 1) shown in a
// window `height` pixels high, unless `blockId` is the block the cache holds
// (then returns false at once and leaves `block` alone). On return the block
// holds the glyph vertices, its width (`width`) and its height: the laid-out
// height plus half a line, at least `height`, at most the largest image size.
bool layoutTextBlock(TextBlockCache& cache, TextBlock& block, const TextLayoutSettings& settings, int width,
                     int height, int blockId, std::string_view text);

// The size of `text` laid out without wrapping: the widest line plus a margin
// on each side, and the height of its lines. Draws nothing.
TextSize measureText(const TextLayoutSettings& settings, std::string_view text);

// The block as the display shows it, drawn on the CPU: one coverage byte per
// pixel, block.width x block.height, row by row (for checks and images).
void drawTextBlockPixels(const TextBlock& block, const DisplayFont& font, std::vector<uint8_t>& pixels);

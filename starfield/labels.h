// The text labels beside the stars the catalog search found: for each found
// star, one line per chosen "Text:" setting (its name, or its distance in
// parsecs from the viewpoint), as glyph quads of the display font placed in
// pixels relative to the star's position on the screen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "starfield/display_font.h"
#include "starfield/search_result.h"

// What a "Text:" choice writes beside a found star.
enum LabelText : uint8_t { LABEL_NONE = 0, LABEL_NAME = 1, LABEL_DISTANCE = 2 };
inline constexpr int LABEL_CHOICES = 2;

// One vertex of a glyph quad: the packed offset (found-star index i in bits
// 31..22, X + 1024 in bits 21..11, Y + 1024 in bits 10..0, X and Y the
// corner's pixel offset from the star, Y downwards) and the atlas texture
// coordinates. Six per character: top-left, bottom-left, top-right,
// bottom-right, top-right, bottom-left.
struct LabelVertex {
    uint32_t offset = 0;
    float u = 0, v = 0;
};
static_assert(sizeof(LabelVertex) == 12);
inline constexpr uint32_t LABEL_VERTICES_PER_GLYPH = 6;

// The label vertex buffer's room, in characters; labels beyond it are left out.
inline constexpr uint32_t LABEL_GLYPH_CAPACITY = 2600;
// Found stars that get a marker and labels.
inline constexpr uint32_t LABELLED_RESULTS = 100;
// The first line's top lies this many pixels below the star.
inline constexpr int LABEL_FIRST_LINE = 8;
// The pixel offsets a packed vertex can hold.
inline constexpr int LABEL_OFFSET_MIN = -1024, LABEL_OFFSET_MAX = 1023;

// A label's extent in pixels, relative to its star (x right, y down); empty
// (x0 >= x1) for a star without a label.
struct LabelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// A label placed on the star display, in pixels.
struct ScreenBox {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Where a label goes: shown or not, and how far below its place it is moved
// to clear the keep-out box.
struct LabelPlacement {
    bool shown = false;
    int drop = 0;  // pixels, 0 ... LABEL_DROP_MAX
};
inline constexpr int LABEL_DROP_MAX = 255;

// Which labels the display shows, so that none covers another or the
// keep-out box (the cross-hair): in the order given (most wanted first), a
// wanted label that would cover the keep-out box is moved down below it (by
// at most LABEL_DROP_MAX pixels), and it is shown when it then overlaps
// neither the keep-out box nor a label shown before it, with a pixel to
// spare. Two stars at one place thus show one label.
void placeLabels(const ScreenBox* boxes, const bool* wanted, size_t count, const ScreenBox* keepOut,
                 LabelPlacement* out);

// Packs a corner offset of label glyph i; X and Y are clamped to the range a
// vertex holds, so that a long label can never spill into the index bits.
uint32_t packLabelOffset(uint32_t i, int x, int y);

// Fills `out` with the label glyphs of the first min(n, 100) results: for each, a line per choice that is not LABEL_NONE, in the
// order of the choices, each centred on the star, the first line's top 8
// pixels below it and every further line one line height lower; "Distance"
// writes the distance from `position` in parsecs, "%.8f". Only characters
// 32..126 are drawn (the space as an empty quad). At most `maxGlyphs`
// characters are written, whole labels only. Returns the number of glyphs.
// With `boxes`, one box per labelled result (empty for a label left out).
// The result of index `alwaysNamed` (the selected star), and the first
// `namedFirst` results (the places marked on the sky), have their name as
// their first line even when no choice writes the name.
uint32_t buildLabels(const std::vector<SearchResult>& results, const uint8_t choices[LABEL_CHOICES],
                     const int64_t position[3], const DisplayFont& font, int fontSize, std::vector<LabelVertex>& out,
                     uint32_t maxGlyphs = LABEL_GLYPH_CAPACITY, std::vector<LabelBox>* boxes = nullptr,
                     int alwaysNamed = -1, size_t namedFirst = 0);

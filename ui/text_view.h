// The text block the panel shows in the star display area: the help screen
// of a page, an information page, the licences or the selected star's facts,
// composed in the mark-up, laid out in the display font and shown in the
// "Text" window, which scrolls when the block is taller than the window.
#pragma once

#include <cstdint>

#include "text/info_pages.h"
#include "text/markup.h"

struct ProgramState;
struct StarField;

struct TextView {
    TextBlockCache cache;
    TextBlock block;
    bool rebuilt = false;  // laid out again this frame: the renderer must draw it
    GpuFacts gpu;          // the device's facts, for the GPU page
    int maxImageSize = 4096;  // the device's largest 2-D image side
    // What the block in the cache was laid out for.
    uint32_t fontSize = ~0u;
    int displayWidth = 0, displayHeight = 0;
};

// The marked-up text and the width of the block of an id; false for an id of
// no block.
struct TextSource {
    std::string text;
    int width = 0;
};
bool composeTextBlock(const TextView& view, const ProgramState& state, StarField& engine, int blockId,
                      TextSource& source);

// Lays out the block the panel asks for this frame (state.panel.textBlockId) unless
// it is the block laid out last; a changed display font or display size, a
// refresh request of the panel and changed labels lay it out again.
void updateTextView(TextView& view, ProgramState& state, StarField& engine);

// The "Text" window at the outer edge of the star display, showing the block;
// records its width as the help margin (the stars are drawn beside it).
void drawTextWindow(const TextView& view, ProgramState& state);

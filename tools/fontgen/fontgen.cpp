// fontgen: rasterises the display font at build time.
//
//   fontgen FONT.ttf OUTPUT_DIRECTORY
//
// Renders the printable ASCII characters (codes 32..126) of the typeface in 19
// pixel sizes with FreeType, packs every glyph image into one 512 x 2048 atlas
// of coverage bytes, and writes display_font_data.h and display_font_data.cpp:
// the atlas, the glyph table (19 sizes x 95 characters x 7 int16 values: atlas
// x, atlas y, width, height, x offset from the pen, y offset from the line top,
// advance) and builtinDisplayFont(), which the program links.
//
// The pixel sizes are chosen by the tool, not written down: size 0, 3 and 18
// are the sizes whose space and "M" advances come closest to 3 and 10, 4 and
// 12, 18 and 63 pixels; the sizes between them grow geometrically.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int SIZES = 19;
constexpr int FIRST = 32;
constexpr int COUNT = 95;
constexpr int ATLAS_W = 512;
constexpr int ATLAS_H = 2048;

struct Anchor {
    int size;
    int space;  // advance of " ", pixels
    int m;      // advance of "M", pixels
};
constexpr Anchor ANCHORS[] = {{0, 3, 10}, {3, 4, 12}, {18, 18, 63}};

// Light hinting snaps vertical stems and heights to the pixel grid without
// distorting the shapes, which keeps small sizes crisp.
constexpr FT_Int32 LOAD_FLAGS = FT_LOAD_TARGET_LIGHT;

struct Glyph {
    int size = 0, index = 0;
    int width = 0, height = 0;
    int left = 0, top = 0;  // FreeType's bitmap_left and bitmap_top
    int advance = 0;
    int atlasX = 0, atlasY = 0;
    std::vector<uint8_t> pixels;
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "fontgen: %s\n", message.c_str());
    std::exit(1);
}

void setSize(FT_Face face, FT_F26Dot6 em64) {
    if (FT_Set_Char_Size(face, 0, em64, 72, 72) != 0) fail("cannot set the character size");
}

int advanceOf(FT_Face face, char c) {
    if (FT_Load_Char(face, static_cast<unsigned char>(c), LOAD_FLAGS) != 0) fail("cannot load a glyph");
    return static_cast<int>((face->glyph->advance.x + 32) >> 6);
}

// The em size (1/64 pixel) whose space and "M" advances are nearest to the
// anchor's: the middle of the first run of sizes with the least error.
FT_F26Dot6 anchorSize(FT_Face face, const Anchor& a) {
    int best = 1 << 30;
    FT_F26Dot6 runStart = 0, runEnd = 0;
    bool inRun = false;
    for (FT_F26Dot6 em = 6 * 64; em <= 120 * 64; em += 4) {
        setSize(face, em);
        const int error = std::abs(advanceOf(face, ' ') - a.space) + std::abs(advanceOf(face, 'M') - a.m);
        if (error < best) {
            best = error;
            runStart = runEnd = em;
            inRun = true;
        } else if (error == best && inRun) {
            runEnd = em;
        } else {
            inRun = false;
        }
    }
    return (runStart + runEnd) / 2;
}

std::vector<FT_F26Dot6> chooseSizes(FT_Face face) {
    std::vector<double> em(SIZES, 0);
    for (const Anchor& a : ANCHORS) em[a.size] = static_cast<double>(anchorSize(face, a));
    for (size_t k = 0; k + 1 < std::size(ANCHORS); ++k) {
        const int lo = ANCHORS[k].size, hi = ANCHORS[k + 1].size;
        for (int s = lo + 1; s < hi; ++s) {
            const double t = static_cast<double>(s - lo) / (hi - lo);
            em[s] = em[lo] * std::pow(em[hi] / em[lo], t);
        }
    }
    std::vector<FT_F26Dot6> out(SIZES);
    for (int s = 0; s < SIZES; ++s) out[s] = static_cast<FT_F26Dot6>(std::lround(em[s]));
    return out;
}

// Cuts the bitmap to the rows and columns that hold coverage (FreeType's box
// follows the outline's control points and may have empty edges).
void trim(Glyph& g) {
    int x0 = g.width, x1 = -1, y0 = g.height, y1 = -1;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.pixels[static_cast<size_t>(y) * g.width + x] != 0) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0) fail("a printable character has no coverage");
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    std::vector<uint8_t> cut(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            cut[static_cast<size_t>(y) * w + x] = g.pixels[static_cast<size_t>(y + y0) * g.width + x + x0];
    g.pixels = std::move(cut);
    g.width = w;
    g.height = h;
    g.left += x0;
    g.top -= y0;
}

std::vector<Glyph> rasterise(FT_Face face, const std::vector<FT_F26Dot6>& sizes) {
    std::vector<Glyph> glyphs;
    for (int s = 0; s < SIZES; ++s) {
        setSize(face, sizes[s]);
        for (int i = 0; i < COUNT; ++i) {
            if (FT_Load_Char(face, FIRST + i, LOAD_FLAGS | FT_LOAD_RENDER) != 0) fail("cannot render a glyph");
            const FT_GlyphSlot slot = face->glyph;
            if (FT_Get_Char_Index(face, FIRST + i) == 0) fail("the typeface lacks a printable ASCII character");
            Glyph g;
            g.size = s;
            g.index = i;
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
            const FT_Bitmap& bm = slot->bitmap;
            if (bm.pixel_mode != FT_PIXEL_MODE_GRAY) fail("unexpected bitmap format");
            if (FIRST + i != ' ' && bm.width > 0 && bm.rows > 0) {
                g.width = static_cast<int>(bm.width);
                g.height = static_cast<int>(bm.rows);
                g.left = slot->bitmap_left;
                g.top = slot->bitmap_top;
                g.pixels.resize(static_cast<size_t>(g.width) * g.height);
                for (int y = 0; y < g.height; ++y)
                    for (int x = 0; x < g.width; ++x)
                        g.pixels[static_cast<size_t>(y) * g.width + x] = bm.buffer[y * bm.pitch + x];
                trim(g);
            }
            glyphs.push_back(std::move(g));
        }
    }
    return glyphs;
}

// Shelf packing, tallest glyphs first, with `gap` empty texels between
// neighbours. False when the atlas is too small.
bool pack(std::vector<Glyph>& glyphs, int gap) {
    std::vector<Glyph*> order;
    for (Glyph& g : glyphs)
        if (g.width > 0) order.push_back(&g);
    std::stable_sort(order.begin(), order.end(), [](const Glyph* a, const Glyph* b) {
        return a->height != b->height ? a->height > b->height : a->width > b->width;
    });
    int x = 0, y = 0, shelf = 0;
    for (Glyph* g : order) {
        if (g->width > ATLAS_W) return false;
        if (x + g->width > ATLAS_W) {
            y += shelf + gap;
            x = 0;
            shelf = 0;
        }
        if (y + g->height > ATLAS_H) return false;
        g->atlasX = x;
        g->atlasY = y;
        x += g->width + gap;
        shelf = std::max(shelf, g->height);
    }
    return true;
}

void writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0)
        fail("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) fail("usage: fontgen FONT.ttf OUTPUT_DIRECTORY");
    const std::string fontPath = argv[1], outDir = argv[2];
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) fail("cannot start FreeType");
    FT_Face face;
    if (FT_New_Face(library, fontPath.c_str(), 0, &face) != 0) fail("cannot open " + fontPath);

    const std::vector<FT_F26Dot6> sizes = chooseSizes(face);
    std::vector<Glyph> glyphs = rasterise(face, sizes);
    if (!pack(glyphs, 1) && !pack(glyphs, 0)) fail("the glyphs do not fit the atlas");

    // y offsets from the line top: the top of the tallest glyph of the size is row 0.
    std::vector<int> maxTop(SIZES, -100000);
    for (const Glyph& g : glyphs)
        if (g.width > 0) maxTop[g.size] = std::max(maxTop[g.size], g.top);

    std::vector<uint8_t> atlas(static_cast<size_t>(ATLAS_W) * ATLAS_H, 0);
    for (const Glyph& g : glyphs)
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x)
                atlas[static_cast<size_t>(g.atlasY + y) * ATLAS_W + g.atlasX + x] =
                    g.pixels[static_cast<size_t>(y) * g.width + x];

    std::string header =
        "// Generated at build time by tools/fontgen. Do not edit.\n"
        "#pragma once\n\n"
        "#include \"starfield/display_font.h\"\n\n"
        "// The atlas and glyph table rasterised from the display typeface.\n"
        "// (one byte more than the atlas: the terminator of the literal it is written as)\n"
        "extern const uint8_t DISPLAY_FONT_ATLAS[FONT_ATLAS_WIDTH * FONT_ATLAS_HEIGHT + 1];\n"
        "extern const GlyphMetrics DISPLAY_FONT_GLYPHS[FONT_SIZE_COUNT * FONT_GLYPH_COUNT];\n"
        "// The pixel size of each size index, in 1/64 pixel.\n"
        "extern const int32_t DISPLAY_FONT_PIXEL_SIZES[FONT_SIZE_COUNT];\n\n"
        "// The font built into the program (its line heights worked out once).\n"
        "const DisplayFont& builtinDisplayFont();\n";

    std::string source;
    source.reserve(4 << 20);
    source += "// Generated at build time by tools/fontgen from " + fontPath + ". Do not edit.\n";
    source += "#include \"display_font_data.h\"\n\n";
    // The atlas as string literals, one row per line, in octal escapes as short
    // as the escape that follows allows. The array has room for the literal's
    // terminating NUL after the last row.
    source += "const uint8_t DISPLAY_FONT_ATLAS[FONT_ATLAS_WIDTH * FONT_ATLAS_HEIGHT + 1] =\n";
    char buf[8];
    for (int y = 0; y < ATLAS_H; ++y) {
        source += "\"";
        for (int x = 0; x < ATLAS_W; ++x) {
            std::snprintf(buf, sizeof buf, "\\%o", atlas[static_cast<size_t>(y) * ATLAS_W + x]);
            source += buf;
        }
        source += y + 1 < ATLAS_H ? "\"\n" : "\";\n\n";
    }
    source += "const GlyphMetrics DISPLAY_FONT_GLYPHS[FONT_SIZE_COUNT * FONT_GLYPH_COUNT] = {\n";
    for (const Glyph& g : glyphs) {
        const int yOffset = g.width > 0 ? maxTop[g.size] - g.top : 0;
        char line[160];
        std::snprintf(line, sizeof line, "    {%d, %d, %d, %d, %d, %d, %d},  // size %d '%c'\n", g.atlasX, g.atlasY,
                      g.width, g.height, g.width > 0 ? g.left : 0, yOffset, g.advance, g.size, FIRST + g.index);
        source += line;
    }
    source += "};\n\n";
    source += "const int32_t DISPLAY_FONT_PIXEL_SIZES[FONT_SIZE_COUNT] = {";
    for (int s = 0; s < SIZES; ++s) source += (s ? ", " : "") + std::to_string(sizes[s]);
    source += "};\n\n";
    source +=
        "const DisplayFont& builtinDisplayFont() {\n"
        "    static const DisplayFont font = makeDisplayFont(DISPLAY_FONT_ATLAS, DISPLAY_FONT_GLYPHS);\n"
        "    return font;\n"
        "}\n";

    writeFile(outDir + "/display_font_data.h", header);
    writeFile(outDir + "/display_font_data.cpp", source);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return 0;
}

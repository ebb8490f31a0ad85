// starloom-cli textblock: one of the program's text blocks, laid out with the
// program's own mark-up layout and display font, drawn into a grey PNG.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "display_font_data.h"
#include "files/png_file.h"
#include "star_session.h"
#include "starfield/search.h"
#include "starloom_version.h"
#include "text/help_texts.h"
#include "text/info_pages.h"
#include "text/licences.h"
#include "text/markup.h"
#include "text/star_info.h"

const char* const TEXTBLOCK_HELP =
    "usage: starloom-cli textblock WHAT [--width W] [--size N] --png OUT\n\n"
    "Lays out one of the program's text blocks with its own mark-up layout and\n"
    "display font and writes it as a grey PNG (white text on black), as the star\n"
    "display would show it. WHAT is one of:\n"
    "  help N                the help screen of control-panel page N (0..7)\n"
    "  info N                Information sub-page N: 0 Road Map, 1 Star Counts,\n"
    "                        2 Platform, 4 Change Log, 5 Known Bugs (3, the GPU\n"
    "                        page, needs a device)\n"
    "  licenses              the licence texts\n"
    "  star K [--at X Y Z]   the information block of the K-th star (1..100) that\n"
    "                        a search at the position finds (default: the default\n"
    "                        viewpoint), after the star field there is complete\n"
    "--width W is the block's width in pixels (default 800; the star block is as\n"
    "wide as its measured column), --size N the display font size 0..18\n"
    "(default 3). Prints the block's size and glyph count.\n";

namespace {

bool parseIndex(const char* text, int lo, int hi, int& out) {
    int32_t v = 0;
    if (!parseInt32(text, v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

int runTextblock(int argc, char** argv) {
    if (argc < 1) {
        std::printf("error: textblock needs WHAT (help N, info N, licenses or star K)\n");
        return 2;
    }
    const std::string what = argv[0];
    int index = 0;
    int i = 1;
    if (what == "help" || what == "info" || what == "star") {
        const int hi = what == "help" ? HELP_PAGE_COUNT - 1 : what == "info" ? INFO_PAGE_COUNT - 1 : 100;
        const int lo = what == "star" ? 1 : 0;
        if (argc < 2 || !parseIndex(argv[1], lo, hi, index)) {
            std::printf("error: %s needs a number %d..%d\n", what.c_str(), lo, hi);
            return 2;
        }
        if (what == "info" && index == INFO_GPU) {
            std::printf("error: the GPU page needs a Vulkan device; starloom-cli has none\n");
            return 2;
        }
        i = 2;
    } else if (what != "licenses") {
        std::printf("error: unknown text block '%s'\n", what.c_str());
        return 2;
    }

    int width = 800;
    int size = DEFAULT_DISPLAY_FONT_SIZE;
    bool widthGiven = false;
    std::string png;
    int64_t at[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--width") == 0 && i + 1 < argc) {
            if (!parseIndex(argv[++i], 1, 16384, width)) {
                std::printf("error: --width must be 1..16384\n");
                return 2;
            }
            widthGiven = true;
        } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            if (!parseIndex(argv[++i], 0, FONT_SIZE_COUNT - 1, size)) {
                std::printf("error: --size must be 0..%d\n", FONT_SIZE_COUNT - 1);
                return 2;
            }
        } else if (std::strcmp(argv[i], "--png") == 0 && i + 1 < argc) {
            png = argv[++i];
        } else if (std::strcmp(argv[i], "--at") == 0 && what == "star") {
            if (!parseAt(argc, argv, i, at)) return 2;
        } else {
            std::printf("error: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (png.empty()) {
        std::printf("error: --png OUT is required\n");
        return 2;
    }

    const TextLayoutSettings settings{&builtinDisplayFont(), size, 16384};
    std::string text;
    int blockId = 0;
    if (what == "help") {
        text = helpText(index);
        blockId = HELP_BLOCK_IDS[index];
    } else if (what == "licenses") {
        text = licencesText();
        blockId = LICENCE_BLOCK_ID;
    } else if (what == "info") {
        blockId = INFO_BLOCK_IDS[index];
        switch (index) {
            case INFO_ROAD_MAP: text = roadMapText(); break;
            case INFO_PLATFORM: text = platformText(STARLOOM_VERSION); break;
            case INFO_CHANGE_LOG: text = changeLogText(); break;
            case INFO_KNOWN_BUGS: text = knownBugsText(); break;
            default: {
                const Galaxy galaxy = buildGalaxy();
                text = starCountsText(kindTotals(galaxy.components.get(), galaxy.count));
                break;
            }
        }
    } else {
        StarSession session;
        session.runToCompletion(at);
        const GalaxySeed seed = session.input.settings.seed;
        searchNearest(*session.field, seed, at[0], at[1], at[2]);
        const std::vector<SearchResult>& results = session.field->searchResults;
        if (index < 1 || static_cast<size_t>(index) > results.size()) {
            std::printf("error: the search found %zu stars\n", results.size());
            return 1;
        }
        const SearchResult& star = results[static_cast<size_t>(index) - 1];
        const StarProperties properties = foundStarProperties(session.galaxy.components[0].populations, seed, star);
        text = starInfoText(star, at, properties);
        blockId = STAR_INFO_BLOCK_ID;
        if (!widthGiven) width = measureText(settings, STAR_INFO_MEASURE_TEXT).width;
    }

    TextBlockCache cache;
    TextBlock block;
    layoutTextBlock(cache, block, settings, width, 1, blockId, text);
    std::vector<uint8_t> pixels;
    drawTextBlockPixels(block, *settings.font, pixels);
    std::string error;
    if (!writePng(png, block.width, block.height, 1, pixels.data(), error)) {
        std::printf("error: %s\n", error.c_str());
        return 1;
    }
    std::printf("%dx%d %u glyphs\n", block.width, block.height,
                static_cast<unsigned>(block.vertexCount / TEXT_VERTICES_PER_GLYPH));
    return 0;
}

// The texts shown as text blocks (help screens, information pages, the
// licence page and the star information block) and the display font
// generated at build time that draws them.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "display_font_data.h"
#include "numeric/constants.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"
#include "tests/test_support.h"
#include "text/help_texts.h"
#include "text/info_pages.h"
#include "text/licences.h"
#include "text/markup.h"
#include "text/star_info.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Every character is printable ASCII or a line end or tab.
bool plainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (!(c == '\n' || c == '\t' || (c >= 32 && c <= 126))) return false;
    return true;
}

// Every help and information page, and the licence page, starts with its
// heading and holds plain ASCII alone; no two text blocks share an id, and none is 0 (the cleared
// cache).
TEST(TextPages, HeadingsAndDistinctBlockIds) {
    const char* const headings[HELP_PAGE_COUNT] = {"Overview",           "Controls Help",      "Navigation Help",
                                                   "Display Help",       "Catalog Help",       "User Interface Help",
                                                   "Display Tweaks Help", "Information Help"};
    std::vector<std::pair<std::string, std::string>> pages = {
        {roadMapText(), "Road Map"}, {changeLogText(), "Change Log"}, {knownBugsText(), "Known Bugs"},
        {licencesText(), "Starloom"}};
    for (int p = 0; p < HELP_PAGE_COUNT; ++p) {
        pages.emplace_back(helpText(p), headings[p]);
        EXPECT_TRUE(contains(helpText(p), "|i4")) << p;
    }
    for (const auto& [text, heading] : pages) {
        EXPECT_EQ(text.rfind("|i0|#4" + heading + "\n", 0), 0u) << heading;
        EXPECT_TRUE(plainAscii(text)) << heading;
    }
    EXPECT_EQ(helpText(-1), nullptr);
    EXPECT_EQ(helpText(HELP_PAGE_COUNT), nullptr);
    std::vector<int> ids(INFO_BLOCK_IDS, INFO_BLOCK_IDS + INFO_PAGE_COUNT);
    ids.insert(ids.end(), HELP_BLOCK_IDS, HELP_BLOCK_IDS + HELP_PAGE_COUNT);
    ids.insert(ids.end(), {LICENCE_BLOCK_ID, STAR_INFO_BLOCK_ID, 0});
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()).size(), ids.size());
}

// A line of mark-up without its indent codes: tab stops are cursor positions,
// which do not include the indent.
std::string withoutIndent(std::string line) {
    for (size_t at; (at = line.find("|i")) != std::string::npos;) line.erase(at, 3);
    return line;
}

// In the two-column lists, the first row's tabs must reach past every term
// of the rows that follow it, at every display font size; otherwise a
// description would be drawn over its term. And, at the default size, not
// much further, or the descriptions are squeezed into a narrow column.
TEST(HelpTexts, KeyListColumnsClearTheirTermsAtEverySize) {
    const DisplayFont& font = builtinDisplayFont();
    for (int p = 0; p < HELP_PAGE_COUNT; ++p) {
        for (int size = 0; size < FONT_SIZE_COUNT; ++size) {
            const TextLayoutSettings s{&font, size, 16384};
            const int tab = measureText(s, "\t").width - measureText(s, "").width;
            int stop = -1, widest = 0;
            for (const std::string& line : lines(helpText(p))) {
                const size_t set = line.find("|>a");
                const size_t go = line.find("|<a");
                if (set != std::string::npos) {
                    stop = measureText(s, withoutIndent(line.substr(0, set))).width;
                    widest = measureText(s, withoutIndent(line.substr(0, line.find('\t')))).width;
                }
                if (go == std::string::npos) continue;
                ASSERT_GE(stop, 0) << "page " << p << ": stop a used before it is set";
                const int term = measureText(s, withoutIndent(line.substr(0, go))).width;
                EXPECT_LT(term, stop) << "page " << p << " size " << size << ": " << line;
                widest = std::max(widest, term);
            }
            if (stop >= 0 && size == DEFAULT_DISPLAY_FONT_SIZE) {
                EXPECT_LE(stop - widest, 5 * tab) << "page " << p;
            }
        }
    }
}

// Each count is rounded for itself and the total from the exact counts: here
// the rounded counts add up to 126.458, one above it.
TEST(InfoPages, StarCountsInBillionsAndTheirExactTotal) {
    EXPECT_EQ(starCountsText({1000499999, 1000500001, 999500001, 0, 123456789012}),
              "|i0|#4Star Counts: |#-4(in billions)|i4\n"
              "Core   |>a:|f   1.000|v\n"
              "Arms|<a:|f   1.001|v\n"
              "Disc|<a:|f   1.000|v\n"
              "Halo|<a:|f   0.000|v\n"
              "Rogue|<a:|f 123.457|v\n"
              "Total|<a:|f 126.457|v\n");
}

TEST(InfoPages, PlatformTellsTheTruth) {
    const std::string text = platformText("9.8.7");
    EXPECT_EQ(text.rfind("|#4Platform and CPU Information|#-4\n", 0), 0u);
    EXPECT_TRUE(contains(text, "\nVersion: 9.8.7\n"));
    utsname u{};
    ASSERT_EQ(uname(&u), 0);
    const std::string machine = u.machine;
    EXPECT_TRUE(std::string(u.sysname) != "Linux" || contains(text, "\nPlatform: Linux\n"));
    EXPECT_TRUE(machine != "x86_64" || contains(text, "\nCPU: x86-64\n"));
    EXPECT_TRUE(machine != "aarch64" || contains(text, "\nCPU: AArch64\n"));
#ifdef NDEBUG
    EXPECT_TRUE(contains(text, "\nDebug: off\n"));
#else
    EXPECT_TRUE(contains(text, "\nDebug: on\n"));
#endif
}

TEST(InfoPages, GpuPageShowsTheDevicesValues) {
    GpuFacts gpu;
    gpu.apiVersion = (1u << 22) | (3u << 12) | 239u;
    gpu.deviceName = "llvmpipe | test";
    gpu.heaps = {{1, 8589934592ull}, {0, 268435456ull}};
    gpu.memoryTypes = {{0x7, 0}, {0xF, 0}, {0x6, 1}};
    gpu.allMemoryHostVisible = true;
    gpu.shaderFloat64 = false;
    gpu.maxUniformBufferRange = 65536;
    gpu.sampleCount = 4;
    gpu.supportedSampleCounts = 0x7F;
    gpu.screenWidth = 1199;
    gpu.screenHeight = 799;
    gpu.hostCopies = 12;
    gpu.gpuCopies = 345;
    EXPECT_EQ(gpuText(gpu, "0.1.0"),
              "|#4GPU Information|#-4\nIt may be useful to include a screenshot of this with bug reports\n\n"
              "Version: 0.1.0\n"
              "Vulkan: 1.3.239\n"
              "Device: llvmpipe || test\n"
              "Local Mem: Y, 64-bit float: N\n"
              "Heap: 1:8589934592\n"
              "  Mem :7\n"
              "  Mem :f\n"
              "Heap: 0:268435456\n"
              "  Mem :6\n"
              "Max UBO: 64k\n"
              "Sampling: 4/7f\n"
              "Screen: 1199x799\n"
              "Transfer: mem: 12, pci:345\n");
    EXPECT_EQ(vulkanVersionText((1u << 29) | (1u << 22) | 42u), "1.0.42");  // the variant bits are not the major
}

// The section of the licence page under a heading, up to the next heading.
std::string section(const std::string& text, const std::string& title) {
    const size_t at = text.find("|i0|#4" + title + "\n");
    if (at == std::string::npos) return {};
    const size_t end = text.find("|i0|#4", at + 1);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

TEST(Licences, TheRightLicenceUnderEveryHeadingLaidOutAtEveryWidth) {
    const std::string text = licencesText();
    EXPECT_TRUE(contains(section(text, "Starloom"), "|H"));
    EXPECT_TRUE(contains(section(text, "Starloom"), "|E"));
    // What each section must hold, and what it must not: GLFW's packaging licence is not the library's,
    // xxHash's "Neither the name" would be the 3-clause licence; letters with marks are plain letters.
    const std::tuple<const char*, std::vector<const char*>, const char*> holds[] = {
        {"Dear ImGui", {"Omar Cornut", "MIT License", "Permission is hereby granted, free of charge"}, nullptr},
        {"GLFW", {"zlib/libpng License", "The origin of this software must not be misrepresented", "Camilla Lowy"},
         "GNU General Public License"},
        {"GLM", {"G-Truc Creation", "MIT License"}, nullptr},
        {"xxHash", {"BSD 2-Clause License", "Redistributions in binary form must reproduce"}, "Neither the name"},
        {"Roboto font", {"Google", "Apache License Version 2.0, January 2004", "END OF TERMS AND CONDITIONS",
                         "TERMS AND CONDITIONS FOR USE, REPRODUCTION, AND DISTRIBUTION"}, nullptr},
        {"Vulkan loader", {"Apache License 2.0", "Khronos"}, nullptr},
    };
    for (const auto& [title, present, absent] : holds) {
        for (const char* part : present) EXPECT_TRUE(contains(section(text, title), part)) << title << ": " << part;
        EXPECT_TRUE(!absent || !contains(section(text, title), absent)) << title << ": " << absent;
    }
    // The whole page lays out at every width.
    for (int width : {200, 800, 3000}) {
        TextBlockCache cache;
        TextBlock block;
        layoutTextBlock(cache, block, {&builtinDisplayFont(), 3, 32767}, width, 1, LICENCE_BLOCK_ID, text);
        EXPECT_EQ(block.droppedGlyphs, 0u) << width;
        EXPECT_GT(block.vertexCount / 6, 10000u) << width;
    }
}

TEST(StarInfo, DistanceUnitsAndTheirThresholds) {
    const double au = 14959787.0691, pc = 1.0 / UNIT_PARSECS_DOUBLE;
    // 1000 AU (14959786919.5 units) is shown in parsecs.
    const std::pair<double, const char*> cases[] = {
        {au, "1.00000000 AU"},                {0.5 * au, "0.50000000 AU"},          {999.5 * au, "999.50000000 AU"},
        {14959786919.50213, "  0.00484814 pc"}, {1.5 * pc, "  1.50000000 pc"},      {999.99 * pc, "999.99000000 pc"},
        {999.999996 * pc, "  1.00000000 kpc"}, {25000 * pc, " 25.00000000 kpc"},
        {999999.95 * pc, "999.99995000 kpc"}, {999999.996 * pc, "  1.00000000 Mpc"}, {2.5e6 * pc, "  2.50000000 Mpc"}};
    for (const auto& [distance, shown] : cases) EXPECT_EQ(starDistanceText(distance), shown) << distance;
}

TEST(StarInfo, EveryLineInItsFormat) {
    SearchResult r;
    std::snprintf(r.name, sizeof r.name, "X-AB|C-7");
    const double pc = 1.0 / UNIT_PARSECS_DOUBLE;
    r.star.x = static_cast<int64_t>(100 * pc);
    r.star.y = static_cast<int64_t>(-2.5 * pc);
    r.star.z = 0;
    std::memcpy(r.star.colour, "\x7f\x00\x40", 3);
    StarProperties p;
    p.absMagnitude = xf::fromDouble(4.83);
    p.temperature = xf::fromDouble(5778.4);
    p.radius = xf::fromDouble(2.0);
    p.spectralClass = 4;
    p.completed = 1;
    const int64_t viewpoint[3] = {static_cast<int64_t>(100 * pc), static_cast<int64_t>(7.5 * pc), 0};  // 10 pc away
    // At 10 parsecs apparent equals absolute magnitude; the radius is two solar radii of 695508 km.
    const std::string type = spectralClassName(p);
    EXPECT_EQ(starInfoText(r, viewpoint, p), "Name: X-AB||C-7\n"
                                             "|fx|v: |f    100.0000000000|v pc\n"
                                             "|fy|v: |f     -2.5000000000|v pc\n"
                                             "|fz|v: |f      0.0000000000|v pc\n"
                                             "Distance: 10.00000000 pc\n"
                                             "Type: " + type + "\n"
                                             "Magnitude:  4.83\n"
                                             "Abs Magnitude:  4.83\n"
                                             "Temperature: 5778 K\n"
                                             "Colour: #FE0080\n"
                                             "Radius: 1391016 km\n");
    // 100 parsecs further the star is five magnitudes fainter.
    const int64_t far[3] = {static_cast<int64_t>(100 * pc), static_cast<int64_t>(97.5 * pc), 0};
    EXPECT_EQ(lines(starInfoText(r, far, p))[6], "Magnitude:  9.83");
}

TEST(StarInfo, PropertiesOfFoundStarsMatchTheirRecords) {
    const Galaxy& g = builtGalaxy();
    StarField field(g);
    searchNearest(field, GalaxySeed{}, DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]);
    ASSERT_EQ(field.searchResults.size(), 100u);
    const PopulationTable& table = g.components[0].populations;
    for (const SearchResult& r : field.searchResults) {
        const StarProperties p = foundStarProperties(table, GalaxySeed{}, r);
        // The record's radius comes from the display's float formula at the
        // same draw (within its approximations); a wrong tier would be far off.
        EXPECT_NEAR(toDouble(p.radius), r.star.radius, 1e-2 * r.star.radius) << r.name;
        EXPECT_EQ(p.population, r.star.population);
        EXPECT_EQ(p.completed, 1);
        EXPECT_GT(toDouble(p.temperature), 1000.0);
    }
}

TEST(StarInfo, TheCommandLineToolDrawsTextBlocks) {
    const TempFolder folder("starloom-textblock");
    const CliRun run = runCli("textblock help 1 --width 640 --size 5 --png " + folder.at("help.png"));
    ASSERT_EQ(run.status, 0) << run.out;
    int w = 0, h = 0;
    unsigned glyphs = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "%dx%d %u glyphs", &w, &h, &glyphs), 3) << run.out;
    EXPECT_EQ(w, 640);
    EXPECT_GT(glyphs, 300u);
    // The PNG header holds the same size, as two big-endian words.
    const std::string head = readFile(folder.at("help.png")) + std::string(24, '?');
    EXPECT_EQ(head.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(head.substr(16, 8), std::string({0, 0, char(w >> 8), char(w), 0, 0, char(h >> 8), char(h)}));
    // Malformed requests: the GPU page, a page beyond the last, no output file, no such text.
    for (const char* bad : {"info 3 --png /tmp/x.png", "help 8 --png /tmp/x.png", "help 1", "poem --png /tmp/x.png"})
        EXPECT_EQ(runCli(std::string("textblock ") + bad).status, 2) << bad;
}

// The display font: every glyph where the table says, packed without overlap,
// with consistent metrics at every size.
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

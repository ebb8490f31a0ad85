#include "text/markup.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int TAB_STOPS = 32;
constexpr int INT16_LIMIT = 32767;

// What a break point must restore when the words after it move to the next line.
struct LineState {
    size_t pos = 0;          // next character of the text
    int size = 0;            // current size index
    int lineHeight = 0;      // tallest size on the line so far
    int indent = 0;
    int shift = 0;           // baseline shift of the current size
    int maxBaseline = 0;     // largest baseline reference of the glyphs drawn so far
    bool fixed = false;      // fixed-width digits
    int link = 0;            // 0 none, 1 prefix inserted (host follows), 2 inside the path
    int cursorX = 0;
    int hang = 0;            // where a wrapped line goes on: the tab stop the line went to last
    bool lineUsed = false;   // something advanced the cursor on this line
    bool glyphOnLine = false;  // a glyph was drawn on this line
    int lineBottom = 0;      // lowest line box (shift + line height) of the glyphs on the line
    int tabs[TAB_STOPS] = {};
    uint32_t vertexCount = 0;
    uint32_t dropped = 0;    // glyphs that could not be stored
};

struct Layout {
    const DisplayFont& font;
    std::string_view text;
    bool measure;
    int width;
    int startSize;
    int margin;     // the space width of the starting size
    int digitCell;  // the widest digit of the starting size
    TextVertex* out = nullptr;
    size_t capacity = 0;

    LineState s;
    LineState breakPoint;
    bool haveBreak = false;
    const char* insert = nullptr;  // link fragment being inserted
    int lineTop = 0;
    int previousBottom = 0;  // where the line before this one ends
    int lowestGlyph = 0;  // bottom of the lowest glyph drawn
    int widest = 0;       // widest line: indent + cursor

    Layout(const DisplayFont& f, std::string_view t, bool measureOnly, int w, int displaySize)
        : font(f), text(t), measure(measureOnly), width(w), startSize(clampFontSize(displaySize)) {
        margin = glyphAt(font, startSize, ' ').advance;
        digitCell = 0;
        for (int c = '0'; c <= '9'; ++c) digitCell = std::max<int>(digitCell, glyphAt(font, startSize, c).advance);
        s.size = startSize;
        s.lineHeight = font.lineHeight[startSize];
    }

    bool crosses(int cursor) const { return !measure && margin * 2 + s.indent + cursor > width; }

    void noteWidth() { widest = std::max(widest, s.indent + s.cursorX); }

    void newLine(bool lineEnd) {
        noteWidth();
        previousBottom = std::max(lineTop + s.lineHeight, s.lineBottom);
        lineTop += s.lineHeight;
        // A line that went to a tab stop (the second column of a two-column
        // list) goes on under that column when it wraps.
        if (lineEnd) s.hang = 0;
        s.cursorX = s.hang;
        s.lineUsed = false;
        s.glyphOnLine = false;
        s.lineBottom = 0;
        if (lineEnd) s.size = startSize;
        s.lineHeight = font.lineHeight[s.size];
        haveBreak = false;
    }

    void setSize(int size) {
        s.size = std::clamp(size, 0, FONT_SIZE_COUNT - 1);
        s.lineHeight = std::max<int>(s.lineHeight, font.lineHeight[s.size]);
        s.shift = std::max(0, s.maxBaseline - font.baseline[s.size]);
    }

    void emit(int left, int top, const GlyphMetrics& g) {
        const int right = left + g.width, bottom = top + g.height;
        if (left < -INT16_LIMIT || top < -INT16_LIMIT || right > INT16_LIMIT || bottom > INT16_LIMIT ||
            s.vertexCount + TEXT_VERTICES_PER_GLYPH > capacity) {
            ++s.dropped;
            return;
        }
        const auto v = [](int x, int y, int u, int w) {
            return TextVertex{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<int16_t>(u),
                              static_cast<int16_t>(w)};
        };
        const int u0 = g.atlasX, v0 = g.atlasY, u1 = g.atlasX + g.width, v1 = g.atlasY + g.height;
        TextVertex* q = out + s.vertexCount;
        q[0] = v(left, top, u0, v0);
        q[1] = v(left, bottom, u0, v1);
        q[2] = v(right, top, u1, v0);
        q[3] = v(right, bottom, u1, v1);
        q[4] = q[2];
        q[5] = q[1];
        s.vertexCount += TEXT_VERTICES_PER_GLYPH;
        lowestGlyph = std::max(lowestGlyph, bottom);
    }

    // Draws one printable character at the cursor; wraps when it crosses the width.
    void drawChar(int c) {
        if (!isFontCharacter(c)) return;
        const GlyphMetrics& g = glyphAt(font, s.size, c);
        const int pad = s.fixed && c != '.' && g.advance < digitCell ? digitCell - g.advance : 0;
        const bool alone = !s.lineUsed;
        const uint32_t before = s.vertexCount;
        if (!s.glyphOnLine) {
            // Text shifted down to a larger size's baseline on the line before
            // may reach below that line's height: start this line below it.
            lineTop = std::max(lineTop, previousBottom - s.shift);
            s.glyphOnLine = true;
        }
        s.lineBottom = std::max(s.lineBottom, lineTop + s.shift + font.lineHeight[s.size]);
        if (!measure && g.width > 0)
            emit(margin + pad + s.cursorX + s.indent + g.xOffset, lineTop + s.shift + g.yOffset, g);
        s.maxBaseline = std::max<int>(s.maxBaseline, font.baseline[s.size]);
        s.cursorX += g.advance + pad;
        s.lineUsed = true;
        if (alone || !crosses(s.cursorX)) return;
        if (haveBreak) {
            // The words after the last space move to the next line: go back
            // to the break point and lay them out again there.
            s = breakPoint;
            insert = nullptr;
            newLine(false);
            return;
        }
        // One long word: the character that crossed starts the next line.
        s.vertexCount = before;
        s.cursorX -= g.advance + pad;
        newLine(false);
        drawChar(c);
    }

    // A space or a tab: moves the cursor on, or starts the next line when
    // that would cross the width; a place where the line may later break.
    void advanceBlank(int step) {
        if (s.lineUsed && crosses(s.cursorX + step)) {
            newLine(false);
            return;
        }
        s.cursorX += step;
        s.lineUsed = true;
        breakPoint = s;
        haveBreak = true;
    }

    static int digit(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

    void run() {
        const size_t n = text.size();
        for (;;) {
            if (insert != nullptr) {
                if (*insert == '\0') {
                    insert = nullptr;
                    continue;
                }
                drawChar(static_cast<unsigned char>(*insert++));
                continue;
            }
            if (s.pos >= n) break;
            const int c = static_cast<unsigned char>(text[s.pos++]);
            if (c == '|') {
                if (s.pos >= n) break;  // a bar at the very end ends the text
                code(static_cast<unsigned char>(text[s.pos++]));
                continue;
            }
            character(c);
        }
        noteWidth();
        if (s.lineUsed) lineTop += s.lineHeight;
    }

    void character(int c) {
        if (c == '\n') {
            newLine(true);
        } else if (c == '\t') {
            advanceBlank(digitCell);
        } else if (c == ' ') {
            if (s.link == 2) {
                drawChar('/');
                return;
            }
            const int advance = glyphAt(font, s.size, ' ').advance;
            advanceBlank(advance + (s.fixed && advance < digitCell ? digitCell - advance : 0));
        } else {
            drawChar(c);  // ignores what the font does not hold
        }
    }

    void code(int c) {
        const size_t n = text.size();
        switch (c) {
            case '#':
                if (s.pos < n && text[s.pos] == '-') {
                    ++s.pos;  // "#-" is the code; without its digit it does nothing
                    if (s.pos < n && digit(text[s.pos]) >= 0) setSize(s.size - digit(text[s.pos++]));
                } else if (s.pos < n && digit(text[s.pos]) >= 0) {
                    setSize(s.size + digit(text[s.pos]));
                    s.pos += 1;
                }
                break;
            case 'i':
                if (s.pos < n && digit(text[s.pos]) >= 0) {
                    s.indent = digit(text[s.pos]) * margin;
                    s.pos += 1;
                }
                break;
            case '>':
                if (s.pos < n) s.tabs[text[s.pos++] & 31] = s.hang = s.cursorX;
                break;
            case '<':
                if (s.pos < n) s.cursorX = s.hang = s.tabs[text[s.pos++] & 31];
                break;
            case 'f':
                s.fixed = true;
                break;
            case 'v':
                s.fixed = false;
                break;
            case 'H':
                insert = LINK_PREFIX_H;
                s.link = 1;
                break;
            case 'G':
                insert = LINK_PREFIX_G;
                s.link = 2;
                break;
            case 'C':
            case 'O':
                if (s.link == 1) {
                    insert = c == 'C' ? LINK_SUFFIX_C : LINK_SUFFIX_O;
                    s.link = 2;
                } else {
                    drawChar(c);
                }
                break;
            case 'E':
                if (s.link == 2) s.link = 0;
                else drawChar(c);
                break;
            case '|':
                drawChar('|');
                break;
            default:
                // Not a code: the character goes on as text, the bar is dropped.
                character(c);
                break;
        }
    }
};

size_t insertedLength(char code) {
    switch (code) {
        case 'H': return sizeof LINK_PREFIX_H - 1;
        case 'G': return sizeof LINK_PREFIX_G - 1;
        case 'C': return sizeof LINK_SUFFIX_C - 1;
        case 'O': return sizeof LINK_SUFFIX_O - 1;
        default: return 0;
    }
}

}  // namespace

std::string markupLiteral(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '|') out += '|';
    }
    return out;
}

size_t textVertexCapacity(std::string_view text) {
    // Every bar followed by a link code may insert its fragment (counting each
    // such pair, even those the layout reads otherwise, only over-counts).
    size_t characters = text.size();
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '|') characters += insertedLength(text[i + 1]);
    return characters * TEXT_VERTICES_PER_GLYPH;
}

bool layoutTextBlock(TextBlockCache& cache, TextBlock& block, const TextLayoutSettings& settings, int width,
                     int height, int blockId, std::string_view text) {
    if (blockId != 0 && blockId == cache.lastId) return false;
    width = std::max(width, 1);
    block.vertices.resize(textVertexCapacity(text));
    Layout layout(*settings.font, text, false, width, settings.displayFontSize);
    layout.out = block.vertices.data();
    layout.capacity = block.vertices.size();
    layout.run();
    block.vertexCount = layout.s.vertexCount;
    block.droppedGlyphs = layout.s.dropped;
    block.contentHeight = std::max(layout.lineTop, layout.lowestGlyph);
    const int half = settings.font->lineHeight[layout.startSize] / 2;
    const int maxSide = std::max(settings.maxImageSize, 1);
    block.width = std::min(width, maxSide);
    block.height = std::min(std::max(block.contentHeight + half, height), maxSide);
    cache.lastId = blockId;
    return true;
}

TextSize measureText(const TextLayoutSettings& settings, std::string_view text) {
    Layout layout(*settings.font, text, true, 1, settings.displayFontSize);
    layout.run();
    return {layout.widest + 2 * layout.margin, layout.lineTop};
}

void drawTextBlockPixels(const TextBlock& block, const DisplayFont& font, std::vector<uint8_t>& pixels) {
    const int w = block.width, h = block.height;
    pixels.assign(static_cast<size_t>(std::max(w, 0)) * std::max(h, 0), 0);
    for (uint32_t k = 0; k + TEXT_VERTICES_PER_GLYPH <= block.vertexCount; k += TEXT_VERTICES_PER_GLYPH) {
        const TextVertex& tl = block.vertices[k];
        const TextVertex& br = block.vertices[k + 3];
        for (int y = tl.y; y < br.y; ++y) {
            if (y < 0 || y >= h) continue;
            for (int x = tl.x; x < br.x; ++x) {
                if (x < 0 || x >= w) continue;
                const int u = tl.u + (x - tl.x), v = tl.v + (y - tl.y);
                const uint8_t c = font.atlas[static_cast<size_t>(v) * FONT_ATLAS_WIDTH + u];
                uint8_t& p = pixels[static_cast<size_t>(y) * w + x];
                p = std::max(p, c);
            }
        }
    }
}

#include "starfield/labels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "numeric/constants.h"

namespace {

// Distance in parsecs from a position; the differences wrap like every other
// coordinate difference of the star field before they widen to double.
double parsecsFrom(const StarRecord& s, const int64_t at[3]) {
    const auto d = [](int64_t a, int64_t b) {
        return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)));
    };
    const double dx = d(s.x, at[0]), dy = d(s.y, at[1]), dz = d(s.z, at[2]);
    return std::sqrt(dx * dx + dy * dy + dz * dz) * UNIT_PARSECS_DOUBLE;
}

std::string lineText(const SearchResult& r, uint8_t choice, const int64_t position[3]) {
    if (choice == LABEL_NAME) return std::string(r.name, strnlen(r.name, sizeof r.name));
    if (choice == LABEL_DISTANCE) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.8f", parsecsFrom(r.star, position));
        return buf;
    }
    return {};
}

}  // namespace

uint32_t packLabelOffset(uint32_t i, int x, int y) {
    x = std::clamp(x, LABEL_OFFSET_MIN, LABEL_OFFSET_MAX);
    y = std::clamp(y, LABEL_OFFSET_MIN, LABEL_OFFSET_MAX);
    return (i << 22) + (static_cast<uint32_t>(x + 1024) << 11) + static_cast<uint32_t>(y + 1024);
}

void placeLabels(const ScreenBox* boxes, const bool* wanted, size_t count, const ScreenBox* keepOut,
                 LabelPlacement* out) {
    constexpr double SPARE = 1;
    auto overlap = [](const ScreenBox& a, const ScreenBox& b) {
        return a.x0 < b.x1 + SPARE && b.x0 < a.x1 + SPARE && a.y0 < b.y1 + SPARE && b.y0 < a.y1 + SPARE;
    };
    std::vector<ScreenBox> placed(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = LabelPlacement{};
        ScreenBox box = boxes[i];
        if (!wanted[i] || !(box.x0 < box.x1)) continue;
        if (keepOut != nullptr && overlap(box, *keepOut)) {
            const double drop = std::ceil(keepOut->y1 + SPARE - box.y0);
            if (drop > LABEL_DROP_MAX) continue;
            out[i].drop = static_cast<int>(drop);
            box.y0 += drop;
            box.y1 += drop;
            if (overlap(box, *keepOut)) continue;
        }
        out[i].shown = true;
        for (size_t k = 0; k < i && out[i].shown; ++k) {
            if (out[k].shown && overlap(box, placed[k])) out[i].shown = false;
        }
        placed[i] = box;
    }
}

uint32_t buildLabels(const std::vector<SearchResult>& results, const uint8_t choices[LABEL_CHOICES],
                     const int64_t position[3], const DisplayFont& font, int fontSize, std::vector<LabelVertex>& out,
                     uint32_t maxGlyphs, std::vector<LabelBox>* boxes, int alwaysNamed,
                     size_t namedFirst) {
    out.clear();
    const int size = clampFontSize(fontSize);
    const size_t n = std::min<size_t>(results.size(), LABELLED_RESULTS);
    if (boxes != nullptr) boxes->assign(n, LabelBox{});
    uint32_t glyphs = 0;
    std::vector<LabelVertex> label;
    for (size_t i = 0; i < n; ++i) {
        const SearchResult& r = results[i];
        label.clear();
        LabelBox box{LABEL_OFFSET_MAX, LABEL_OFFSET_MAX, LABEL_OFFSET_MIN, LABEL_OFFSET_MIN};
        int lineTop = LABEL_FIRST_LINE;
        uint8_t lines[LABEL_CHOICES] = {choices[0], choices[1]};
        if ((static_cast<int>(i) == alwaysNamed || i < namedFirst) && lines[0] != LABEL_NAME && lines[1] != LABEL_NAME) {
            if (lines[0] == LABEL_DISTANCE) lines[1] = LABEL_DISTANCE;
            lines[0] = LABEL_NAME;
        }
        for (int k = 0; k < LABEL_CHOICES; ++k) {
            if (lines[k] != LABEL_NAME && lines[k] != LABEL_DISTANCE) continue;
            const std::string text = lineText(r, lines[k], position);
            int width = 0;
            for (unsigned char c : text)
                if (isFontCharacter(c)) width += glyphAt(font, size, c).advance;
            int pen = -(width / 2);
            for (unsigned char c : text) {
                if (!isFontCharacter(c)) continue;
                const GlyphMetrics& g = glyphAt(font, size, c);
                const int x0 = pen + g.xOffset, y0 = lineTop + g.yOffset;
                const int x1 = x0 + g.width, y1 = y0 + g.height;
                const float u0 = static_cast<float>(g.atlasX) / FONT_ATLAS_WIDTH;
                const float u1 = static_cast<float>(g.atlasX + g.width) / FONT_ATLAS_WIDTH;
                const float v0 = static_cast<float>(g.atlasY) / FONT_ATLAS_HEIGHT;
                const float v1 = static_cast<float>(g.atlasY + g.height) / FONT_ATLAS_HEIGHT;
                const auto index = static_cast<uint32_t>(i);
                box = {std::min(box.x0, x0), std::min(box.y0, y0), std::max(box.x1, x1), std::max(box.y1, y1)};
                const LabelVertex tl{packLabelOffset(index, x0, y0), u0, v0};
                const LabelVertex bl{packLabelOffset(index, x0, y1), u0, v1};
                const LabelVertex tr{packLabelOffset(index, x1, y0), u1, v0};
                const LabelVertex br{packLabelOffset(index, x1, y1), u1, v1};
                label.insert(label.end(), {tl, bl, tr, br, tr, bl});
                pen += g.advance;
            }
            lineTop += font.lineHeight[size];
        }
        const auto count = static_cast<uint32_t>(label.size() / LABEL_VERTICES_PER_GLYPH);
        if (glyphs + count > maxGlyphs) break;
        out.insert(out.end(), label.begin(), label.end());
        glyphs += count;
        if (boxes != nullptr && count > 0) (*boxes)[i] = box;
    }
    return glyphs;
}

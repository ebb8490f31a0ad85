#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Glyph quads of star labels, placed in whole pixels beside the star.
layout(location = 0) in uint luminosity_scale;
layout(location = 1) in vec2 font_loc;
layout(location = 0) out vec4 frag_color;
layout(location = 1) out vec2 frag_text_coord;

void main() {
    uint index = luminosity_scale >> 22;
    vec3 position2 = ubo.highlight_objects[index].position;
    int rgb = ubo.highlight_objects[index].rgb;
    position2 = position2 * (0.99 / length(position2));
    int r = (rgb >> 27) & 31;
    int g = (rgb >> 22) & 31;
    int b = (rgb >> 17) & 31;
    float x = float(int((luminosity_scale >> 11) & 2047u) - 1024);
    // Bits 2..9 of the colour word: pixels the label is moved down (clear
    // of the cross-hair).
    float y = float(int(luminosity_scale & 2047u) - 1024) + float((rgb >> 2) & 255);
    vec4 position4 = ubo.proj_model_view * vec4(position2, 1.0);
    vec2 scale = ubo.inv_window_scale * position4.w;
    // Whole pixels from the star, plus half a pixel: the display's width
    // and height are odd, so whole pixels from its centre are pixel centres,
    // and a glyph's corners must lie on pixel edges for every pixel centre
    // to fall on a texel centre of the atlas (else thin strokes such as the
    // hyphen fall between two texel rows and vanish).
    if (!(position4.w == 0.0)) {
        position4.x = (round(position4.x / scale.x + x) + 0.5) * scale.x;
        position4.y = (round(position4.y / scale.y + y) + 0.5) * scale.y;
    }
    gl_Position = position4;
    // Bit 0 of the colour word: the label is left out (it would cover
    // another label or the cross-hair).
    float a = (r + g + b) == 0 || (rgb & 1) != 0 ? 0.0 : 31.0;
    frag_color = vec4(r, g, b, a) * 0.032258063554763794;
    frag_text_coord = font_loc;
}

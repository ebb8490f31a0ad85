#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Marker lines round highlighted stars, snapped to whole pixels.
layout(location = 0) in uint luminosity_scale;
layout(location = 0) out vec3 fragColor;

void main() {
    uint index = luminosity_scale >> 22;
    vec3 position2 = ubo.highlight_objects[index].position;
    int rgb = ubo.highlight_objects[index].rgb;
    position2 = position2 * (0.99 / length(position2));
    int r = (rgb >> 27) & 31;
    int g = (rgb >> 22) & 31;
    int b = (rgb >> 17) & 31;
    float x = float(int((luminosity_scale >> 11) & 2047u) - 1024);
    float y = float(int(luminosity_scale & 2047u) - 1024);
    vec4 position4 = ubo.proj_model_view * vec4(position2, 1.0);
    vec2 scale = ubo.inv_window_scale * position4.w;
    // Bit 1 of the colour word: the selected star's marker, half as large again.
    float size = ubo.highlight_multiplier * ((rgb & 2) != 0 ? 1.5 : 1.0);
    if (!(position4.w == 0.0)) {
        position4.x = round(position4.x / scale.x + size * x) * scale.x;
        position4.y = round(position4.y / scale.y + size * y) * scale.y;
    }
    gl_Position = position4;
    fragColor = vec3(r, g, b) * 0.032258063554763794;
    gl_PointSize = 1.0;
}

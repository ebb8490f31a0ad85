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
    if (!(position4.w == 0.0)) {
        position4.x = round(position4.x / scale.x + ubo.highlight_multiplier * x) * scale.x;
        position4.y = round(position4.y / scale.y + ubo.highlight_multiplier * y) * scale.y;
    }
    gl_Position = position4;
    fragColor = vec3(r, g, b) * 0.032258063554763794;
    gl_PointSize = 1.0;
}

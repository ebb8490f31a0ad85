#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Two horizontal and two vertical strokes with a gap round the centre.
layout(location = 0) out vec4 crosshair_color;

const vec2 positions[8] = vec2[](vec2(-0.05, 0.0), vec2(-0.01, 0.0), vec2(0.01, 0.0), vec2(0.05, 0.0),
                                 vec2(0.0, -0.05), vec2(0.0, -0.01), vec2(0.0, 0.01), vec2(0.0, 0.05));

void main() {
    gl_Position = vec4(positions[gl_VertexIndex] * vec2(ubo.height_over_width, 1.0), 0.0, 1.0);
    crosshair_color = ubo.crosshair_color;
}

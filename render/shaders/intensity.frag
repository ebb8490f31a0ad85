#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
layout(location = 0) in float intensity;
layout(location = 0) out vec4 outColor;
void main() {
    outColor = vec4(ubo.background_color * intensity, 1.0);
}

#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// The nearest stars as discs: a unit sphere scaled and moved per object.
struct PointRef {
    vec3 p;
    uint dummy;
};
layout(std430, set = 0, binding = 2) readonly buffer PointPositions {
    PointRef pr[];
} point_positions;

layout(location = 0) in uint position_index;
layout(location = 0) out vec3 out_color;

void main() {
    ForegroundObject fo = ubo.foreground_object_buffer[position_index >> 16];
    out_color = fo.color;
    gl_Position = ubo.proj_model_view_foreground *
                  vec4(fo.position + point_positions.pr[position_index & 0xFFFFu].p * fo.radius, 1.0);
}

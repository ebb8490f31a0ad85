#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Near stars as eight-triangle fans of a size in pixels.
struct StarPositionStruct {
    int inx, iny, inz, luminosity_scale;
};
layout(std430, set = 0, binding = 3) readonly buffer Pos {
    StarPositionStruct p[];
} point_positions;
struct ShapeReferenceStruct {
    float dx, dy, intensity;
    int dummy;
};
layout(std430, set = 0, binding = 4) readonly buffer Shape {
    ShapeReferenceStruct s[];
} shape;

layout(location = 0) in uint index;
layout(location = 0) out vec3 fragColor;

void main() {
    uint sidx = index >> 24;
    uint pidx = index & 0xFFFFFFu;
    StarPositionStruct star = point_positions.p[pidx];
    int scale = (star.luminosity_scale & 63) - 48;
    vec3 position = vec3(ldexp(float(star.inx >> 7), scale), ldexp(float(star.iny >> 7), scale),
                         ldexp(float(star.inz >> 7), scale)) - ubo.mid_diff_offset;
    float distance_squared = dot(position, position);
    position = position / sqrt(distance_squared);
    float absolute_luminosity = ldexp(float((star.luminosity_scale >> 13) & 4095), star.luminosity_scale >> 25);
    float luminosity = ubo.luminosity_const * absolute_luminosity / distance_squared;
    float radius = min(sqrt(luminosity), ubo.maximum_circle_size);
    ShapeReferenceStruct corner = shape.s[sidx];
    vec4 position4 = ubo.proj_model_view_midground1 * vec4(position, 1.0);
    position4 += vec4(ubo.inv_window_scale.x * corner.dx, ubo.inv_window_scale.y * corner.dy, 0.0, 0.0) *
                 (position4.w * radius);
    gl_Position = position4;
    fragColor = vec3(star.inx & 127, star.iny & 127, star.inz & 127) * corner.intensity;
}

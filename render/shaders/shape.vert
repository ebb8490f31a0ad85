#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "shape_table.glsl"

// Near stars as round shapes of a size in pixels: eight triangles fanning
// round the centre (24 vertices per star, numbered by the draw), placed just
// outside the circle the shape fills, whose profile the fragment stage draws.
struct StarPositionStruct {
    int inx, iny, inz, luminosity_scale;
};
layout(std430, set = 0, binding = 3) readonly buffer Pos {
    StarPositionStruct p[];
} point_positions;

layout(location = 0) out vec3 fragColor;       // the colour at the centre
layout(location = 1) out vec2 offset;          // pixels from the centre
layout(location = 2) flat out float rimRadius;  // pixels
layout(location = 3) flat out float rimLevel;   // the rim's intensity over the centre's

// The shape table entries of the fan's triangles: the centre and two
// neighbouring rim points each.
const uint FAN[24] = uint[](0u, 1u, 8u, 0u, 2u, 1u, 0u, 3u, 2u, 0u, 4u, 3u, 0u, 5u, 4u, 0u, 6u, 5u, 0u, 7u, 6u,
                            0u, 8u, 7u);
// An octagon whose sides touch the circle: its corners 1 / cos(22.5 degrees) out.
const float OCTAGON_CORNER = 1.0823922;

void main() {
    uint sidx = FAN[uint(gl_VertexIndex) % 24u];
    uint pidx = uint(gl_VertexIndex) / 24u;
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
    vec2 out_by = vec2(corner.dx, corner.dy) * (sidx == 0u ? 1.0 : OCTAGON_CORNER);
    vec4 position4 = ubo.proj_model_view_midground1 * vec4(position, 1.0);
    position4 += vec4(ubo.inv_window_scale * out_by, 0.0, 0.0) * (position4.w * radius);
    gl_Position = position4;
    offset = out_by * radius;
    rimRadius = length(vec2(shape.s[1].dx, shape.s[1].dy)) * radius;
    rimLevel = shape.s[1].intensity / shape.s[0].intensity;
    fragColor = vec3(star.inx & 127, star.iny & 127, star.inz & 127) * shape.s[0].intensity;
}

#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "shape_table.glsl"

// Midground stars as round points.
layout(location = 0) in int inx;
layout(location = 1) in int iny;
layout(location = 2) in int inz;
layout(location = 3) in int luminosity_scale;
// The colour, and the point's size in pixels: positive for the "Fuzzy"
// profile, negative for "Circle", 0 for a point that draws nothing.
layout(location = 0) out vec4 fragColor;

void main() {
    int scale = (luminosity_scale & 63) - 48;
    vec3 position = vec3(ldexp(float(inx >> 7), scale), ldexp(float(iny >> 7), scale),
                         ldexp(float(inz >> 7), scale)) - ubo.eye_offset;
    float distance_squared = dot(position, position);
    float absolute_luminosity = ldexp(float((luminosity_scale >> 13) & 4095), luminosity_scale >> 25);
    float luminosity = ubo.luminosity_const * absolute_luminosity / distance_squared;
    float point_size = min(max(0.5, sqrt(luminosity)), 5.0);
    luminosity = luminosity / (point_size * point_size);
    if (luminosity < 0.05) {
        gl_Position = vec4(0.0, 0.0, 0.0, -1.0);  // outside the clip volume: no fragment
        gl_PointSize = 1.0;
        fragColor = vec4(0.0);
        return;
    }
    // A point of a pixel is a pixel; from two pixels up the fuzzy profile,
    // half as wide again, in full.
    float fuzzy = circleShape() ? 0.0 : clamp(point_size - 1.0, 0.0, 1.0);
    gl_Position = ubo.proj_model_view * vec4(position, 1.0);
    gl_PointSize = point_size * (1.0 + 0.5 * fuzzy);
    fragColor = vec4(vec3(inx & 127, iny & 127, inz & 127) * min(luminosity, 1.0) * 0.007874015718698502,
                     circleShape() ? -point_size : point_size);
}

#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "ellipsoid_common.glsl"

// Small background ellipsoids, Background "Normal": the exact integral of the
// density along each pixel's view ray, in linear light (no ceiling: the tone
// map decides what is white).
layout(location = 0) in vec3 position;
layout(location = 1) flat in uint bpi;
layout(location = 0) out vec4 outColor;

void main() {
    vec3 E = ubo.eye_offset;
    ParamPart shape = ubo.small_background_params[bpi];
    float integral = ellipsoidIntegral(E, normalize(position - E), shape.param6, shape.param5);
    float intensity = shape.param3 * ubo.background_scale * integral;
    if (!(intensity > 0.0)) intensity = 0.0;  // nothing, and no NaN, into the light
    outColor = vec4(ubo.small_background_colour[bpi].rgb * intensity, 0.0);
}

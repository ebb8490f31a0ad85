#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "ellipsoid_common.glsl"

// Small background ellipsoids, Background "Low Q": the exact integral of the
// density along the view ray through each vertex, interpolated between them.
layout(location = 0) in vec3 in_position;
layout(location = 1) in uint bpi;
layout(location = 0) out float intensity;
layout(location = 1) flat out vec3 colour;

void main() {
    vec3 E = ubo.eye_offset;
    vec3 D_raw = normalize(in_position - E);
    gl_Position = ubo.proj_model_view * vec4(in_position - E, 1.0);

    ParamPart shape = ubo.small_background_params[bpi];
    float i0 = shape.param3;
    intensity = i0 * ubo.background_scale * ellipsoidIntegral(E, D_raw, shape.param6, shape.param5);
    colour = ubo.small_background_colour[bpi].rgb;
}

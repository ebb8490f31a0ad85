#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "bgparams.glsl"
#include "tube_common.glsl"

// Background "Normal": places the tube vertex and hands the segment's
// constants, its end nodes' x-y positions and 1/height included, to the
// per-pixel integration.
layout(location = 0) in uint bpi;
layout(location = 1) in uint angle;
layout(location = 2) in uint end;
layout(location = 0) out vec3 position;
layout(location = 1) flat out vec2 Nxy;
layout(location = 2) flat out float EA_dot_N;
layout(location = 3) flat out float EA_dot_U;
layout(location = 4) flat out float EA_dot_B_c;
layout(location = 5) flat out vec2 Bxy;
layout(location = 6) flat out vec2 Iav0n;
layout(location = 7) flat out vec2 Iav1n;
layout(location = 8) flat out float I1;
layout(location = 9) flat out float Id_div_dot;
layout(location = 10) flat out uint bpix;
layout(location = 11) flat out vec4 A0xy_A1xy;
layout(location = 12) flat out float inv_height;

void main() {
    TubeGeometry t = tubeGeometry(bpi, angle, end);
    vec3 eye = ubo.eye_offset;
    gl_Position = ubo.proj_model_view * vec4(t.position - eye, 1.0);
    position = t.position;
    vec3 EA0 = vec3(t.A0xy, t.A0z) - eye;
    Nxy = vec2(t.Bxy.y, -t.Bxy.x) * (1.0 / t.w);
    EA_dot_N = dot(EA0.xy, Nxy);
    EA_dot_U = EA0.z / t.h;
    EA_dot_B_c = dot(EA0.xy, t.Bxy) - t.offset_tip;
    Bxy = t.Bxy;
    Iav0n = normalize(t.Iav0);
    Iav1n = normalize(t.Iav1);
    float scale = ubo.background_scale;
    I1 = t.I1 * scale;
    Id_div_dot = (t.I0 * scale - I1) / dot(t.A0xy - t.A1xy, t.Bxy);
    bpix = bpi;
    A0xy_A1xy = vec4(t.A0xy, t.A1xy);
    inv_height = bgparams.background_params[bpi].param5;
}

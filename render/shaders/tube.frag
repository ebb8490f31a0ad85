#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "bgparams.glsl"
#include "tube_common.glsl"

// Background "Normal": the light of the arm tubes, integrated per pixel.
// The segment's end nodes and 1/height arrive as flat inputs from the vertex
// stage (copied from the node buffer, so the values are the same): reading the
// node buffer here, indexed by a per-primitive value, made a CPU driver gather
// five words for every sample and cost more than all the arithmetic below.
layout(location = 0) in vec3 position;
layout(location = 1) flat in vec2 Nxy;
layout(location = 2) flat in float EA_dot_N;
layout(location = 3) flat in float EA_dot_U;
layout(location = 4) flat in float EA_dot_B_c;
layout(location = 5) flat in vec2 Bxy;
layout(location = 6) flat in vec2 Iav0n;
layout(location = 7) flat in vec2 Iav1n;
layout(location = 8) flat in float I1;
layout(location = 9) flat in float Id_div_dot;
layout(location = 10) flat in uint bpi;  // the segment, kept to match the vertex stage
layout(location = 11) flat in vec4 A0xy_A1xy;
layout(location = 12) flat in float inv_height;
layout(location = 0) out vec4 outColor;

void main() {
    vec2 A0xy = A0xy_A1xy.xy;
    vec2 A1xy = A0xy_A1xy.zw;
    vec3 eye = ubo.eye_offset;
    vec3 D = normalize(position - eye);
    float D_dot_N = dot(D.xy, Nxy);
    float D_dot_U = D.z * inv_height;
    float D_dot_B = dot(D.xy, Bxy);
    float a = D_dot_N * D_dot_N + D_dot_U * D_dot_U - D_dot_B * D_dot_B;
    float b_div2 = -EA_dot_N * D_dot_N - EA_dot_U * D_dot_U + EA_dot_B_c * D_dot_B;
    float c = EA_dot_N * EA_dot_N + EA_dot_U * EA_dot_U - EA_dot_B_c * EA_dot_B_c;
    float disc = b_div2 * b_div2 - a * c;
    float intensity = 0.0;
    if (!(a == 0.0) && disc > 0.0) {
        float root = sqrt(disc);
        float p0 = (-b_div2 - root) / a;
        float p1 = (-b_div2 + root) / a;
        if (a < 0.0) {
            float s = p0;
            p0 = p1;
            p1 = s;
        }
        applyWalls(eye, D.xy, A0xy, A1xy, Iav0n, Iav1n, p0, p1);
        p0 = max(p0, 0.0);
        p1 = max(p1, 0.0);
        float acc = coneIntegral(EA_dot_N, EA_dot_U, EA_dot_B_c, D_dot_N, D_dot_U, D_dot_B, p0, p1);
        float im = dot(eye.xy + D.xy * (p0 + p1) * 0.5 - A1xy, Bxy) * Id_div_dot + I1;
        intensity = im * acc * 0.25 * (p1 - p0);
    }
    if (!(intensity > 0.0)) intensity = 0.0;  // nothing, and no NaN, into the light
    outColor = vec4(ubo.arm_colour.rgb * intensity, 0.0);
}

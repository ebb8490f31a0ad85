#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "bgparams.glsl"
#include "tube_common.glsl"

// Background "Low Q": the light of the arm tubes, integrated per vertex.
layout(location = 0) in uint bpi;
layout(location = 1) in uint angle;
layout(location = 2) in uint end;
layout(location = 0) out float intensity;
layout(location = 1) flat out vec3 colour;

void main() {
    TubeGeometry t = tubeGeometry(bpi, angle, end);
    colour = ubo.arm_colour.rgb;
    vec3 eye = ubo.eye_offset;
    gl_Position = ubo.proj_model_view * vec4(t.position - eye, 1.0);

    vec3 D = normalize(t.position - eye);
    vec3 EA0 = vec3(t.A0xy, t.A0z) - eye;
    vec2 Nxy = vec2(t.Bxy.y, -t.Bxy.x) * (1.0 / t.w);
    float EA_dot_N = dot(EA0.xy, Nxy);
    float EA_dot_U = EA0.z / t.h;
    float EA_dot_B_c = dot(EA0.xy, t.Bxy) - t.offset_tip;
    float D_dot_N = dot(D.xy, Nxy);
    float D_dot_U = D.z / t.h;
    float D_dot_B = dot(D.xy, t.Bxy);

    float a = D_dot_N * D_dot_N + D_dot_U * D_dot_U - D_dot_B * D_dot_B;
    float b_div2 = -EA_dot_N * D_dot_N - EA_dot_U * D_dot_U + EA_dot_B_c * D_dot_B;
    float c = EA_dot_N * EA_dot_N + EA_dot_U * EA_dot_U - EA_dot_B_c * EA_dot_B_c;
    float disc = b_div2 * b_div2 - a * c;
    if (a == 0.0) {
        intensity = 1.0;
        return;
    }
    if (disc <= 0.0) {
        intensity = 0.0;
        return;
    }
    float root = sqrt(disc);
    float p0 = (-b_div2 - root) / a;
    float p1 = (-b_div2 + root) / a;
    if (a < 0.0) {
        float s = p0;
        p0 = p1;
        p1 = s;
    }
    // Keep the nappe of the cone that holds the segment (the side of the tip
    // towards A0 for a tapering segment, towards A1 for a widening one).
    bool walls = false;
    float nappe = t.offset_tip < 0.0 ? -1.0 : 1.0;
    float cone_chk0 = (D_dot_B * p0 - EA_dot_B_c) * nappe;
    float cone_chk1 = (D_dot_B * p1 - EA_dot_B_c) * nappe;
    if (cone_chk0 < 0.0 && cone_chk1 < 0.0) {
        p0 = p1;
    } else if (cone_chk0 < 0.0) {
        p0 = p1;
        p1 = 1.0e20;
        walls = true;
    } else if (cone_chk1 < 0.0) {
        p1 = p0;
        p0 = 0.0;
    }
    vec2 endNode = t.prop <= 0.5 ? t.A0xy : t.A1xy;
    vec2 tangent = t.prop <= 0.5 ? t.Iav0 : t.Iav1;
    vec3 endZ = vec3(endNode, 0.0);
    if (abs(dot(normalize(endZ - eye), vec3(normalize(tangent), 0.0))) > 0.8) walls = true;
    if (!walls && (end & 128u) != 0u) {
        intensity = -1000.0;
        return;
    }
    if (walls) applyWalls(eye, D.xy, t.A0xy, t.A1xy, normalize(t.Iav0), normalize(t.Iav1), p0, p1);
    p0 = max(p0, 0.0);
    p1 = max(p1, 0.0);
    float acc = coneIntegral(EA_dot_N, EA_dot_U, EA_dot_B_c, D_dot_N, D_dot_U, D_dot_B, p0, p1);
    float im = dot(eye.xy + D.xy * (p0 + p1) * 0.5 - t.A1xy, t.Bxy) * t.Id_div_dot + t.I1;
    intensity = im * ubo.background_scale * acc * 0.25 * (p1 - p0);
}

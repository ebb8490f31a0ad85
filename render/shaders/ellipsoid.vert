#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Small background ellipsoids: the exact integral of the density (1 - r^2)^4
// along the view ray through each vertex.
layout(location = 0) in vec3 in_position;
layout(location = 1) in uint bpi;
layout(location = 0) out float intensity;

void main() {
    vec3 E = ubo.eye_offset;
    vec3 D_raw = normalize(in_position - E);
    gl_Position = ubo.proj_model_view * vec4(in_position - E, 1.0);

    ParamPart shape = ubo.small_background_params[bpi];
    float i0 = shape.param3;
    float inv_radius_xy = shape.param6;
    float inv_radius_z = shape.param5;

    // Scale into the unit sphere.
    vec3 D = vec3(D_raw.xy * inv_radius_xy, D_raw.z * inv_radius_z);
    vec3 EC = vec3(E.xy * inv_radius_xy, E.z * inv_radius_z);
    float a = dot(D, D);
    float b_div2 = dot(EC, D);
    float c = dot(EC, EC) - 1.0;
    float disc = b_div2 * b_div2 - a * c;
    if (disc <= 0.0) {
        intensity = 0.0;
        return;
    }
    float root = sqrt(disc);
    float p0 = max(0.0, (-b_div2 - root) / a);
    float p1 = max(0.0, (-b_div2 + root) / a);
    float pm = -b_div2 / a;
    p0 -= pm;
    p1 -= pm;
    EC = EC + D * pm;  // re-centre on the point of closest approach

    float e = -dot(D, D);
    float f = -2.0 * dot(EC, D);
    float g = 1.0 - dot(EC, EC);
    float e2 = e * e;
    float f2 = f * f;
    float g2 = g * g;
    float c1 = e2 * e2 * (1.0 / 9.0);
    float c2 = e2 * e * f * 0.5;
    float c3 = e2 * (f2 * (6.0 / 7.0) + e * g * (4.0 / 7.0));
    float c4 = f * e * (f2 * (2.0 / 3.0) + 2.0 * e * g);
    float c5 = f2 * (f2 * (1.0 / 5.0) + e * g * (12.0 / 5.0)) + e2 * g2 * (6.0 / 5.0);
    float c6 = f * g * (f2 + 3.0 * e * g);
    float c7 = g2 * (2.0 * f2 + e * g * (4.0 / 3.0));
    float c8 = 2.0 * f * g2 * g;
    float c9 = g2 * g2;
    float F1 = p1 * (p1 * (p1 * (p1 * (p1 * (p1 * (p1 * (p1 * (c1 * p1 + c2) + c3) + c4) + c5) + c6) + c7) + c8) + c9);
    float F0 = p0 * (p0 * (p0 * (p0 * (p0 * (p0 * (p0 * (p0 * (c1 * p0 + c2) + c3) + c4) + c5) + c6) + c7) + c8) + c9);
    intensity = min(i0 * ubo.background_scale * (F1 - F0), 1.0);
}

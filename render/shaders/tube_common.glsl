// Geometry of one background tube vertex, shared by the per-vertex and the
// per-pixel programs. Segment bpi runs from node bpi (A0) to node bpi + 1 (A1);
// nodes bpi - 1 and bpi + 2 give the neighbouring segments' directions. The
// tube is a cone: its radius grows linearly with the distance from the tip,
// which lies on the segment's line offset_tip from A0 towards A1 (negative:
// behind A0, for a segment that widens).
struct TubeGeometry {
    vec2 A0xy, A1xy;
    float A0z;
    float offset_tip, h, w;
    vec2 Bxy, Iav0, Iav1;
    float I0, I1, Id_div_dot;
    float prop;
    vec3 position;
};

TubeGeometry tubeGeometry(uint bpi, uint angle, uint end) {
    TubeGeometry t;
    TubeNode n0 = bgparams.background_params[bpi];
    TubeNode n1 = bgparams.background_params[bpi + 1u];
    TubeNode pre = bgparams.background_params[bpi - 1u];
    TubeNode post = bgparams.background_params[bpi + 2u];
    t.A0xy = vec2(n0.param0, n0.param1);
    t.A0z = n0.param2;
    t.offset_tip = n0.param4;
    t.h = 1.0 / n0.param5;
    t.w = 1.0 / n0.param6;
    t.A1xy = vec2(n1.param0, n1.param1);
    vec2 Bpre_xy = normalize(vec2(pre.param0, pre.param1) - t.A0xy);
    vec2 Bpost_xy = normalize(t.A1xy - vec2(post.param0, post.param1));
    t.Bxy = normalize(t.A0xy - t.A1xy);
    t.I0 = n0.param3;
    t.I1 = n1.param3;
    t.Id_div_dot = (t.I0 - t.I1) / dot(t.A0xy - t.A1xy, t.Bxy);

    // Mitre directions at both ends.
    t.Iav0 = (t.Bxy + Bpre_xy) / (1.0 + dot(t.Bxy, Bpre_xy));
    vec2 Ne0xy = vec2(t.Iav0.y, -t.Iav0.x);
    t.Iav1 = (t.Bxy + Bpost_xy) / (1.0 + dot(t.Bxy, Bpost_xy));
    vec2 Ne1xy = vec2(t.Iav1.y, -t.Iav1.x);

    // Distances of the ends from the tip: the tip lies beyond the end of a
    // tapering segment and behind the start of a widening one.
    float qq0 = abs(t.offset_tip);
    float qq1 = abs(t.offset_tip - length(t.A1xy - t.A0xy));
    float theta = float(angle) * 6.283185005187988 / 10.0;
    bool axis = (end & 128u) != 0u;
    vec3 pos0 = axis ? vec3(t.A0xy, 0.0)
                     : vec3(t.A0xy + Ne0xy * cos(theta) * qq0 * t.w, sin(theta) * qq0 * t.h);
    vec3 pos1 = axis ? vec3(t.A1xy, 0.0)
                     : vec3(t.A1xy + Ne1xy * cos(theta) * qq1 * t.w, sin(theta) * qq1 * t.h);
    float prop = float(end & 127u) * 0.015625;
    prop = (3.0 - 2.0 * prop) * prop * prop;
    t.prop = prop;
    t.position = pos0 * (1.0 - prop) + pos1 * prop;
    // The end rings are pushed a quarter of the segment's length past its
    // joint planes, so that neighbouring segments' meshes overlap there. A
    // ray that crosses a joint inside the tube needs both segments' light,
    // and where the meshes only met, samples near the joint were drawn by
    // one of them alone and showed as dark dots along it (seen from above,
    // a sixth of the light). The walls limit each segment's light to its own
    // side of the joint, so the overlap counts nothing twice.
    float along = 0.25 * length(t.A1xy - t.A0xy);
    if ((end & 127u) == 0u) t.position.xy += t.Bxy * along;
    if ((end & 127u) == 64u) t.position.xy -= t.Bxy * along;
    return t;
}

// The walls at both ends (planes through A0 and A1 along the mitre
// directions) limit the lit span [p0, p1] of the ray eye + p D.
void applyWalls(vec3 eye, vec2 Dxy, vec2 A0xy, vec2 A1xy, vec2 Iav0n, vec2 Iav1n, inout float p0, inout float p1) {
    float wall0_interesect_denom = dot(Dxy, Iav0n);
    if (wall0_interesect_denom != 0.0) {
        float p0int = dot(A0xy - eye.xy, Iav0n) / wall0_interesect_denom;
        if (wall0_interesect_denom < 0.0) {
            p0 = max(p0, p0int);
            p1 = max(p1, p0int);
        } else {
            p0 = min(p0, p0int);
            p1 = min(p1, p0int);
        }
    }
    float wall1_interesect_denom = dot(Dxy, Iav1n);
    if (wall1_interesect_denom != 0.0) {
        float p1int = dot(A1xy - eye.xy, Iav1n) / wall1_interesect_denom;
        if (wall1_interesect_denom > 0.0) {
            p0 = max(p0, p1int);
            p1 = max(p1, p1int);
        } else {
            p0 = min(p0, p1int);
            p1 = min(p1, p1int);
        }
    }
}

// Midpoint rule with four samples of (1 - q)^4 inside the cone.
float coneIntegral(float EA_dot_N, float EA_dot_U, float EA_dot_B_c, float D_dot_N, float D_dot_U, float D_dot_B,
                   float p0, float p1) {
    float inv = 1.0 / D_dot_B;
    float inv2 = inv * inv;
    float aa = (D_dot_N * D_dot_N + D_dot_U * D_dot_U) * inv2;
    float bb = -2.0 * (EA_dot_N * D_dot_N + EA_dot_U * D_dot_U) * inv2;
    float cc = (EA_dot_N * EA_dot_N + EA_dot_U * EA_dot_U) * inv2;
    float dd = -EA_dot_B_c * inv;
    float dp = (p1 - p0) * 0.25;
    float acc = 0.0;
    for (int k = 0; k < 4; ++k) {
        float p = p0 + dp * (0.5 + float(k));
        float q = p + dd;
        float t = 1.0 - (aa * p * p + bb * p + cc) / (q * q);
        float t2 = t * t;
        acc += t2 * t2;
    }
    return acc;
}

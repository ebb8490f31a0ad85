// The light of one small background ellipsoid along a view ray: the exact
// integral of the density (1 - r^2)^4 over the part of the ray from the eye E
// in direction D_raw (unit length) that lies inside the ellipsoid, the
// ellipsoid centred on the origin with the given inverse radii. Shared by the
// per-vertex ("Low Q") and the per-pixel ("Normal") programs.
float ellipsoidIntegral(vec3 E, vec3 D_raw, float inv_radius_xy, float inv_radius_z) {
    // Scale into the unit sphere.
    vec3 D = vec3(D_raw.xy * inv_radius_xy, D_raw.z * inv_radius_z);
    vec3 EC = vec3(E.xy * inv_radius_xy, E.z * inv_radius_z);
    float a = dot(D, D);
    float b_div2 = dot(EC, D);
    float c = dot(EC, EC) - 1.0;
    float disc = b_div2 * b_div2 - a * c;
    if (disc <= 0.0) return 0.0;
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
    return F1 - F0;
}

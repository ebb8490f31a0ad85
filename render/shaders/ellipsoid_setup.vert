#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"

// Small background ellipsoids, Background "Normal": places the vertex and
// hands its position and the ellipsoid to the per-pixel integration. Between
// vertices the integral changes too fast to be interpolated (a flattened disc
// seen from inside it showed the mesh's triangles as stripes).
layout(location = 0) in vec3 in_position;
layout(location = 1) in uint bpi;
layout(location = 0) out vec3 position;
layout(location = 1) flat out uint bpix;

void main() {
    gl_Position = ubo.proj_model_view * vec4(in_position - ubo.eye_offset, 1.0);
    position = in_position;
    bpix = bpi;
}

#version 450
// One triangle over the whole viewport, for the passes that work once per
// pixel of their target: the tone map and the exposure measurement.
void main() {
    vec2 corner = vec2(float((gl_VertexIndex << 1) & 2), float(gl_VertexIndex & 2));
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}

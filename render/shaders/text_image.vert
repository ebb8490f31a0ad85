#version 450
// A text block's texture shown in the panel's "Text" window: one quad whose
// corners and texture corners come as push constants, in clip space.
layout(push_constant) uniform Quad {
    vec2 origin;
    vec2 size;
    vec2 uvOrigin;
    vec2 uvSize;
} quad;
layout(location = 0) out vec2 uv;

void main() {
    const vec2 corners[6] = vec2[](vec2(0.0, 0.0), vec2(0.0, 1.0), vec2(1.0, 0.0), vec2(1.0, 1.0), vec2(1.0, 0.0),
                                   vec2(0.0, 1.0));
    vec2 corner = corners[gl_VertexIndex];
    uv = quad.uvOrigin + corner * quad.uvSize;
    gl_Position = vec4(quad.origin + corner * quad.size, 0.0, 1.0);
}

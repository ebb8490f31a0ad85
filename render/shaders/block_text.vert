#version 450
// Glyphs of a help text block, in pixels of the block's texture.
layout(push_constant) uniform uPushConstant {
    vec2 offset;
    vec2 scale;
} pc;
layout(location = 0) in uint ipos;
layout(location = 1) in uint iUV;
layout(location = 1) out vec2 frag_text_coord;
void main() {
    vec2 pos = vec2(float(ipos & 0xFFFFu), float(ipos >> 16));
    frag_text_coord = vec2(ldexp(float(iUV & 0xFFFFu), -9), ldexp(float(iUV >> 16), -11));
    gl_Position = vec4(pos * pc.scale + pc.offset, 0.0, 1.0);
}

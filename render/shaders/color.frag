#version 450
layout(location = 0) in vec3 a;
layout(location = 0) out vec4 b;
void main() {
    b = vec4(a, 1.0);
}

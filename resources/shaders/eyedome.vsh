#version 150 core
// One triangle that covers the whole picture, made from the vertex number alone.

void main()
{
    vec2 corner = vec2(float((gl_VertexID & 1) * 4) - 1.0, float((gl_VertexID & 2) * 2) - 1.0);
    gl_Position = vec4(corner, 0.0, 1.0);
}

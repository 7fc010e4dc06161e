#version 430 core

// One triangle that covers the whole viewport, from the vertex index alone (draw 3 vertices
// with any vertex array bound).
out vec2 v_uv;

void main()
{
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    v_uv = corner;
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}

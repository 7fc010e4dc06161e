#version 430 core

// A line from the model origin to u_vector, drawn without vertex data: vertex 0 is the
// origin, vertex 1 the tip.
uniform vec3 u_vector;
uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;

void main()
{
    vec3 position = gl_VertexID == 0 ? vec3(0.0) : u_vector;
    gl_Position = u_proj * u_view * u_model * vec4(position, 1.0);
}

#version 430 core

// glTF models: position, normal and the first texture coordinates of each vertex; u_model
// places the node (its pose in the model times the model's place in the world).
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_normal;
layout(location = 2) in vec2 a_uv;

uniform mat4 u_model;
// The inverse transpose of u_model's upper 3x3, computed once per node on the CPU rather
// than once per vertex here.
uniform mat4 u_normal_matrix;
uniform mat4 u_view;
uniform mat4 u_proj;

out vec3 v_world_position;
out vec3 v_normal;
out vec2 v_uv;

void main()
{
    vec4 world = u_model * vec4(a_position, 1.0);
    v_world_position = world.xyz;
    v_normal = mat3(u_normal_matrix) * a_normal;
    v_uv = a_uv;
    gl_Position = u_proj * u_view * world;
}

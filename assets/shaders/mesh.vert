#version 430 core

// General lit meshes: position, and a normal where the mesh has one.
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_normal;

uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;

out vec3 v_world_position;
out vec3 v_normal;

void main()
{
    vec4 world = u_model * vec4(a_position, 1.0);
    v_world_position = world.xyz;
    // The inverse transpose keeps normals perpendicular under non-uniform scale.
    v_normal = mat3(transpose(inverse(u_model))) * a_normal;
    gl_Position = u_proj * u_view * world;
}

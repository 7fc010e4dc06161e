#version 430 core

// Debug boxes and quads: position only; the transform places and scales the unit shape.
layout(location = 0) in vec3 a_position;

uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;

out vec3 v_world_position;

void main()
{
    vec4 world = u_model * vec4(a_position, 1.0);
    v_world_position = world.xyz;
    gl_Position = u_proj * u_view * world;
}

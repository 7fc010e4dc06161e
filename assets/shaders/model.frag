#version 430 core

#include "scene_lighting.glsl"

uniform vec3 u_color;

in vec3 v_world_position;

out vec4 frag_color;

void main()
{
    vec3 normal = face_normal(v_world_position);
    frag_color = vec4(shade(u_color, v_world_position, normal), 1.0);
}

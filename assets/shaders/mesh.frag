#version 430 core

#include "scene_lighting.glsl"

uniform vec3 u_color;

in vec3 v_world_position;
in vec3 v_normal;

out vec4 frag_color;

void main()
{
    // A mesh without a normal attribute reads (0, 0, 0): fall back to the face normal.
    vec3 normal = dot(v_normal, v_normal) > 1e-12 ? normalize(v_normal) : face_normal(v_world_position);
    frag_color = vec4(shade(u_color, v_world_position, normal), 1.0);
}

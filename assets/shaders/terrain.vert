#version 430 core

// Places the shared grid on the leaf's square, lifts it by the leaf's elevation and pulls the
// skirt ring (texture coordinates outside [0, 1]) straight down, so the gaps between
// neighbouring leaves of different detail show a wall of the edge's colour instead of sky.

layout(location = 0) in vec3 a_position;
layout(location = 1) in vec2 a_uv;

uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;
uniform float u_edge_vertex_count;

#include "elevation.glsl"

out vec3 v_world_position;
out vec2 v_uv;

void main()
{
    vec2 uv = clamp(a_uv, 0.0, 1.0);
    bool skirt = a_uv != uv;
    vec4 world = u_model * vec4(a_position, 1.0);
    float tile_width = u_model[0][0];

    float height = 0.0;
    if (elevation_available()) {
        height = world_height_at(height_uv(uv), 0.0);
    }
    if (skirt) {
        // Deep enough for the steepest slopes across a few grid steps of this leaf.
        height -= tile_width * 3.0 / max(u_edge_vertex_count - 1.0, 1.0);
    }
    world.y = height;

    v_world_position = world.xyz;
    v_uv = uv;
    gl_Position = u_proj * u_view * world;
}

#version 430 core

// Places the shared grid on the leaf's square, lifts it by the leaf's elevation and pulls the
// skirt ring (texture coordinates outside [0, 1]) straight down, so the gaps between
// neighbouring leaves of different detail show a wall of the edge's colour instead of sky.
//
// Everything that varies slowly over the ground is computed here, per vertex, rather than per
// pixel: the haze of the air between camera and ground, the colour of sun and sky light, the
// position in the shadow map. A software rasteriser shades hundreds of thousands of pixels
// but only tens of thousands of vertices.

#include "atmosphere.glsl"

layout(location = 0) in vec3 a_position;
layout(location = 1) in vec2 a_uv;

uniform mat4 u_model;
uniform mat4 u_view;
uniform mat4 u_proj;
uniform mat4 u_light_space;
uniform float u_edge_vertex_count;
uniform vec3 u_camera_position;
uniform float u_camera_far;
uniform float u_camera_altitude;
uniform vec3 u_sun_direction;
uniform int u_render_atmosphere;
uniform sampler2D u_precomputed_texture;
uniform sampler2D u_sky_light; // sunlight (texel 0) and sky tint (texel 1), see sky_light.frag

#include "elevation.glsl"

out vec3 v_world_position;
out vec2 v_uv;
out vec4 v_light_space_position;
out vec3 v_transmittance; // of the air between camera and ground (1 without atmosphere)
out vec3 v_inscatter;     // light the air adds on the way (0 without atmosphere)
flat out vec3 v_sun_color;
flat out vec3 v_sky_tint;

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
    v_light_space_position = u_light_space * world;
    gl_Position = u_proj * u_view * world;

    vec3 sun = normalize(u_sun_direction);
    v_transmittance = vec3(1.0);
    v_inscatter = vec3(0.0);
    v_sun_color = vec3(1.0);
    v_sky_tint = vec3(0.75, 0.85, 1.0);
    if (u_render_atmosphere == 0) {
        // No scattering to say how the light fades: gone at sunset, the sky's by 12 degrees down.
        v_sun_color *= smoothstep(-0.01, 0.02, sun.y);
        v_sky_tint *= mix(NIGHT_SKY_LIGHT, 1.0, smoothstep(-0.2, 0.0, sun.y));
        return;
    }

    float horizon = table_horizon(u_camera_altitude);
    v_sun_color = texelFetch(u_sky_light, ivec2(0, 0), 0).rgb;
    v_sky_tint = texelFetch(u_sky_light, ivec2(1, 0), 0).rgb;

    // World units are scaled Mercator metres; true metres are shorter by |cos φ|.
    vec3 to_surface = world.xyz - u_camera_position;
    float distance_world = length(to_surface);
    vec3 dir = distance_world > 0.0 ? to_surface / distance_world : vec3(0.0, -1.0, 0.0);
    float metres_per_world = max(u_height_correction_factor, 1e-4) / u_terrain_scaling_factor;
    float camera_altitude = max(u_camera_altitude * u_height_correction_factor, 0.0);
    float surface_altitude = max(world.y * metres_per_world, 0.0);
    aerial_perspective(u_precomputed_texture, dir, distance_world * metres_per_world, camera_altitude,
                       surface_altitude, sun, horizon, v_transmittance, v_inscatter);

    // Fade into the sky's own colour before the far plane cuts the ground off.
    float fade = smoothstep(0.85 * u_camera_far, u_camera_far, distance_world);
    if (fade > 0.0) {
        v_transmittance *= 1.0 - fade;
        v_inscatter = mix(v_inscatter, sky_table_inscatter(u_precomputed_texture, dir, sun, horizon), fade);
    }
}

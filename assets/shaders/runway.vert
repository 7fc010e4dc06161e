#version 430 core

// Places a runway's strip in the world frame at its heights and computes, per vertex as the
// terrain does, the haze between camera and runway and the colour of sun and sky light.

#include "atmosphere.glsl"

layout(location = 0) in vec3 a_position; // world x, metres above sea level, world z
layout(location = 1) in vec2 a_runway;   // along, across (metres)
layout(location = 2) in vec3 a_normal;
layout(location = 3) in vec4 a_size;     // half length, half width, low and high threshold (along)
layout(location = 4) in ivec4 a_info;    // surface, low and high designator, paved

uniform mat4 u_view;
uniform mat4 u_proj;
uniform mat4 u_light_space;
uniform vec3 u_camera_position;
uniform float u_camera_far;
uniform float u_camera_altitude;
uniform float u_height_correction_factor;
uniform float u_terrain_scaling_factor;
uniform vec3 u_sun_direction;
uniform int u_render_atmosphere;
uniform sampler2D u_precomputed_texture;
uniform sampler2D u_sky_light;

out vec2 v_runway;
out vec4 v_light_space_position;
out vec3 v_transmittance;
out vec3 v_inscatter;
flat out vec3 v_normal;
flat out vec4 v_size;
flat out ivec4 v_info;
flat out vec3 v_sun_color;
flat out vec3 v_sky_tint;

// Pulled towards the camera by this much, plus this share of the distance: more than the
// terrain grid's error over the flattened ground, far less than anything that could stand in
// front of the runway.
const float LIFT_METRES = 0.3;
const float LIFT_PER_METRE = 0.0015;

void main()
{
    float metres_per_world = max(u_height_correction_factor, 1e-4) / u_terrain_scaling_factor;
    vec4 world = vec4(a_position.x, a_position.y / metres_per_world, a_position.z, 1.0);

    v_runway = a_runway;
    v_normal = a_normal;
    v_size = a_size;
    v_info = a_info;
    v_light_space_position = u_light_space * world;

    vec4 view = u_view * world;
    float distance_world = length(view.xyz);
    float lift = (LIFT_METRES + LIFT_PER_METRE * distance_world * metres_per_world) / metres_per_world;
    view.xyz *= max(1.0 - lift / max(distance_world, 1e-6), 0.5);
    gl_Position = u_proj * view;

    vec3 sun = normalize(u_sun_direction);
    v_transmittance = vec3(1.0);
    v_inscatter = vec3(0.0);
    v_sun_color = vec3(1.0);
    v_sky_tint = vec3(0.75, 0.85, 1.0);
    if (u_render_atmosphere == 0) {
        return;
    }
    float horizon = table_horizon(u_camera_altitude);
    v_sun_color = texelFetch(u_sky_light, ivec2(0, 0), 0).rgb;
    v_sky_tint = texelFetch(u_sky_light, ivec2(1, 0), 0).rgb;
    vec3 to_surface = world.xyz - u_camera_position;
    float length_world = length(to_surface);
    vec3 dir = length_world > 0.0 ? to_surface / length_world : vec3(0.0, -1.0, 0.0);
    float camera_altitude = max(u_camera_altitude * u_height_correction_factor, 0.0);
    aerial_perspective(u_precomputed_texture, dir, length_world * metres_per_world, camera_altitude,
                       max(a_position.y, 0.0), sun, horizon, v_transmittance, v_inscatter);
    float fade = smoothstep(0.85 * u_camera_far, u_camera_far, length_world);
    if (fade > 0.0) {
        v_transmittance *= 1.0 - fade;
        v_inscatter = mix(v_inscatter, sky_table_inscatter(u_precomputed_texture, dir, sun, horizon), fade);
    }
}

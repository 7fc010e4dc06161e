#version 430 core

// Sky colour of one view direction: the light scattered towards the camera (from the cube map
// filled from the scattering table) and the sun's disc seen through the atmosphere. Without
// scattering, a plain gradient.

#include "atmosphere.glsl"

in vec3 v_direction;
flat in float v_horizon;

uniform vec3 u_camera_position;
uniform vec3 u_sun_direction;
uniform int u_render_atmosphere;
uniform float u_camera_altitude;
uniform int u_view_samples;
uniform int u_light_samples;
uniform sampler2D u_precomputed_texture;
uniform samplerCube u_sky_cube;

out vec4 frag_color;

// 1 inside the sun's disc, 0 outside, with a soft rim; compares cosines (no acos per pixel).
float sun_disc(vec3 dir, vec3 sun)
{
    float c = dot(dir, sun);
    return smoothstep(cos(SUN_ANGULAR_RADIUS), cos(SUN_ANGULAR_RADIUS * 0.8), c);
}

void main()
{
    vec3 dir = normalize(v_direction);
    vec3 sun = normalize(u_sun_direction);

    if (u_render_atmosphere == 0) {
        float up = clamp(dir.y, 0.0, 1.0);
        vec3 color = mix(vec3(0.72, 0.80, 0.88), vec3(0.22, 0.42, 0.75), sqrt(up));
        if (dir.y < 0.0) {
            color = mix(vec3(0.72, 0.80, 0.88), vec3(0.35, 0.38, 0.40), clamp(-dir.y * 4.0, 0.0, 1.0));
        }
        color += vec3(1.0, 0.95, 0.85) * sun_disc(dir, sun);
        frag_color = vec4(min(color, vec3(1.0)), 1.0);
        return;
    }

    // The disc shows only above the planet's horizon; the table's transmittance reddens it
    // when it stands low. Its few pixels add it to the scattered light before tone mapping.
    float disc = sun_disc(dir, sun);
    if (disc > 0.0 && dir.y > sin(v_horizon)) {
        vec3 radiance = sky_table_inscatter(u_precomputed_texture, dir, sun, v_horizon);
        vec3 through = sky_table_transmittance(u_precomputed_texture, dir, sun, v_horizon);
        radiance += SUN_INTENSITY * 20.0 * through * disc;
        frag_color = vec4(tonemap(radiance), 1.0);
        return;
    }
    frag_color = vec4(texture(u_sky_cube, dir).rgb, 1.0);
}

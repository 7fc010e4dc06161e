#version 430 core

// Sky colour of one view direction: the light scattered towards the camera (from the cube map
// filled from the scattering table), the sun's disc seen through the atmosphere, and after
// sunset the stars. Without scattering, a plain gradient, darkened at night.

#include "atmosphere.glsl"

in vec3 v_direction;
flat in float v_horizon;
flat in float v_sin_horizon;
flat in float v_star_visibility;

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

// A fixed field of stars: the direction, scaled, falls in a cell of a grid around the camera;
// one cell in fifty holds a star, placed and made bright or faint by an integer hash of the
// cell (cheap where the sky is drawn; only evaluated once the sun is down). Returns its light.
const float STAR_GRID = 400.0;     // cells per unit of direction: about 0.14 degrees each
const float STAR_RADIUS = 0.22;    // in cells: about a pixel at the default field of view
const uint STAR_ONE_IN = 50u;

uvec3 hash3(uvec3 v)
{
    v = v * 1664525u + 1013904223u;
    v.x += v.y * v.z; v.y += v.z * v.x; v.z += v.x * v.y;
    v ^= v >> 16u;
    v.x += v.y * v.z; v.y += v.z * v.x; v.z += v.x * v.y;
    return v;
}

float star(vec3 dir)
{
    vec3 p = dir * STAR_GRID;
    vec3 cell = floor(p);
    uvec3 h = hash3(uvec3(ivec3(cell) + 1024));
    if (h.x % STAR_ONE_IN != 0u) {
        return 0.0;
    }
    vec3 place = cell + 0.25 + 0.5 * vec3(h & 0xffffu) / 65535.0;
    float brightness = float(h.y >> 24u) / 255.0;
    return (1.0 - smoothstep(0.0, STAR_RADIUS, length(p - place))) * (0.15 + 0.85 * brightness * brightness);
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
        color *= 0.1 + 0.9 * smoothstep(-0.2, 0.02, sun.y);
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
    vec3 color = texture(u_sky_cube, dir).rgb;
    if (v_star_visibility > 0.0 && dir.y > v_sin_horizon) {
        // Stars fade where the sky is still bright: towards the sunset, and in the twilight.
        float sky_brightness = dot(color, vec3(0.2126, 0.7152, 0.0722));
        color += vec3(star(dir) * v_star_visibility * clamp(1.0 - 6.0 * sky_brightness, 0.0, 1.0));
    }
    frag_color = vec4(color, 1.0);
}

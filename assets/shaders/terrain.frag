#version 430 core

// Terrain colour: the leaf's imagery lit by the sun with normals from the elevation texture,
// the aircraft's shadow from the shadow map, sky light, and aerial perspective from the same
// atmosphere as the sky. Debug views: zoom levels, normals.

#include "atmosphere.glsl"
#include "elevation.glsl"

in vec3 v_world_position;
in vec2 v_uv;

uniform vec3 u_camera_position;
uniform float u_camera_far;
uniform float u_camera_altitude;
uniform vec3 u_sun_direction;
uniform int u_render_atmosphere;
uniform int u_view_samples;
uniform int u_light_samples;
uniform sampler2D u_precomputed_texture;

uniform int u_shading;
uniform int u_visualize_zoom;
uniform int u_visualize_normals;
uniform uint u_zoom;
uniform uint u_fallback_zoom;
uniform vec2 u_tile_size;                   // world size of the bound elevation tile

uniform sampler2D u_albedo_texture;
uniform int u_albedo_texture_enabled;
uniform vec2 u_albedo_uv_min;
uniform vec2 u_albedo_uv_max;

uniform sampler2D u_shadow_texture;
uniform mat4 u_light_space;

out vec4 frag_color;

// Ground without imagery: a muted rock colour, plainly not a picture but no alarm either.
const vec3 MISSING_ALBEDO = vec3(0.42, 0.40, 0.36);
// Direct sun and sky light on the ground, in units of the picture's own brightness.
const float GROUND_SUN = 1.25;
const float GROUND_AMBIENT = 0.3;

vec3 terrain_normal()
{
    if (!elevation_available()) {
        return vec3(0.0, 1.0, 0.0);
    }
    vec2 uv = height_uv(v_uv);
    vec2 size = vec2(textureSize(u_height_texture, 0));
    // Differences over one texel of the mip level the view needs, so distant slopes come from
    // smoothed heights instead of aliasing.
    float lod = max(textureQueryLod(u_height_texture, uv).y, 0.0);
    vec2 texel = exp2(lod) / size;
    float west = world_height_at(uv - vec2(texel.x, 0.0), lod);
    float east = world_height_at(uv + vec2(texel.x, 0.0), lod);
    float north = world_height_at(uv - vec2(0.0, texel.y), lod);
    float south = world_height_at(uv + vec2(0.0, texel.y), lod);
    // One texel's world size: the bound tile's size times the texel's share of the bound
    // rectangle's texture coordinates.
    vec2 step_world = u_tile_size * texel;
    return normalize(vec3((west - east) / (2.0 * step_world.x), 1.0, (north - south) / (2.0 * step_world.y)));
}

float shadow_factor(vec3 normal, vec3 sun)
{
    vec4 light = u_light_space * vec4(v_world_position, 1.0);
    vec3 p = light.xyz / light.w * 0.5 + 0.5;
    if (p.x <= 0.0 || p.x >= 1.0 || p.y <= 0.0 || p.y >= 1.0 || p.z >= 1.0) {
        return 1.0;
    }
    float bias = max(0.004 * (1.0 - dot(normal, sun)), 0.0008);
    vec2 texel = 1.0 / vec2(textureSize(u_shadow_texture, 0));
    float lit = 0.0;
    for (int y = -1; y <= 1; ++y) {
        for (int x = -1; x <= 1; ++x) {
            float depth = texture(u_shadow_texture, p.xy + vec2(x, y) * texel).r;
            lit += p.z - bias > depth ? 0.0 : 1.0;
        }
    }
    return lit / 9.0;
}

vec3 zoom_color(uint zoom)
{
    float hue = fract(float(zoom) * 0.13);
    vec3 k = clamp(abs(fract(hue + vec3(0.0, 2.0 / 3.0, 1.0 / 3.0)) * 6.0 - 3.0) - 1.0, 0.0, 1.0);
    return mix(vec3(0.25), k, 0.85);
}

void main()
{
    vec3 sun = normalize(u_sun_direction);
    vec3 normal = terrain_normal();

    if (u_visualize_normals != 0) {
        frag_color = vec4(normal * 0.5 + 0.5, 1.0);
        return;
    }

    vec3 albedo = MISSING_ALBEDO;
    if (u_albedo_texture_enabled != 0) {
        albedo = texture(u_albedo_texture, mix(u_albedo_uv_min, u_albedo_uv_max, v_uv)).rgb;
    }
    if (u_visualize_zoom != 0) {
        // Tint by the leaf's zoom; a leaf whose heights come from an ancestor is striped.
        vec3 tint = zoom_color(u_zoom);
        if (u_fallback_zoom < u_zoom && fract((v_uv.x + v_uv.y) * 8.0) < 0.5) {
            tint *= 0.55;
        }
        albedo = mix(albedo, tint, 0.6);
    }
    albedo = pow(albedo, vec3(2.2)); // imagery is display-encoded; light in linear units

    vec3 to_surface = v_world_position - u_camera_position;
    float distance_world = length(to_surface);
    vec3 view_dir = distance_world > 0.0 ? to_surface / distance_world : vec3(0.0, -1.0, 0.0);

    if (u_render_atmosphere == 0) {
        vec3 color = albedo;
        if (u_shading != 0) {
            float diffuse = max(dot(normal, sun), 0.0) * shadow_factor(normal, sun);
            color = albedo * (0.25 + 0.9 * diffuse);
        }
        frag_color = vec4(pow(color, vec3(1.0 / 2.2)), 1.0);
        return;
    }

    // World units are scaled Mercator metres; true metres are shorter by |cos φ|.
    float metres_per_world = max(u_height_correction_factor, 1e-4) / u_terrain_scaling_factor;
    float camera_altitude = max(u_camera_altitude * u_height_correction_factor, 0.0);
    float surface_altitude = max(v_world_position.y * metres_per_world, 0.0);
    float distance_metres = distance_world * metres_per_world;

    // Aerial imagery is a photograph taken in daylight, not a reflectance: the lighting is
    // scaled so that level ground under a high sun shows about the picture's own colours,
    // while slopes turned to or from the sun, the sun's reddening near the horizon and the
    // haze come from the atmosphere.
    vec3 sun_color = sky_table_transmittance(u_precomputed_texture, sun, sun, u_camera_altitude);
    vec3 sky_zenith = sky_table_inscatter(u_precomputed_texture, vec3(0.0, 1.0, 0.0), sun, u_camera_altitude);
    vec3 sky_tint = sky_zenith / max(max(sky_zenith.r, max(sky_zenith.g, sky_zenith.b)), 1e-4);
    vec3 ambient = GROUND_AMBIENT * sky_tint * (0.6 + 0.4 * normal.y);
    float diffuse = max(sun.y, 0.0);
    if (u_shading != 0) {
        diffuse = max(dot(normal, sun), 0.0) * shadow_factor(normal, sun);
    }
    vec3 radiance = albedo * (sun_color * diffuse * GROUND_SUN + ambient) / EXPOSURE;
    radiance = apply_aerial_perspective(u_precomputed_texture, radiance, view_dir, distance_metres, camera_altitude,
                                        surface_altitude, sun);

    // Fade into the sky's own colour before the far plane cuts the ground off.
    float fade = smoothstep(0.85 * u_camera_far, u_camera_far, distance_world);
    if (fade > 0.0) {
        radiance = mix(radiance, sky_table_inscatter(u_precomputed_texture, view_dir, sun, u_camera_altitude), fade);
    }
    frag_color = vec4(tonemap(radiance), 1.0);
}

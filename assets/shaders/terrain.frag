#version 430 core

// Terrain colour: the leaf's imagery lit by the sun with the normals of its elevation tile,
// the aircraft's shadow from the shadow map, sky light, and aerial perspective from the same
// atmosphere as the sky (computed per vertex). Debug views: zoom levels, normals.
//
// Every texture read here costs a software rasteriser dearly, so a pixel reads three: the
// imagery, the normals (computed once per tile when it arrives) and, only on leaves the
// aircraft's shadow can reach, the shadow map.

#include "atmosphere.glsl"
#include "elevation.glsl"

in vec3 v_world_position;
in vec2 v_uv;
in vec4 v_light_space_position;
in vec3 v_transmittance;
in vec3 v_inscatter;
flat in vec3 v_sun_color;
flat in vec3 v_sky_tint;

uniform vec3 u_sun_direction;
uniform int u_render_atmosphere;

uniform int u_shading;
uniform int u_visualize_zoom;
uniform int u_visualize_normals;
uniform uint u_zoom;
uniform uint u_fallback_zoom;
uniform int u_receive_shadow;               // the leaf lies inside the shadow map's box

uniform sampler2D u_albedo_texture;
uniform int u_albedo_texture_enabled;
uniform vec2 u_albedo_uv_min;
uniform vec2 u_albedo_uv_max;

uniform sampler2D u_shadow_texture;
uniform float u_shadow_bias;                // depth offset in the light's depth units

out vec4 frag_color;

// Ground without imagery: a muted rock colour, plainly not a picture but no alarm either.
const vec3 MISSING_ALBEDO = vec3(0.42, 0.40, 0.36);
// Aerial imagery is a photograph taken in daylight, not a reflectance: direct sun and sky
// light are scaled so that level ground under a high sun shows about the picture's own
// colours, while slopes turned to or from the sun, the sun's reddening and the haze come from
// the atmosphere.
const float GROUND_SUN = 1.25;
const float GROUND_AMBIENT = 0.3;

vec3 terrain_normal()
{
    if (!elevation_available() || u_normal_texture_enabled == 0) {
        return vec3(0.0, 1.0, 0.0);
    }
    // East and south components, stored as bytes; up follows from them.
    vec2 xz = texture(u_normal_texture, height_uv(v_uv)).rg * 2.0 - 1.0;
    return vec3(xz.x, sqrt(max(1.0 - dot(xz, xz), 0.0)), xz.y);
}

float shadow_factor(vec3 normal, vec3 sun)
{
    vec3 p = v_light_space_position.xyz / v_light_space_position.w * 0.5 + 0.5;
    if (p.x <= 0.0 || p.x >= 1.0 || p.y <= 0.0 || p.y >= 1.0 || p.z >= 1.0) {
        return 1.0;
    }
    float bias = u_shadow_bias * (1.0 + 3.0 * (1.0 - dot(normal, sun)));
    // The four texels around the point in one gather: a 2×2 percentage-closer filter that
    // softens the map's texel edges for a single texture fetch per pixel.
    vec4 depths = textureGather(u_shadow_texture, p.xy, 0);
    vec4 lit = step(vec4(p.z - bias), depths);
    return dot(lit, vec4(0.25));
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
    albedo = to_linear(albedo);

    float diffuse = max(sun.y, 0.0);
    if (u_shading != 0) {
        diffuse = max(dot(normal, sun), 0.0);
        if (u_receive_shadow != 0 && diffuse > 0.0) {
            diffuse *= shadow_factor(normal, sun);
        }
    }
    vec3 ambient = GROUND_AMBIENT * v_sky_tint * (0.6 + 0.4 * normal.y);
    vec3 radiance = albedo * (v_sun_color * diffuse * GROUND_SUN + ambient) / EXPOSURE;
    radiance = radiance * v_transmittance + v_inscatter;
    frag_color = vec4(tonemap(radiance), 1.0);
}

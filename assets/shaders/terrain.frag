#version 430 core

// Terrain colour: the leaf's imagery lit by the sun with normals from the elevation texture,
// the aircraft's shadow from the shadow map, sky light, and aerial perspective from the same
// atmosphere as the sky (computed per vertex). Debug views: zoom levels, normals.

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
uniform vec2 u_tile_size;                   // world size of the bound elevation tile

uniform sampler2D u_albedo_texture;
uniform int u_albedo_texture_enabled;
uniform vec2 u_albedo_uv_min;
uniform vec2 u_albedo_uv_max;

uniform sampler2D u_shadow_texture;

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
    if (!elevation_available()) {
        return vec3(0.0, 1.0, 0.0);
    }
    vec2 uv = height_uv(v_uv);
    vec2 size = vec2(textureSize(u_height_texture, 0));
    // Forward differences over as many texels as one pixel covers, so distant slopes are not
    // aliased. Always read from the full-resolution level: the mip levels of red/green
    // encoded heights average and round the two bytes separately, which puts steps of up to
    // 16 m into them (visible as contour stripes).
    float lod = floor(max(textureQueryLod(u_height_texture, uv).y, 0.0));
    vec2 texel = exp2(lod) / size;
    float here = world_height_at(uv, 0.0);
    float east = world_height_at(uv + vec2(texel.x, 0.0), 0.0);
    float south = world_height_at(uv + vec2(0.0, texel.y), 0.0);
    // One texel's world size: the bound tile's size times the texel's share of the bound
    // rectangle's texture coordinates.
    vec2 step_world = u_tile_size * texel;
    return normalize(vec3((here - east) / step_world.x, 1.0, (here - south) / step_world.y));
}

float shadow_factor(vec3 normal, vec3 sun)
{
    vec3 p = v_light_space_position.xyz / v_light_space_position.w * 0.5 + 0.5;
    if (p.x <= 0.0 || p.x >= 1.0 || p.y <= 0.0 || p.y >= 1.0 || p.z >= 1.0) {
        return 1.0;
    }
    float bias = max(0.004 * (1.0 - dot(normal, sun)), 0.0008);
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
        diffuse = max(dot(normal, sun), 0.0) * shadow_factor(normal, sun);
    }
    vec3 ambient = GROUND_AMBIENT * v_sky_tint * (0.6 + 0.4 * normal.y);
    vec3 radiance = albedo * (v_sun_color * diffuse * GROUND_SUN + ambient) / EXPOSURE;
    radiance = radiance * v_transmittance + v_inscatter;
    frag_color = vec4(tonemap(radiance), 1.0);
}

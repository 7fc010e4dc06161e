#version 430 core

#include "scene_lighting.glsl"

// The material's base colour (display-encoded, with alpha), times its texture where it has one.
uniform vec4 u_base_color;
uniform bool u_has_texture;
layout(binding = 0) uniform sampler2D u_base_color_texture;
// Mask materials: fragments whose alpha is below the cutoff are dropped; others pass 0.
uniform float u_alpha_cutoff;

in vec3 v_world_position;
in vec3 v_normal;
in vec2 v_uv;

out vec4 frag_color;

// The shadow test of scene_lighting.glsl (same map, matrix and bias) over the 2 x 2 texels
// around the point in one gather, as the terrain takes it: a model covers much of the screen,
// where nine lookups a fragment would cost several milliseconds on a software rasteriser.
float gathered_visibility(vec3 world_position, vec3 normal)
{
    if (!u_shadows_enabled)
        return 1.0;
    vec4 light_clip = u_light_space_matrix * vec4(world_position, 1.0);
    if (light_clip.w <= 0.0)
        return 1.0;
    vec3 coords = light_clip.xyz / light_clip.w * 0.5 + 0.5;
    if (coords.z > 1.0)
        return 1.0;
    float slope = 1.0 - clamp(dot(normal, normalize(u_sun_direction)), 0.0, 1.0);
    float bias = max(0.005 * slope, 0.0005);
    vec4 lit = step(vec4(coords.z - bias), textureGather(u_shadow_map, coords.xy, 0));
    return dot(lit, vec4(0.25));
}

void main()
{
    vec4 base = u_base_color;
    if (u_has_texture)
        base *= texture(u_base_color_texture, v_uv);
    if (base.a < u_alpha_cutoff)
        discard;
    vec3 normal = normalize(v_normal);
    // Double-sided surfaces are lit on the side the viewer sees.
    if (!gl_FrontFacing)
        normal = -normal;
    // The lighting of shade(), the night's included: faces turned from the sun need no shadow
    // test.
    vec3 sun = normalize(u_sun_direction);
    float diffuse = max(dot(normal, sun), 0.0) * smoothstep(-0.01, 0.02, sun.y);
    float visibility = diffuse > 0.0 ? gathered_visibility(v_world_position, normal) : 1.0;
    float ambient = AMBIENT * mix(NIGHT_AMBIENT, 1.0, smoothstep(-0.2, 0.0, sun.y));
    frag_color = vec4(base.rgb * (ambient + (1.0 - AMBIENT) * diffuse * visibility), base.a);
}

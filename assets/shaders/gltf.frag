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
    frag_color = vec4(shade(base.rgb, v_world_position, normal), base.a);
}

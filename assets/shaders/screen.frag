#version 430 core

// Shows a texture across the viewport, e.g. the shadow map while tuning it. Depth textures
// read their depth in red; u_depth spreads it to grey.
uniform sampler2D u_texture;
uniform bool u_depth = false;

in vec2 v_uv;

out vec4 frag_color;

void main()
{
    vec4 texel = texture(u_texture, v_uv);
    frag_color = u_depth ? vec4(vec3(texel.r), 1.0) : vec4(texel.rgb, 1.0);
}

#version 430 core

// Fills one face of the sky's cube map: the display colour of the light scattered towards the
// camera from each direction, read from the scattering table. The sky then costs one cube map
// lookup per pixel instead of the table's trigonometry; only the sun's disc is drawn apart.

#include "atmosphere.glsl"

uniform sampler2D u_precomputed_texture;
uniform vec3 u_sun_direction;
uniform float u_camera_altitude;
uniform int u_face; // 0..5: +X, −X, +Y, −Y, +Z, −Z
uniform float u_face_size;

out vec4 frag_color;

// The direction through a texel of a face, as GL's cube map lookup maps it back.
vec3 face_direction(int face, vec2 st)
{
    vec2 c = st * 2.0 - 1.0;
    if (face == 0) return vec3(1.0, -c.y, -c.x);
    if (face == 1) return vec3(-1.0, -c.y, c.x);
    if (face == 2) return vec3(c.x, 1.0, c.y);
    if (face == 3) return vec3(c.x, -1.0, -c.y);
    if (face == 4) return vec3(c.x, -c.y, 1.0);
    return vec3(-c.x, -c.y, -1.0);
}

void main()
{
    vec3 dir = normalize(face_direction(u_face, gl_FragCoord.xy / u_face_size));
    vec3 sun = normalize(u_sun_direction);
    float horizon = table_horizon(u_camera_altitude);
    frag_color = vec4(tonemap(sky_table_inscatter(u_precomputed_texture, dir, sun, horizon)), 1.0);
}

#version 430 core

// The two colours all of the terrain shares: texel 0 the sunlight as it arrives at the
// camera's altitude, texel 1 the tint of the sky's light from the zenith (its brightest
// channel 1). Filled with the scattering table, so the terrain's vertices read two texels
// instead of looking both up in the table each.

#include "atmosphere.glsl"

uniform sampler2D u_precomputed_texture;
uniform vec3 u_sun_direction;
uniform float u_camera_altitude;

out vec4 frag_color;

void main()
{
    vec3 sun = normalize(u_sun_direction);
    float horizon = table_horizon(u_camera_altitude);
    if (int(gl_FragCoord.x) == 0) {
        frag_color = vec4(sky_table_transmittance(u_precomputed_texture, sun, sun, horizon), 1.0);
        return;
    }
    vec3 zenith = sky_table_inscatter(u_precomputed_texture, vec3(0.0, 1.0, 0.0), sun, horizon);
    frag_color = vec4(zenith / max(max(zenith.r, max(zenith.g, zenith.b)), 1e-4), 1.0);
}

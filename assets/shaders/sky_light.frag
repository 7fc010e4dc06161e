#version 430 core

// The two colours all of the terrain shares: texel 0 the sunlight as it arrives at the
// camera's altitude (none once the sun has set there), texel 1 the sky's light from the
// zenith: its tint (brightest channel 1) by day, dimmed through the twilight as the sky above
// darkens, down to NIGHT_SKY_LIGHT at night. Filled with the scattering table, so the
// terrain's vertices read two texels instead of looking both up in the table each.

#include "atmosphere.glsl"

uniform sampler2D u_precomputed_texture;
uniform vec3 u_sun_direction;
uniform float u_camera_altitude;

out vec4 frag_color;

// The zenith's in-scattered light for a sun of the given direction, integrated directly (one
// ray, only when the table is rebuilt).
vec3 zenith_light(float altitude, vec3 sun)
{
    vec3 inscatter;
    vec3 transmittance;
    integrate_scattering(altitude, vec3(0.0, 1.0, 0.0), sun, 24, 6, true, inscatter, transmittance);
    return inscatter;
}

void main()
{
    vec3 sun = normalize(u_sun_direction);
    float horizon = table_horizon(u_camera_altitude);
    if (int(gl_FragCoord.x) == 0) {
        vec3 sunlight = sky_table_transmittance(u_precomputed_texture, sun, sun, horizon);
        frag_color = vec4(sunlight * sun_above_horizon(sun.y, horizon), 1.0);
        return;
    }
    vec3 zenith = sky_table_inscatter(u_precomputed_texture, vec3(0.0, 1.0, 0.0), sun, horizon);
    vec3 tint = zenith / max(max(zenith.r, max(zenith.g, zenith.b)), 1e-6);
    // The zenith against itself with the sun on the horizon: 1 and more by day (the sky light
    // as it always was), falling with the sky through the twilight.
    float altitude = table_altitude(u_camera_altitude);
    vec3 now = zenith_light(altitude, sun);
    vec3 sunset = zenith_light(altitude, vec3(1.0, 0.0, 0.0)); // the zenith sees every azimuth alike
    float brightness = clamp(max(now.b, now.g) / max(max(sunset.b, sunset.g), 1e-9), NIGHT_SKY_LIGHT, 1.0);
    frag_color = vec4(tint * brightness, 1.0);
}

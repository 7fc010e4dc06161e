#version 430 core

// Fills the scattering table: each texel is one view direction from the camera's altitude,
// x the azimuth away from the sun (0 to π), y the elevation; the upper half of the rows
// receives the in-scattered light (with the night sky's own faint light), the lower half the
// transmittance of the same ray. The sun may stand below the horizon: the air high above is
// then still lit and scatters the twilight's colours.

#include "atmosphere.glsl"

uniform float u_camera_altitude;
uniform float u_sun_elevation;  // radians
uniform int u_view_samples;
uniform int u_light_samples;

out vec4 frag_color;

void main()
{
    ivec2 texel = ivec2(gl_FragCoord.xy);
    bool lower_half = texel.y >= SKY_TABLE_HALF_HEIGHT;
    int row = lower_half ? texel.y - SKY_TABLE_HALF_HEIGHT : texel.y;
    float u = float(texel.x) / float(SKY_TABLE_WIDTH - 1);
    float v = float(row) / float(SKY_TABLE_HALF_HEIGHT - 1);

    float altitude = table_altitude(u_camera_altitude);
    float azimuth = u * PI;
    float elevation = table_v_to_elevation(v, horizon_angle(altitude));
    vec3 dir = vec3(cos(elevation) * cos(azimuth), sin(elevation), cos(elevation) * sin(azimuth));
    vec3 sun = vec3(cos(u_sun_elevation), sin(u_sun_elevation), 0.0);

    vec3 inscatter;
    vec3 transmittance;
    integrate_scattering(altitude, dir, sun, u_view_samples, u_light_samples, !lower_half, inscatter,
                         transmittance);
    frag_color = vec4(lower_half ? transmittance : inscatter + night_sky(dir.y), 1.0);
}

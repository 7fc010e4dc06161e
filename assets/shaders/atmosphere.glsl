// Single-scattering atmosphere shared by the sky, its scattering table and the terrain.
//
// A spherical planet with an exponential Rayleigh layer (air molecules: scatters blue most,
// symmetric phase) and an exponential Mie layer (haze: nearly grey, strongly forward). The
// full integration (integrate_scattering) runs only while filling the scattering table; the
// sky and the terrain read the table (sky_table_*), which holds, for every view direction
// from the camera's altitude, the light scattered towards the camera along the whole ray and
// the ray's transmittance.

const float PI = 3.14159265358979;
const float PLANET_RADIUS = 6360000.0;     // metres
const float ATMOSPHERE_RADIUS = 6460000.0; // top of the atmosphere, metres
const vec3 RAYLEIGH_SCATTERING = vec3(5.802e-6, 13.558e-6, 33.1e-6); // per metre at sea level
const float RAYLEIGH_HEIGHT = 8000.0;      // scale height, metres
const float MIE_SCATTERING = 3.996e-6;
const float MIE_EXTINCTION = 4.44e-6;
const float MIE_HEIGHT = 1200.0;
const float MIE_G = 0.8;                   // forward lobe of the haze
const float SUN_INTENSITY = 20.0;
const float SUN_ANGULAR_RADIUS = 0.0093;   // drawn twice the real size, so it reads on screen
const float EXPOSURE = 1.6;
// What single scattering leaves out once the sun is well below the horizon: airglow, starlight
// and light scattered more than once. A faint blue radiance added to every view ray's
// in-scattered light (stronger towards the horizon), so the night sky is dark blue, not black;
// by day it is lost in the sunlit sky.
const vec3 NIGHT_SKY = vec3(0.0008, 0.0015, 0.0040);
// The sky light on the terrain at night, relative to the sky's by day (see sky_light.frag).
const float NIGHT_SKY_LIGHT = 0.04;

// Table layout; must match SKY_TABLE_WIDTH / SKY_TABLE_HALF_HEIGHT in terrain/Atmosphere.h.
const int SKY_TABLE_WIDTH = 64;
const int SKY_TABLE_HALF_HEIGHT = 40;

// The altitude the table is computed for: rounded to power-of-two steps of about 1 to 2 % of
// the altitude (at least 8 m), as sky_table_altitude in terrain/Atmosphere.cpp does.
float table_altitude(float altitude)
{
    float h = max(altitude, 0.0);
    float step_size = max(8.0, exp2(floor(log2(max(h, 1.0)))) / 64.0);
    return max(floor(h / step_size + 0.5) * step_size, 1.0);
}

// Distances along the ray to the sphere's two intersections; (-1, -1) when it misses.
// The constant term is formed as a product of differences to keep float precision at
// planetary radii.
vec2 ray_sphere(vec3 origin, vec3 dir, float radius)
{
    float len = length(origin);
    float b = dot(origin, dir);
    float c = (len - radius) * (len + radius);
    float disc = b * b - c;
    if (disc < 0.0) {
        return vec2(-1.0);
    }
    float s = sqrt(disc);
    return vec2(-b - s, -b + s);
}

float rayleigh_phase(float mu)
{
    return 3.0 / (16.0 * PI) * (1.0 + mu * mu);
}

// Cornette-Shanks form of Henyey-Greenstein.
float mie_phase(float mu)
{
    float g2 = MIE_G * MIE_G;
    float denom = max(1.0 + g2 - 2.0 * MIE_G * mu, 1e-4);
    return 3.0 / (8.0 * PI) * (1.0 - g2) * (1.0 + mu * mu) / ((2.0 + g2) * denom * sqrt(denom));
}

vec2 layer_densities(float height)
{
    return exp(-max(height, 0.0) / vec2(RAYLEIGH_HEIGHT, MIE_HEIGHT));
}

vec3 extinction(vec2 optical_depth)
{
    return RAYLEIGH_SCATTERING * optical_depth.x + MIE_EXTINCTION * optical_depth.y;
}

// Light scattered towards a camera at the altitude along dir, up to the top of the
// atmosphere or the ground, and the transmittance of that ray. view_samples steps along the
// ray; at each, light_samples steps towards the sun give the optical depth of the light path.
// Points in the planet's shadow receive no sunlight.
void integrate_scattering(float altitude, vec3 dir, vec3 sun, int view_samples, int light_samples,
                          bool with_inscatter, out vec3 inscatter, out vec3 transmittance)
{
    vec3 origin = vec3(0.0, PLANET_RADIUS + max(altitude, 1.0), 0.0);
    float t_max = max(ray_sphere(origin, dir, ATMOSPHERE_RADIUS).y, 0.0);
    vec2 ground = ray_sphere(origin, dir, PLANET_RADIUS);
    if (ground.x > 0.0) {
        t_max = min(t_max, ground.x);
    }
    int n_view = max(view_samples, 1);
    int n_light = max(light_samples, 1);
    float ds = t_max / float(n_view);
    vec2 depth = vec2(0.0);   // optical depth from the camera to the current step
    vec3 sum_r = vec3(0.0);
    vec3 sum_m = vec3(0.0);
    for (int i = 0; i < n_view; ++i) {
        vec3 p = origin + dir * ((float(i) + 0.5) * ds);
        vec2 d = layer_densities(length(p) - PLANET_RADIUS) * ds;
        if (with_inscatter && ray_sphere(p, sun, PLANET_RADIUS).x <= 0.0) {
            float dl = ray_sphere(p, sun, ATMOSPHERE_RADIUS).y / float(n_light);
            vec2 light_depth = vec2(0.0);
            for (int j = 0; j < n_light; ++j) {
                vec3 q = p + sun * ((float(j) + 0.5) * dl);
                light_depth += layer_densities(length(q) - PLANET_RADIUS) * dl;
            }
            vec3 attenuation = exp(-extinction(depth + 0.5 * d + light_depth));
            sum_r += d.x * attenuation;
            sum_m += d.y * attenuation;
        }
        depth += d;
    }
    float mu = dot(dir, sun);
    inscatter = SUN_INTENSITY * (sum_r * RAYLEIGH_SCATTERING * rayleigh_phase(mu) +
                                 sum_m * MIE_SCATTERING * mie_phase(mu));
    transmittance = exp(-extinction(depth));
}

// Angle of the geometric horizon below the horizontal, seen from the altitude (radians, <= 0).
float horizon_angle(float altitude)
{
    return -acos(clamp(PLANET_RADIUS / (PLANET_RADIUS + max(altitude, 1.0)), -1.0, 1.0));
}

// Table coordinates (0..1 across each half) ↔ view elevation. Rows crowd around the horizon,
// where the sky changes fastest: the elevation is quadratic in the distance from the middle.
float table_v_to_elevation(float v, float horizon)
{
    if (v < 0.5) {
        float c = 1.0 - 2.0 * v;
        return horizon - c * c * (0.5 * PI + horizon);
    }
    float c = 2.0 * v - 1.0;
    return horizon + c * c * (0.5 * PI - horizon);
}

float table_elevation_to_v(float elevation, float horizon)
{
    if (elevation < horizon) {
        return 0.5 - 0.5 * sqrt(clamp((horizon - elevation) / (0.5 * PI + horizon), 0.0, 1.0));
    }
    return 0.5 + 0.5 * sqrt(clamp((elevation - horizon) / (0.5 * PI - horizon), 0.0, 1.0));
}

// The horizon angle the table's rows are laid out around, for a camera altitude. Constant in a
// frame: shaders compute it per vertex and pass it on, software rasterisers pay dearly for
// transcendental functions per pixel.
float table_horizon(float camera_altitude)
{
    return horizon_angle(table_altitude(camera_altitude));
}

// Where a world direction falls in the table: x from the azimuth difference to the sun (0 to
// π), y from the elevation; texel centres at both ends. lower_half selects the transmittance.
// horizon comes from table_horizon.
vec2 sky_table_uv(vec3 dir, vec3 sun, float horizon, bool lower_half)
{
    float elevation = asin(clamp(dir.y, -1.0, 1.0));
    vec2 flat_dir = dir.xz;
    vec2 flat_sun = sun.xz;
    float azimuth = 0.0;
    if (dot(flat_dir, flat_dir) > 1e-12 && dot(flat_sun, flat_sun) > 1e-12) {
        azimuth = acos(clamp(dot(normalize(flat_dir), normalize(flat_sun)), -1.0, 1.0));
    }
    float u = azimuth / PI;
    float v = table_elevation_to_v(elevation, horizon);
    float x = (0.5 + u * float(SKY_TABLE_WIDTH - 1)) / float(SKY_TABLE_WIDTH);
    float row = 0.5 + v * float(SKY_TABLE_HALF_HEIGHT - 1) + (lower_half ? float(SKY_TABLE_HALF_HEIGHT) : 0.0);
    return vec2(x, row / float(2 * SKY_TABLE_HALF_HEIGHT));
}

vec3 sky_table_inscatter(sampler2D table, vec3 dir, vec3 sun, float horizon)
{
    return textureLod(table, sky_table_uv(dir, sun, horizon, false), 0.0).rgb;
}

vec3 sky_table_transmittance(sampler2D table, vec3 dir, vec3 sun, float horizon)
{
    return textureLod(table, sky_table_uv(dir, sun, horizon, true), 0.0).rgb;
}

// Optical depth (Rayleigh, Mie) of a straight segment of the given length between two
// heights, with the layers' exponential fall-off integrated exactly (the planet's curvature is
// neglected over a terrain's distances).
vec2 segment_optical_depth(float h0, float h1, float len)
{
    h0 = max(h0, 0.0);
    h1 = max(h1, 0.0);
    vec2 scale = vec2(RAYLEIGH_HEIGHT, MIE_HEIGHT);
    vec2 e0 = exp(-h0 / scale);
    float dh = h1 - h0;
    if (abs(dh) < 1.0) {
        return e0 * len;
    }
    vec2 e1 = exp(-h1 / scale);
    return len * scale * (e0 - e1) / dh;
}

// Aerial perspective of len metres of air from the camera along dir: the transmittance of
// that stretch (t) and the light scattered into it (inscatter); the surface is seen as
// surface × t + inscatter. The in-scattered light is the table's whole-ray value scaled by how
// much of the whole ray's extinction this stretch holds, which is exact for a ray through a
// uniform layer and close for the rest.
void aerial_perspective(sampler2D table, vec3 dir, float len, float camera_altitude, float surface_altitude,
                        vec3 sun, float horizon, out vec3 t, out vec3 inscatter)
{
    t = exp(-extinction(segment_optical_depth(camera_altitude, surface_altitude, len)));
    vec3 whole_inscatter = sky_table_inscatter(table, dir, sun, horizon);
    vec3 whole_transmittance = sky_table_transmittance(table, dir, sun, horizon);
    vec3 share = min((1.0 - t) / max(1.0 - whole_transmittance, vec3(1e-5)), vec3(1.0));
    inscatter = whole_inscatter * share;
}

// The night sky's radiance along a view direction of the given sine of its elevation.
vec3 night_sky(float sin_elevation)
{
    return NIGHT_SKY * (1.8 - 0.8 * abs(sin_elevation));
}

// How much of the sun's disc stands above the horizon seen from the camera: 0 once it has set,
// 1 while it is whole. sin_elevation is the sun direction's y, horizon from table_horizon.
float sun_above_horizon(float sin_elevation, float horizon)
{
    float elevation = asin(clamp(sin_elevation, -1.0, 1.0));
    return smoothstep(horizon - SUN_ANGULAR_RADIUS, horizon + SUN_ANGULAR_RADIUS, elevation);
}

// Display colour ↔ linear light. A gamma of 2 instead of the display's 2.2: a square and a
// square root cost a software rasteriser far less than pow, and the look barely differs.
vec3 to_linear(vec3 display)
{
    return display * display;
}

// Radiance to display colour: exponential exposure, then the display gamma.
vec3 tonemap(vec3 radiance)
{
    return sqrt(1.0 - exp(-radiance * EXPOSURE));
}

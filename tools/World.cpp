#include "tools/World.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/Units.h"
#include "tools/Airfields.h"
#include "tools/Noise.h"

namespace tileserver {

namespace {

double mercator_u(double lon) { return (lon + 180.0) / 360.0; }
double mercator_v(double lat) { return (1.0 - std::asinh(std::tan(lat * DEG_TO_RAD)) / PI) * 0.5; }

const double START_U = mercator_u(World::START_LON);
const double START_V = mercator_v(World::START_LAT);
const double GROUND_SCALE = std::cos(World::START_LAT * DEG_TO_RAD);

constexpr double RIVER_OFFSET = 450.0;    // the river runs this far south of the valley's centre line
constexpr double RIVER_HALF_WIDTH = 40.0;
constexpr double VALLEY_LENGTH = 55000.0; // east and west of the start

Row lattice_row(const GroundRow& row, double wavelength, double shift_x = 0.0, double shift_y = 0.0)
{
    return Row{row.x0, row.dx, row.y, row.n}.scaled(1.0 / wavelength, shift_x, shift_y);
}

// The main valley's centre line (its y for each x of the row): a meandering line from two
// octaves of noise along x, shifted so that it passes exactly through the start, which
// therefore lies on the valley floor.
void valley_centre_row(const GroundRow& row, float* out)
{
    auto line = [](const GroundRow& r, float* values) {
        thread_local std::vector<float> fine;
        fine.resize(static_cast<size_t>(r.n));
        value_noise_row(Row{r.x0 / 11000.0 + 0.37, r.dx / 11000.0, 0.5, r.n}, 1001u, values);
        value_noise_row(Row{r.x0 / 3800.0 + 0.61, r.dx / 3800.0, 0.5, r.n}, 1002u, fine.data());
        for (int i = 0; i < r.n; ++i) {
            values[i] = 2600.0f * values[i] + 700.0f * fine[static_cast<size_t>(i)];
        }
    };
    static const float at_start = [&line] {
        float value = 0.0f;
        line(GroundRow{0.0, 1.0, 0.0, 1}, &value);
        return value;
    }();
    line(row, out);
    for (int i = 0; i < row.n; ++i) {
        out[i] -= at_start;
    }
}

float beyond_main_valley(double x) { return smoothstep(VALLEY_LENGTH, VALLEY_LENGTH + 20000.0, static_cast<float>(std::fabs(x))); }

// Coverage of a band of half width w at distance d for a pixel of size pixel: a cheap box
// filter, so a river narrower than a pixel still shows as a faint line instead of breaking up.
float band_coverage(double d, double w, double pixel)
{
    double p = std::max(pixel, 1.0);
    return static_cast<float>(std::clamp((w - d) / p + 0.5, 0.0, 1.0) * std::min(1.0, 2.0 * w / p + 0.25));
}

// Soft ceiling so the highest peaks flatten below MAX_HEIGHT instead of being cut off.
float soft_cap(float h)
{
    constexpr float knee = 3400.0f;
    constexpr float room = World::MAX_HEIGHT - knee;
    return h <= knee ? h : knee + room * std::tanh((h - knee) / room);
}

uint8_t to_byte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

// Scratch rows, one set per thread (the server renders tiles on several threads).
struct Scratch {
    std::vector<float> a, b, c, d, e, f, g, h, i, j;
    void resize(int n)
    {
        for (auto* v : {&a, &b, &c, &d, &e, &f, &g, &h, &i, &j}) {
            v->resize(static_cast<size_t>(n));
        }
    }
};

} // namespace

double World::ground_scale() { return GROUND_SCALE; }

GroundPoint World::from_mercator_unit(double u, double v)
{
    double metres = EARTH_CIRCUMFERENCE * GROUND_SCALE;
    return {(u - START_U) * metres, (v - START_V) * metres};
}

GroundPoint World::from_latlon(double lat, double lon) { return from_mercator_unit(mercator_u(lon), mercator_v(lat)); }

WorldSample World::sample(GroundPoint p, double pixel_size)
{
    WorldSample s;
    sample_row(GroundRow{p.x, 1.0, p.y, 1}, pixel_size, &s);
    return s;
}

void World::sample_row(const GroundRow& row, double pixel_size, WorldSample* out)
{
    sample_terrain_row(row, pixel_size, out);
    lay_runways(row, out);
}

void World::sample_terrain_row(const GroundRow& row, double pixel_size, WorldSample* out)
{
    thread_local Scratch scratch;
    scratch.resize(row.n);
    float* region = scratch.a.data();
    float* side = scratch.b.data();
    float* ridges = scratch.c.data();
    float* hills = scratch.d.data();
    float* floor_noise = scratch.e.data();
    float* relief = scratch.f.data();
    float* lake_noise = scratch.g.data();
    float* centre = scratch.h.data();
    float* rugged = scratch.i.data();
    float* flat = scratch.j.data();

    // Mountain ranges come and go over hundreds of kilometres.
    fbm_row(lattice_row(row, 150000.0, 3.1, -7.7), 2.0f, 101u, region);
    // Side valleys follow the zero lines of a broad noise.
    fbm_row(lattice_row(row, 30000.0, 0.4, 0.9), 3.0f, 301u, side, 0.45f);
    fbm_row(lattice_row(row, 60000.0), 2.0f, 601u, floor_noise);
    fbm_row(lattice_row(row, 2500.0), octaves_for(2500.0, pixel_size, 4), 701u, relief);
    valley_centre_row(row, centre);

    // 0 on valley floors, 1 in open mountain country: the main valley through the start and
    // the side valleys.
    bool any_rugged = false;
    bool any_flat = false;
    for (int i = 0; i < row.n; ++i) {
        const double x = row.x0 + i * row.dx;
        float r = smoothstep(800.0f, 4000.0f, static_cast<float>(std::fabs(row.y - centre[i])));
        r = mix(r, 1.0f, beyond_main_valley(x));
        r *= smoothstep(0.02f, 0.12f, std::fabs(side[i]));
        rugged[i] = r;
        flat[i] = 1.0f - smoothstep(0.05f, 0.25f, r);
        any_rugged = any_rugged || r > 0.0f;
        any_flat = any_flat || flat[i] > 0.0f;
    }
    // Mountains only where something is rugged, lakes only where something is flat: the
    // skipped terms would be multiplied by exactly zero.
    if (any_rugged) {
        ridged_row(lattice_row(row, 14000.0, 31.7, -11.2), std::max(1.0f, octaves_for(14000.0, pixel_size, 11)), 401u, ridges);
        fbm_row(lattice_row(row, 5000.0), octaves_for(5000.0, pixel_size, 4), 501u, hills);
    } else {
        std::fill(ridges, ridges + row.n, 0.0f);
        std::fill(hills, hills + row.n, 0.0f);
    }
    if (any_flat) {
        fbm_row(lattice_row(row, 3500.0, -40.3, 12.9), octaves_for(3500.0, pixel_size, 3), 801u, lake_noise);
    } else {
        std::fill(lake_noise, lake_noise + row.n, 0.0f);
    }

    for (int i = 0; i < row.n; ++i) {
        const double x = row.x0 + i * row.dx;
        const double y = row.y;
        const float distance = static_cast<float>(std::sqrt(x * x + y * y));

        // Around the start the mountains are high.
        float reach = std::max(0.62f + 0.45f * region[i], 1.0f - 0.6f * smoothstep(25000.0f, 70000.0f, distance));
        reach = std::clamp(reach, 0.15f, 1.0f);

        float crest = std::clamp(ridges[i] * 1.18f, 0.0f, 1.0f);
        float mountains = 2900.0f * reach * std::pow(crest, 1.3f);
        float hill = 220.0f * (0.5f + 0.5f * hills[i]);
        float floor_height = 560.0f + 220.0f * (0.5f + 0.5f * floor_noise[i]);
        float floor_relief = 18.0f * (0.5f + 0.5f * relief[i]);
        // The ranges on both sides of the start's valley stand on a broad massif, so high peaks
        // rise within a few kilometres of the start.
        float massif = 1100.0f * (1.0f - smoothstep(20000.0f, 45000.0f, distance)) * (0.6f + 0.4f * hills[i]);
        float height = floor_height + floor_relief + rugged[i] * (mountains + hill + massif) + std::sqrt(rugged[i]) * hill * 0.5f;

        // Lakes lie on flat valley floors, never on the start itself; a river runs along the
        // main valley.
        float lake = smoothstep(0.35f, 0.37f, lake_noise[i]) * flat[i] * smoothstep(1500.0f, 3000.0f, distance);
        float river = band_coverage(std::fabs(y - centre[i] - RIVER_OFFSET), RIVER_HALF_WIDTH, pixel_size) *
                      (1.0f - beyond_main_valley(x)) * flat[i];

        WorldSample& s = out[i];
        s.rugged = rugged[i];
        s.water = std::max(lake, river);
        // The floor's relief is never negative, so the water surface lies below the land.
        float surface = floor_height - 2.0f;
        s.height = soft_cap(mix(height, surface, std::max(smoothstep(0.0f, 0.5f, lake), river)));
    }
}

void World::colour_row(const GroundRow& row, double pixel_size, const WorldSample* samples, const float* slope_x,
                       const float* slope_y, uint8_t* rgb)
{
    thread_local Scratch scratch;
    scratch.resize(row.n);
    float* detail = scratch.a.data();
    float* patch = scratch.b.data();
    float* band = scratch.c.data();
    float* strata = scratch.d.data();
    fbm_row(lattice_row(row, 40.0), octaves_for(40.0, pixel_size, 4), 901u, detail);
    fbm_row(lattice_row(row, 900.0), octaves_for(900.0, pixel_size, 5), 902u, patch);
    fbm_row(lattice_row(row, 3000.0), octaves_for(3000.0, pixel_size, 2), 903u, band);
    // Rock shows only on steep or high ground (see the rock term below); elsewhere its
    // texture would be multiplied by zero.
    bool any_rock = false;
    for (int i = 0; i < row.n && !any_rock; ++i) {
        any_rock = samples[i].height > 1850.0f - 180.0f + 350.0f ||
                   slope_x[i] * slope_x[i] + slope_y[i] * slope_y[i] > 0.75f * 0.75f;
    }
    if (any_rock) {
        fbm_row(lattice_row(row, 150.0), octaves_for(150.0, pixel_size, 4), 905u, strata);
    } else {
        std::fill(strata, strata + row.n, 0.0f);
    }

    // Fields blur into an even meadow where a pixel covers several of them.
    const float fields_visible = 1.0f - smoothstep(60.0f, 200.0f, static_cast<float>(pixel_size));

    for (int i = 0; i < row.n; ++i) {
        const double x = row.x0 + i * row.dx;
        const double y = row.y;
        const WorldSample& s = samples[i];
        const float h = s.height;
        const float steep = std::sqrt(slope_x[i] * slope_x[i] + slope_y[i] * slope_y[i]); // tan of the slope angle

        // Valley floor: fields in a patchwork of greens and ochres, on a slightly turned grid.
        double fx = x * 0.94 + y * 0.34;
        double fy = -x * 0.34 + y * 0.94;
        uint32_t cell = hash_lattice(floor_to_int(fx / 260.0), floor_to_int(fy / 140.0), 904u);
        float tone = static_cast<float>(cell & 0xffu) / 255.0f;
        float kind = static_cast<float>((cell >> 8) & 0xffu) / 255.0f;
        float fr = kind < 0.2f ? 170.0f : (kind < 0.35f ? 134.0f : 92.0f + 40.0f * tone);
        float fg = kind < 0.2f ? 156.0f : (kind < 0.35f ? 120.0f : 128.0f + 30.0f * tone);
        float fb = kind < 0.2f ? 96.0f : (kind < 0.35f ? 72.0f : 58.0f + 16.0f * tone);
        float r = mix(108.0f, fr, fields_visible);
        float g = mix(132.0f, fg, fields_visible);
        float b = mix(66.0f, fb, fields_visible);

        // Forest: patchy in the valleys, dense on the lower mountain sides, thinning at the tree line.
        float treeline = 1850.0f + 180.0f * band[i];
        float forest_amount = patch[i] - 0.15f + 0.7f * std::min(1.0f, s.rugged * 2.5f) -
                              0.5f * smoothstep(treeline - 150.0f, treeline + 100.0f, h);
        float forest = smoothstep(0.0f, 0.12f, forest_amount) * (1.0f - smoothstep(0.9f, 1.3f, steep));
        float conifer = 0.5f + 0.5f * band[i];
        r = mix(r, 40.0f + 14.0f * (1.0f - conifer) + 10.0f * detail[i], forest);
        g = mix(g, 66.0f + 16.0f * (1.0f - conifer) + 14.0f * detail[i], forest);
        b = mix(b, 40.0f + 6.0f * detail[i], forest);

        // Alpine meadows above the trees.
        float alpine = smoothstep(treeline, treeline + 120.0f, h);
        r = mix(r, 128.0f + 18.0f * patch[i], alpine);
        g = mix(g, 128.0f + 14.0f * patch[i], alpine);
        b = mix(b, 84.0f + 8.0f * patch[i], alpine);

        // Bare rock on steep slopes and high up.
        float rock = std::max(smoothstep(0.75f, 1.05f, steep), smoothstep(treeline + 350.0f, treeline + 650.0f, h));
        float grey = 0.5f + 0.5f * strata[i];
        r = mix(r, 112.0f + 40.0f * grey, rock);
        g = mix(g, 106.0f + 36.0f * grey, rock);
        b = mix(b, 98.0f + 32.0f * grey, rock);

        // Snow above the snow line, sliding off the steepest faces.
        float snowline = 2650.0f + 220.0f * band[i] + 60.0f * detail[i];
        float snow = smoothstep(snowline - 60.0f, snowline + 120.0f, h) * (1.0f - smoothstep(1.1f, 1.6f, steep));
        r = mix(r, 218.0f, snow);
        g = mix(g, 222.0f, snow);
        b = mix(b, 230.0f, snow);

        // Sunlight from the north-west, so the relief reads from the air.
        float nx = -slope_x[i];
        float ny = -slope_y[i];
        float length = std::sqrt(nx * nx + ny * ny + 1.0f);
        constexpr float lx = -0.5f, ly = -0.5f, lz = 0.7071f; // towards the sun: west, north, up
        float lambert = std::max(0.0f, (nx * lx + ny * ly + lz) / length);
        float shade = std::clamp(0.35f + 0.75f * lambert / lz, 0.3f, 1.35f);
        // Fine speckle (single trees, stones, grass) at high zoom.
        shade *= 1.0f + 0.08f * detail[i];
        r *= shade;
        g *= shade;
        b *= shade;

        // Water on top: flat, so unshaded.
        if (s.water > 0.0f) {
            float ripple = 1.0f + 0.03f * detail[i];
            r = mix(r, 38.0f * ripple, s.water);
            g = mix(g, 72.0f * ripple, s.water);
            b = mix(b, 98.0f * ripple, s.water);
        }

        uint8_t* pixel = rgb + static_cast<size_t>(i) * 3;
        pixel[0] = to_byte(r);
        pixel[1] = to_byte(g);
        pixel[2] = to_byte(b);
    }
    paint_runways(row, pixel_size, rgb);
}

} // namespace tileserver

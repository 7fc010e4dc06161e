#pragma once

// Value noise and its fractal sums for the procedural world, evaluated along rows of evenly
// spaced points. Every value is a function of the continuous position alone (a row is only a
// way to share work), so tiles computed independently agree wherever they touch, and the
// finest octaves can be left out where a pixel is larger than their wavelength without
// changing the coarse shape seen at lower zooms.
//
// Along a row the lattice row is the same for every point, so each lattice cell's values are
// hashed once and shared by all the points inside it: a fine octave costs about one hash per
// point, a coarse one almost nothing. Octaves are therefore shifted, not rotated, against
// each other (a rotation would break the shared lattice rows).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tileserver {

// Integer hash of a lattice point (a variant of the "lowbias32" finaliser): cheap, no tables,
// and without the 256-cell period of a permutation table, which would show as repeating
// patterns in the fine octaves.
inline uint32_t hash_lattice(int64_t ix, int64_t iy, uint32_t seed)
{
    uint32_t h = seed ^ (static_cast<uint32_t>(ix) * 0x8da6b343u) ^ (static_cast<uint32_t>(iy) * 0xd8163841u) ^
                 (static_cast<uint32_t>(ix >> 32) * 0xcb1ab31fu) ^ (static_cast<uint32_t>(iy >> 32) * 0x2c1b3c6du);
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// Lattice value in [-1, 1].
inline float lattice_value(int64_t ix, int64_t iy, uint32_t seed)
{
    return static_cast<float>(hash_lattice(ix, iy, seed) & 0xffffffu) * (2.0f / 16777215.0f) - 1.0f;
}

// Truncation with a correction instead of std::floor, which is a library call on the
// baseline x86-64 target and would dominate the cost.
inline int64_t floor_to_int(double v)
{
    auto i = static_cast<int64_t>(v);
    return static_cast<double>(i) > v ? i - 1 : i;
}

inline float smooth_step01(float t) { return t * t * (3.0f - 2.0f * t); }

inline float smoothstep(float edge0, float edge1, float x)
{
    float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return smooth_step01(t);
}

inline float mix(float a, float b, float t) { return a + (b - a) * t; }

// A row of n points (x0 + i·dx, y), dx > 0, in lattice units.
struct Row {
    double x0 = 0.0;
    double dx = 1.0;
    double y = 0.0;
    int n = 1;

    // The same points in the next octave's lattice: twice the frequency, shifted so the
    // lattices of successive octaves do not line up.
    Row next_octave() const { return {x0 * 2.0 + 17.31, dx * 2.0, y * 2.0 - 9.73, n}; }
    Row scaled(double inverse_wavelength, double shift_x = 0.0, double shift_y = 0.0) const
    {
        return {x0 * inverse_wavelength + shift_x, dx * inverse_wavelength, y * inverse_wavelength + shift_y, n};
    }
};

// Smoothly interpolated lattice values in [-1, 1] (lattice spacing 1) along the row: out[i] =
// noise(x0 + i·dx, y).
inline void value_noise_row(const Row& row, uint32_t seed, float* out)
{
    thread_local std::vector<float> columns;
    const int64_t iy = floor_to_int(row.y);
    const float ty = smooth_step01(static_cast<float>(row.y - static_cast<double>(iy)));
    const int64_t first = floor_to_int(row.x0);
    const int64_t last = floor_to_int(row.x0 + (row.n - 1) * row.dx) + 1;
    columns.resize(static_cast<size_t>(last - first + 2));
    // Each lattice column blended between the two lattice rows once.
    for (int64_t c = first; c <= last; ++c) {
        columns[static_cast<size_t>(c - first)] = mix(lattice_value(c, iy, seed), lattice_value(c, iy + 1, seed), ty);
    }
    // Walk along the row: the position inside the current cell advances by dx per point.
    double t = row.x0 - static_cast<double>(first);
    size_t k = 0;
    const size_t last_cell = static_cast<size_t>(last - first - 1);
    for (int i = 0; i < row.n; ++i) {
        while (t >= 1.0 && k < last_cell) {
            t -= 1.0;
            ++k;
        }
        float tx = smooth_step01(std::min(static_cast<float>(t), 1.0f));
        out[i] = mix(columns[k], columns[k + 1], tx);
        t += row.dx;
    }
}

// How many octaves of a fractal sum with the given base wavelength are worth computing when
// a pixel covers pixel_size (same units): down to a wavelength of about two pixels. The
// fractional part fades the last octave in, so detail grows smoothly with the zoom; noise
// much finer than a pixel fades out entirely (0 octaves) instead of aliasing, which also
// keeps low zooms from hashing millions of lattice cells per tile.
inline float octaves_for(double base_wavelength, double pixel_size, int max_octaves)
{
    double n = std::log2(base_wavelength / (2.0 * pixel_size)) + 1.0;
    return static_cast<float>(std::clamp(n, 0.0, static_cast<double>(max_octaves)));
}

// Fractal sum of value noise along the row (lattice units of the first octave), normalised to
// about [-1, 1]. octaves may be fractional (see octaves_for).
inline void fbm_row(Row row, float octaves, uint32_t seed, float* out, float gain = 0.5f)
{
    thread_local std::vector<float> octave;
    octave.resize(static_cast<size_t>(row.n));
    std::fill(out, out + row.n, 0.0f);
    float norm = 0.0f;
    float amplitude = 1.0f;
    for (int i = 0; static_cast<float>(i) < octaves; ++i) {
        float weight = std::min(1.0f, octaves - static_cast<float>(i)) * amplitude;
        value_noise_row(row, seed + static_cast<uint32_t>(i) * 0x9e3779b9u, octave.data());
        for (int k = 0; k < row.n; ++k) {
            out[k] += weight * octave[k];
        }
        norm += amplitude; // the full amplitude, so fading an octave in does not rescale the rest
        amplitude *= gain;
        row = row.next_octave();
    }
    if (norm > 0.0f) {
        float inverse = 1.0f / norm;
        for (int k = 0; k < row.n; ++k) {
            out[k] *= inverse;
        }
    }
}

// Ridged multifractal along the row: sharp crests where the noise crosses zero, each octave
// weighted by the one before it so that detail gathers on the ridges and valleys stay smooth.
// About [0, 1].
inline void ridged_row(Row row, float octaves, uint32_t seed, float* out)
{
    thread_local std::vector<float> octave;
    thread_local std::vector<float> weight;
    octave.resize(static_cast<size_t>(row.n));
    weight.assign(static_cast<size_t>(row.n), 1.0f);
    std::fill(out, out + row.n, 0.0f);
    float norm = 0.0f;
    float amplitude = 1.0f;
    for (int i = 0; static_cast<float>(i) < octaves; ++i) {
        float fade = std::min(1.0f, octaves - static_cast<float>(i)) * amplitude;
        value_noise_row(row, seed + static_cast<uint32_t>(i) * 0x9e3779b9u, octave.data());
        for (int k = 0; k < row.n; ++k) {
            float signal = 1.0f - std::fabs(octave[k]);
            float contribution = signal * signal * weight[k];
            out[k] += fade * contribution;
            weight[k] = std::clamp(contribution * 1.6f, 0.0f, 1.0f);
        }
        norm += amplitude;
        amplitude *= 0.5f;
        row = row.next_octave();
    }
    if (norm > 0.0f) {
        float inverse = 1.0f / norm;
        for (int k = 0; k < row.n; ++k) {
            out[k] *= inverse;
        }
    }
}

} // namespace tileserver

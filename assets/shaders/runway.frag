#version 430 core

// A runway's surface and paint from its own coordinates (metres along the centre line from the
// middle, towards the high end, and across it, to the right), lit as the terrain is.
//
// Every marking is a set of rectangles; each is filtered over the pixel's footprint (the
// screen-space derivatives of the coordinates) by the exact box filter of an interval or of a
// repeating pattern, so up close an edge is one pixel of blend and from the air a pattern finer
// than a pixel shows as its average grey instead of shimmering. The designators come from a
// 5 × 7 pixel font, read with four samples across the footprint and faded to the glyph's mean
// ink once a font pixel is smaller than a screen pixel.

#include "atmosphere.glsl"

in vec2 v_runway;
in vec4 v_light_space_position;
in vec3 v_transmittance;
in vec3 v_inscatter;
flat in vec3 v_normal;
flat in vec4 v_size; // half length, half width, low and high threshold (along)
flat in ivec4 v_info; // surface, low and high designator, paved
flat in vec3 v_sun_color;
flat in vec3 v_sky_tint;

uniform vec3 u_sun_direction;
uniform int u_receive_shadow;
uniform sampler2D u_shadow_texture;
uniform float u_shadow_bias;

out vec4 frag_color;

// As terrain.frag: photographs of the ground are lit so level ground under a high sun shows
// their own colours; runway colours are chosen as such photographs show them.
const float GROUND_SUN = 1.25;
const float GROUND_AMBIENT = 0.3;

// RunwaySurface order: asphalt, concrete, grass, gravel, dirt, water, snow, unknown.
const vec3 SURFACE_COLOURS[8] = vec3[8](vec3(0.29, 0.29, 0.30), vec3(0.60, 0.60, 0.58), vec3(0.40, 0.53, 0.25),
                                        vec3(0.58, 0.54, 0.47), vec3(0.50, 0.40, 0.29), vec3(0.20, 0.30, 0.38),
                                        vec3(0.90, 0.92, 0.95), vec3(0.45, 0.43, 0.40));
const vec3 PAINT = vec3(0.93, 0.93, 0.90);

// Rows of the glyphs, top first, bit 4 the leftmost column: 0–9, L, R, C.
const int FONT[91] = int[91](
    14, 17, 17, 17, 17, 17, 14,   4, 12, 4, 4, 4, 4, 14,   14, 17, 1, 2, 4, 8, 31,   31, 2, 4, 2, 1, 17, 14,
    2, 6, 10, 18, 31, 2, 2,   31, 16, 30, 1, 1, 17, 14,   6, 8, 16, 30, 17, 17, 14,   31, 1, 2, 4, 8, 8, 8,
    14, 17, 17, 14, 17, 17, 14,   14, 17, 17, 15, 1, 2, 12,   16, 16, 16, 16, 16, 16, 31,
    30, 17, 17, 30, 20, 18, 17,   14, 17, 16, 16, 16, 17, 14);
// Lit pixels of each glyph out of 35: what a glyph too small to read averages to.
const float FONT_INK[13] = float[13](16.0, 10.0, 14.0, 14.0, 14.0, 17.0, 15.0, 11.0, 17.0, 15.0, 11.0, 18.0, 13.0);

// The share of [x − w/2, x + w/2] inside [a, b].
float box_in(float x, float w, float a, float b)
{
    return clamp((min(x + 0.5 * w, b) - max(x - 0.5 * w, a)) / w, 0.0, 1.0);
}

// The share of [x − w/2, x + w/2] on the marks of a pattern repeating every period, marked on its
// first `mark` metres.
float pattern_integral(float t, float period, float mark)
{
    float turns = floor(t / period);
    return turns * mark + min(t - turns * period, mark);
}
float box_in_pattern(float x, float w, float period, float mark)
{
    return clamp((pattern_integral(x + 0.5 * w, period, mark) - pattern_integral(x - 0.5 * w, period, mark)) / w, 0.0, 1.0);
}

bool glyph_bit(int glyph, vec2 cell)
{
    if (cell.x < 0.0 || cell.x >= 5.0 || cell.y < 0.0 || cell.y >= 7.0) {
        return false;
    }
    int row = FONT[glyph * 7 + int(cell.y)];
    return ((row >> (4 - int(cell.x))) & 1) != 0;
}

// Ink of one glyph whose box (5 × 7 cells of `cell` metres) has its lower left corner at the
// origin of p, x to the reader's right and y away from the reader; w is the footprint.
float glyph_cover(int glyph, vec2 p, float cell, vec2 w)
{
    vec2 c = p / cell;
    if (c.x < -1.0 || c.x > 6.0 || c.y < -1.0 || c.y > 8.0) {
        return 0.0;
    }
    // Rows count from the top of the glyph.
    vec2 q = vec2(c.x, 7.0 - c.y);
    vec2 d = 0.25 * w / cell;
    float sharp = 0.25 * (float(glyph_bit(glyph, q + vec2(-d.x, -d.y))) + float(glyph_bit(glyph, q + vec2(d.x, -d.y))) +
                          float(glyph_bit(glyph, q + vec2(-d.x, d.y))) + float(glyph_bit(glyph, q + vec2(d.x, d.y))));
    float average = FONT_INK[glyph] / 35.0 * box_in(c.x, w.x / cell, 0.0, 5.0) * box_in(c.y, w.y / cell, 0.0, 7.0);
    return mix(sharp, average, smoothstep(0.5, 1.5, max(w.x, w.y) / cell));
}

// Ink of a designator read by someone at the threshold looking down the runway: t metres past
// the threshold, s metres to their right, w the footprint across and along; the letter nearest
// the threshold, the number beyond.
float designator_cover(int code, float t, float s, float cell, vec2 w)
{
    int count = (code >> 12) & 15;
    if (count == 0) {
        return 0.0;
    }
    int last = (code >> (4 * (count - 1))) & 15;
    bool lettered = last >= 10;
    int digits = lettered ? count - 1 : count;
    float height = 7.0 * cell;
    float gap = 2.0 * cell;
    float ink = 0.0;
    float start = 48.0;
    if (lettered) {
        ink = max(ink, glyph_cover(last, vec2(s + 2.5 * cell, t - start), cell, w));
        start += height + gap;
    }
    float width = float(digits) * 5.0 * cell + float(digits - 1) * cell;
    for (int i = 0; i < digits; ++i) {
        float left = -0.5 * width + float(i) * 6.0 * cell;
        ink = max(ink, glyph_cover((code >> (4 * i)) & 15, vec2(s - left, t - start), cell, w));
    }
    return ink;
}

// The length of the threshold markings and designators past a threshold: where the centre line
// begins.
float markings_length(int code, float cell)
{
    int count = (code >> 12) & 15;
    bool lettered = count > 0 && ((code >> (4 * (count - 1))) & 15) >= 10;
    return 48.0 + (count == 0 ? 0.0 : (lettered ? 2.0 : 1.0) * 9.0 * cell + 12.0);
}

float paint_cover(vec2 w)
{
    float along = v_runway.x;
    float across = v_runway.y;
    float half_length = v_size.x;
    float half_width = v_size.y;
    float abs_across = abs(across);
    // Two digits and their gap take at most 70 % of the width; at most 9 m tall.
    float cell = min(9.0 / 7.0, 0.7 * 2.0 * half_width / 11.0);

    float ink = 0.0;
    float centre_from = -half_length;
    float centre_to = half_length;
    for (int end = 0; end < 2; ++end) {
        float inward = end == 0 ? 1.0 : -1.0;
        float threshold = end == 0 ? v_size.z : v_size.w;
        float t = (along - threshold) * inward; // metres past the threshold
        float s = across * inward;              // metres to the right of someone facing inward
        int code = end == 0 ? v_info.y : v_info.z;
        // A bar across the runway at the threshold.
        ink = max(ink, box_in(t, w.x, 0.0, 1.8) * box_in(abs_across, w.y, 0.0, half_width));
        // Threshold stripes 1.8 m wide and 1.8 m apart, from beside the centre line to 3 m from
        // the edges, 6 to 36 m past the threshold.
        ink = max(ink, box_in(t, w.x, 6.0, 36.0) * box_in(abs_across, w.y, 1.8, half_width - 3.0) *
                           box_in_pattern(abs_across - 1.8, w.y, 3.6, 1.8));
        ink = max(ink, designator_cover(code, t, s, cell, w.yx));
        // Aiming points on runways long enough to land on them: two broad bars 300 m in.
        if (half_length >= 600.0) {
            ink = max(ink, box_in(t, w.x, 300.0, 345.0) * box_in(abs_across, w.y, 0.4 * half_width, 0.66 * half_width));
        }
        float begins = threshold + inward * markings_length(code, cell);
        if (end == 0) {
            centre_from = begins;
        } else {
            centre_to = begins;
        }
    }
    // The centre line: dashes 30 m long, 20 m apart, 0.9 m wide, both ends leaving the same gap.
    if (centre_to > centre_from) {
        float phase = 0.5 * mod(centre_to - centre_from + 20.0, 50.0);
        ink = max(ink, box_in(abs_across, w.y, 0.0, 0.45) * box_in(along, w.x, centre_from + phase, centre_to - phase) *
                           box_in_pattern(along - centre_from - phase, w.x, 50.0, 30.0));
    }
    // Edge lines 0.9 m wide.
    ink = max(ink, box_in(abs_across, w.y, half_width - 1.5, half_width - 0.6) * box_in(abs(along), w.x, 0.0, half_length));
    return ink;
}

float shadow_factor(vec3 normal, vec3 sun)
{
    vec3 p = v_light_space_position.xyz / v_light_space_position.w * 0.5 + 0.5;
    if (p.x <= 0.0 || p.x >= 1.0 || p.y <= 0.0 || p.y >= 1.0 || p.z >= 1.0) {
        return 1.0;
    }
    float bias = u_shadow_bias * (1.0 + 3.0 * (1.0 - dot(normal, sun)));
    vec4 lit = step(vec4(p.z - bias), textureGather(u_shadow_texture, p.xy, 0));
    return dot(lit, vec4(0.25));
}

void main()
{
    // The footprint of the pixel in runway metres, at least a centimetre.
    vec2 w = max(fwidth(v_runway), vec2(0.01));
    vec3 albedo = SURFACE_COLOURS[clamp(v_info.x, 0, 7)];
    if (v_info.x == 2) {
        // Mown grass: lanes 10 m wide, a shade lighter and darker, fading out from the air.
        float lanes = box_in_pattern(v_runway.y + v_size.y, w.y, 20.0, 10.0);
        albedo *= 0.94 + 0.12 * mix(lanes, 0.5, smoothstep(2.0, 6.0, w.y));
    }
    if (v_info.w != 0) {
        albedo = mix(albedo, PAINT, paint_cover(w));
    }
    albedo = to_linear(albedo);

    vec3 sun = normalize(u_sun_direction);
    vec3 normal = normalize(v_normal);
    float diffuse = max(dot(normal, sun), 0.0);
    if (u_receive_shadow != 0 && diffuse > 0.0) {
        diffuse *= shadow_factor(normal, sun);
    }
    vec3 ambient = GROUND_AMBIENT * v_sky_tint * (0.6 + 0.4 * normal.y);
    vec3 radiance = albedo * (v_sun_color * diffuse * GROUND_SUN + ambient) / EXPOSURE;
    radiance = radiance * v_transmittance + v_inscatter;
    frag_color = vec4(tonemap(radiance), 1.0);
}

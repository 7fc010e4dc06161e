#include "tools/Airfields.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <fmt/format.h>

#include "terrain/RunwayFile.h"
#include "terrain/RunwayGround.h"
#include "tiles/WebMercator.h"
#include "tools/World.h"

namespace tileserver {

namespace {

// One runway of the table. Ends in ground metres from the start (x east, y south), as the
// world's shapes are laid out; "low" is the end with the lower designator.
struct AirfieldRunway {
    const char* airport;
    const char* surface; // the data set's codes
    double width_m;
    const char* low_ident;
    GroundPoint low;
    const char* high_ident;
    GroundPoint high;
    double low_displaced_m;
};

// On the valley floor: the main runway's eastern end at the default start; parallel runways in
// the valley 17 km west; a turf strip 8 km east; a gravel strip climbing 7 % up the valley's
// southern flank just south-east of the start.
constexpr AirfieldRunway TABLE[] = {
    {"WHIN", "ASP", 45.0, "10", {-2364.0, -417.0}, "28", {0.0, 0.0}, 150.0},
    {"WHWV", "CON", 45.0, "09L", {-17800.0, -2150.0}, "27R", {-15800.0, -2220.0}, 0.0},
    {"WHWV", "ASP", 30.0, "09R", {-17500.0, -1850.0}, "27L", {-16000.0, -1902.0}, 0.0},
    {"WHGR", "TURF", 25.0, "06", {7500.0, -1000.0}, "24", {8106.0, -1350.0}, 0.0},
    {"WHSL", "GRVL", 20.0, "18", {2400.0, 1300.0}, "36", {2400.0, 1800.0}, 0.0},
};

// Latitude and longitude of a ground point.
LatLon latlon(GroundPoint p)
{
    const double mx = mercator_x(World::START_LON) + p.x / World::ground_scale();
    const double my = mercator_y(World::START_LAT) + p.y / World::ground_scale();
    return {mercator_lat(my), mercator_lon(mx)};
}

// The world's height before any runway, in whole feet.
long elevation_ft(GroundPoint p)
{
    WorldSample sample;
    World::sample_terrain_row(GroundRow{p.x, 1.0, p.y, 1}, 1.0, &sample);
    return std::lround(sample.height / FEET);
}

std::string make_csv()
{
    std::string text =
        "\"id\",\"airport_ref\",\"airport_ident\",\"length_ft\",\"width_ft\",\"surface\",\"lighted\",\"closed\","
        "\"le_ident\",\"le_latitude_deg\",\"le_longitude_deg\",\"le_elevation_ft\",\"le_heading_degT\","
        "\"le_displaced_threshold_ft\",\"he_ident\",\"he_latitude_deg\",\"he_longitude_deg\",\"he_elevation_ft\","
        "\"he_heading_degT\",\"he_displaced_threshold_ft\"\r\n";
    int airport_ref = 0;
    const char* last_airport = "";
    for (size_t i = 0; i < std::size(TABLE); ++i) {
        const AirfieldRunway& r = TABLE[i];
        if (std::string_view(r.airport) != last_airport)
            ++airport_ref;
        last_airport = r.airport;
        const LatLon low = latlon(r.low);
        const LatLon high = latlon(r.high);
        // Heading and length as the shape the program builds from the coordinates gives them.
        Runway runway;
        runway.ends[LOW_END].position = low;
        runway.ends[HIGH_END].position = high;
        const RunwayShape shape(runway);
        const double heading = shape.heading_deg();
        const double length = 2.0 * shape.end_along(HIGH_END);
        const bool lighted = is_paved(runway_surface(r.surface));
        const std::string displaced = r.low_displaced_m > 0.0 ? std::to_string(std::lround(r.low_displaced_m / FEET)) : "";
        text += fmt::format("{},{},\"{}\",{},{},\"{}\",{},0,", 990001 + i, 990001 + airport_ref - 1, r.airport,
                            std::lround(length / FEET), std::lround(r.width_m / FEET), r.surface, lighted ? 1 : 0);
        text += fmt::format("\"{}\",{:.7f},{:.7f},{},{:.1f},{},", r.low_ident, low.lat, low.lon, elevation_ft(r.low), heading,
                            displaced);
        text += fmt::format("\"{}\",{:.7f},{:.7f},{},{:.1f},\r\n", r.high_ident, high.lat, high.lon, elevation_ft(r.high),
                            std::fmod(heading + 180.0, 360.0));
    }
    return text;
}

} // namespace

const std::string& airfields_csv()
{
    static const std::string text = make_csv();
    return text;
}

const RunwayIndex& airfield_runways()
{
    static const RunwayIndex index(parse_runways(airfields_csv()).runways);
    return index;
}

namespace {

// A runway with what a row of the world needs of it: its ends' heights and the box of ground
// it changes, in ground metres.
struct LaidRunway {
    const Runway* runway = nullptr;
    const RunwayShape* shape = nullptr;
    RunwayEndHeights heights;
    double min_x = 0.0;
    double min_y = 0.0;
    double max_x = 0.0;
    double max_y = 0.0;
};

// Shortest first, as the program lays them.
const std::vector<LaidRunway>& laid_runways()
{
    static const std::vector<LaidRunway> laid = [] {
        const RunwayIndex& index = airfield_runways();
        const double start_x = mercator_x(World::START_LON);
        const double start_y = mercator_y(World::START_LAT);
        const double scale = World::ground_scale();
        std::vector<LaidRunway> runways;
        for (uint32_t i = 0; i < index.size(); ++i) {
            const MercatorBox box = index.shape(i).bounds(FLATTENING_REACH_M);
            // Every end of the table has its elevation.
            runways.push_back({&index.runway(i), &index.shape(i), *end_heights(index.runway(i), index.shape(i), nullptr),
                               (box.min_x - start_x) * scale, (box.min_y - start_y) * scale, (box.max_x - start_x) * scale,
                               (box.max_y - start_y) * scale});
        }
        std::stable_sort(runways.begin(), runways.end(),
                         [](const LaidRunway& a, const LaidRunway& b) { return a.runway->length_m < b.runway->length_m; });
        return runways;
    }();
    return laid;
}

// visit(i, runway, point) for each point i of the row within a runway's box, with the point in
// the runway's coordinates.
template <typename Visit>
void for_each_runway_point(const GroundRow& row, Visit visit)
{
    const double start_x = mercator_x(World::START_LON);
    const double start_y = mercator_y(World::START_LAT);
    const double scale = World::ground_scale();
    for (const LaidRunway& laid : laid_runways()) {
        if (row.y < laid.min_y || row.y > laid.max_y)
            continue;
        const int first = static_cast<int>(std::clamp(std::ceil((laid.min_x - row.x0) / row.dx), 0.0, double(row.n)));
        const int last = static_cast<int>(std::clamp(std::floor((laid.max_x - row.x0) / row.dx), -1.0, double(row.n - 1)));
        const double my = start_y + row.y / scale;
        for (int i = first; i <= last; ++i)
            visit(i, laid, laid.shape->local(start_x + (row.x0 + i * row.dx) / scale, my));
    }
}

// The share of [x − w/2, x + w/2] inside [a, b].
double box_in_interval(double x, double w, double a, double b)
{
    const double overlap = std::min(x + 0.5 * w, b) - std::max(x - 0.5 * w, a);
    return std::clamp(overlap / w, 0.0, 1.0);
}

// The share of [x − w/2, x + w/2] on the marks of a pattern repeating every period, marked on
// its first `mark` metres from 0: the exact box filter of the square wave.
double box_in_pattern(double x, double w, double period, double mark)
{
    const auto integral = [&](double t) {
        const double turns = std::floor(t / period);
        return turns * mark + std::min(t - turns * period, mark);
    };
    return std::clamp((integral(x + 0.5 * w) - integral(x - 0.5 * w)) / w, 0.0, 1.0);
}

// How much of a pixel of size w at the point the white paint of a paved runway covers.
double marking_cover(const LaidRunway& laid, const RunwayPoint& p, double w)
{
    const RunwayShape& shape = *laid.shape;
    const double half_width = shape.half_width();
    const double across = std::abs(p.across);
    double cover = 0.0;
    double centre_from = -shape.half_length();
    double centre_to = shape.half_length();
    for (int end : {LOW_END, HIGH_END}) {
        const double inward = end == LOW_END ? 1.0 : -1.0;
        const double threshold = shape.end_along(end) + inward * laid.runway->ends[end].displaced_threshold_m;
        const double in = (p.along - threshold) * inward; // metres past the threshold
        // Stripes 1.8 m wide and 1.8 m apart from 1.8 m beside the centre line to 3 m from the
        // edges, 6 to 36 m past the threshold.
        const double stripes = box_in_interval(in, w, 6.0, 36.0) * box_in_interval(across, w, 1.8, half_width - 3.0) *
                               box_in_pattern(across - 1.8, w, 3.6, 1.8);
        // A bar across the runway at the threshold.
        const double bar = box_in_interval(in, w, 0.0, 1.8) * box_in_interval(across, w, 0.0, half_width);
        cover = std::max({cover, stripes, bar});
        const double stripes_end = threshold + inward * 48.0;
        (end == LOW_END ? centre_from : centre_to) = stripes_end;
    }
    // The centre line: 30 m dashes 20 m apart, 0.9 m wide, between the threshold markings, the
    // dashes placed so that both ends leave the same gap.
    if (centre_to > centre_from) {
        const double phase = 0.5 * std::fmod(centre_to - centre_from + 20.0, 50.0);
        const double dashes = box_in_interval(p.along, w, centre_from + phase, centre_to - phase) *
                              box_in_pattern(p.along - centre_from - phase, w, 50.0, 30.0);
        cover = std::max(cover, box_in_interval(across, w, 0.0, 0.45) * dashes);
    }
    // Edge lines 0.9 m wide along both sides.
    cover = std::max(cover, box_in_interval(across, w, half_width - 1.5, half_width - 0.6) *
                                box_in_interval(std::abs(p.along), w, 0.0, shape.half_length()));
    return cover;
}

using Rgb = std::array<double, 3>;

Rgb surface_colour(RunwaySurface surface)
{
    switch (surface) {
    case RunwaySurface::Asphalt:
        return {78, 80, 82};
    case RunwaySurface::Concrete:
        return {150, 150, 146};
    case RunwaySurface::Grass:
        return {118, 152, 74};
    case RunwaySurface::Gravel:
        return {150, 140, 122};
    default:
        return {132, 108, 80};
    }
}

} // namespace

void lay_runways(const GroundRow& row, WorldSample* out)
{
    for_each_runway_point(row, [&](int i, const LaidRunway& laid, const RunwayPoint& point) {
        out[i].height = static_cast<float>(flattened_height(*laid.shape, laid.heights, point, out[i].height));
    });
}

void paint_runways(const GroundRow& row, double pixel_size, uint8_t* rgb)
{
    const double w = std::max(pixel_size, 0.05);
    constexpr Rgb MOWN{104, 136, 66};
    constexpr Rgb PAINT{236, 236, 232};
    for_each_runway_point(row, [&](int i, const LaidRunway& laid, const RunwayPoint& point) {
        uint8_t* pixel = rgb + static_cast<size_t>(i) * 3;
        Rgb colour{double(pixel[0]), double(pixel[1]), double(pixel[2])};
        const auto blend = [&](const Rgb& over, double amount) {
            for (int c = 0; c < 3; ++c)
                colour[c] += (over[c] - colour[c]) * amount;
        };
        const RunwayShape& shape = *laid.shape;
        blend(MOWN, 0.85 * flattening_weight(shape, point));
        const double surface = box_in_interval(point.along, w, -shape.half_length(), shape.half_length()) *
                               box_in_interval(point.across, w, -shape.half_width(), shape.half_width());
        blend(surface_colour(laid.runway->surface), surface);
        if (is_paved(laid.runway->surface))
            blend(PAINT, surface * marking_cover(laid, point, w));
        for (int c = 0; c < 3; ++c)
            pixel[c] = static_cast<uint8_t>(std::clamp(colour[c] + 0.5, 0.0, 255.0));
    });
}

} // namespace tileserver

// The runway data: the public file's layout and its bad rows, the spatial index, the ground a
// runway lays flat (at points and over an elevation tile) and the threshold an aircraft starts at.

#include "terrain/RunwayFile.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <variant>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "terrain/CsvReader.h"
#include "terrain/Elevation.h"
#include "terrain/RunwayGround.h"
#include "terrain/RunwayIndex.h"
#include "terrain/RunwayThreshold.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

// Degrees of longitude per metre on the equator, where Mercator metres are true metres.
constexpr double DEGREES_PER_METRE = 360.0 / EARTH_CIRCUMFERENCE;

const std::string HEADER = "airport_ident,length_ft,width_ft,surface,closed,le_ident,le_latitude_deg,le_longitude_deg,"
                           "le_elevation_ft,le_heading_degT,le_displaced_threshold_ft,he_ident,he_latitude_deg,"
                           "he_longitude_deg,he_elevation_ft,he_heading_degT,he_displaced_threshold_ft\n";

RunwayIndex index_of(const std::string& rows)
{
    RunwayFileContents contents = parse_runways(HEADER + rows);
    EXPECT_EQ(std::tuple(contents.skipped, contents.unreadable, contents.error), std::tuple(0u, 0u, std::string())) << rows;
    return RunwayIndex(std::move(contents.runways));
}

std::vector<std::vector<std::string>> records(std::string_view text, std::vector<bool>* malformed = nullptr)
{
    CsvReader reader(text);
    std::vector<std::string_view> fields;
    std::vector<std::vector<std::string>> result;
    while (reader.next(fields)) {
        result.emplace_back(fields.begin(), fields.end());
        if (malformed != nullptr)
            malformed->push_back(reader.malformed());
    }
    return result;
}

} // namespace

TEST(RunwayFile, RecordsFollowTheQuotingOfCommaSeparatedFiles)
{
    using Records = std::vector<std::vector<std::string>>;
    const std::pair<std::string, Records> cases[] = {
        {"a,b\r\n\"x,y\",\"he said \"\"hi\"\"\"\r\n", {{"a", "b"}, {"x,y", "he said \"hi\""}}},
        {"\"two\r\nlines\",z\n,\n", {{"two\r\nlines", "z"}, {"", ""}}},
        {"\xEF\xBB\xBF" "a,\n\n\r\nb", {{"a", ""}, {"b"}}},
        {"\"\"\"\",\"\"", {{"\"", ""}}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(records(text), expected) << text;
    std::vector<bool> malformed;
    EXPECT_EQ(records("a,b\n\"never closed,c\n", &malformed), (Records{{"a", "b"}, {"never closed,c\n"}}));
    EXPECT_EQ(malformed, (std::vector<bool>{false, true}));
}

// The public file quotes every string and may hold commas and doubled quotes in them; rows that
// cannot be used are skipped, broken ones counted apart, and none stops the rest.
TEST(RunwayFile, RowsAreReadSkippedOrCountedAsUnreadable)
{
    console::Capture output;
    const std::string header = "\"id\",\"airport_ident\",\"length_ft\",\"width_ft\",\"surface\",\"lighted\",\"closed\","
                               "\"le_ident\",\"le_latitude_deg\",\"le_longitude_deg\",\"le_elevation_ft\","
                               "\"le_heading_degT\",\"le_displaced_threshold_ft\",\"he_ident\",\"he_latitude_deg\","
                               "\"he_longitude_deg\",\"he_elevation_ft\",\"he_heading_degT\",\"he_displaced_threshold_ft\"\r\n";
    const std::string rows[] = {
        "1,\"LOWI\",6562,148,\"ASPH, \"\"grooved\"\"\",1,0,\"08\",47.2597,11.3281,1894,81.2,492,\"26\",47.2621,11.3534,1900,261.2,",
        "2,\"NOHE\",3000,60,\"TURF\",0,0,\"09\",47.1,11.1,1000,,,\"27\",,,1000,,",                 // skipped: no he position
        "3,\"SHUT\",3000,60,\"ASP\",0,1,\"09\",47.1,11.1,1000,,,\"27\",47.1,11.11,1000,,",          // skipped: closed
        "4,\"POLE\",3000,60,\"ASP\",0,0,\"09\",86.0,11.1,1000,,,\"27\",86.0,11.11,1000,,",          // skipped: off the map
        "5,\"SAME\",3000,60,\"ASP\",0,0,\"09\",47.1,11.1,1000,,,\"27\",47.1,11.1,1000,,",           // skipped: one point
        "6,\"WORD\",3000,60,\"ASP\",0,0,\"09\",abc,11.1,1000,,,\"27\",47.1,11.11,1000,,",           // unreadable
        "7,\"NAN_\",3000,60,\"ASP\",0,0,\"09\",47.1,11.1,NaN,,,\"27\",47.1,11.11,1000,,",           // unreadable
        "8,\"CUT_\",3000,60,\"ASP\",0,0,\"09\",47.1,11.1",                                          // unreadable
        "9,\"LAT_\",3000,60,\"ASP\",0,0,\"09\",95,11.1,1000,,,\"27\",47.1,11.11,1000,,",            // unreadable
        "10,\"NEGW\",3000,-5,\"ASP\",0,0,\"09\",47.1,11.1,1000,,,\"27\",47.1,11.11,1000,,",         // unreadable
        "11,\"FAR_\",3000,60,\"ASP\",0,0,\"09\",47.1,11.1,1000,,,\"27\",47.1,11.4,1000,,",          // unreadable: 23 km
        "12,\"BARE\",,,\"\",0,,\"18\",0.01,0,,,,\"36\",0,0,,,",
        "13,\"OPEN\",3000,60,\"ASP, never closed,0,0,\"09\",47.1,11.1,1000,,,\"27\",47.1,11.11,1000,,", // unreadable
    };
    std::string text = header;
    for (const std::string& row : rows)
        text += row + "\r\n";
    const RunwayFileContents contents = parse_runways(text);
    EXPECT_EQ(std::tuple(contents.runways.size(), contents.skipped, contents.unreadable, contents.error),
              std::tuple(2u, 4u, 7u, std::string()));
    ASSERT_EQ(contents.runways.size(), 2u);

    const Runway& lowi = contents.runways[0];
    EXPECT_EQ(std::tuple(lowi.airport, lowi.surface, lowi.ends[LOW_END].ident, lowi.ends[HIGH_END].ident),
              std::tuple("LOWI", RunwaySurface::Asphalt, "08", "26"));
    EXPECT_NEAR(lowi.length_m, 2000.1, 0.01);
    EXPECT_NEAR(lowi.width_m, 45.11, 0.01);
    EXPECT_NEAR(*lowi.ends[LOW_END].elevation_m, 577.29, 0.01);
    EXPECT_NEAR(lowi.ends[LOW_END].displaced_threshold_m, 149.96, 0.01);
    EXPECT_EQ(std::tuple(*lowi.ends[HIGH_END].heading_deg, lowi.ends[HIGH_END].displaced_threshold_m, lowi.ends[HIGH_END].position.lon),
              std::tuple(261.2, 0.0, 11.3534));
    // Without sizes: as long as its ends are apart, 75 ft wide; no elevation, no heading.
    const Runway& bare = contents.runways[1];
    EXPECT_NEAR(bare.length_m, 0.01 * EARTH_CIRCUMFERENCE / 360.0, 1.0);
    EXPECT_EQ(std::tuple(bare.width_m, bare.surface, bare.ends[LOW_END].elevation_m.has_value(), bare.ends[LOW_END].heading_deg.has_value()),
              std::tuple(DEFAULT_WIDTH_M, RunwaySurface::Unknown, false, false));

    // The file as the program opens it: one line either way.
    support::TempDir dir("wh-runways");
    support::write_file(dir / "runways.csv", text);
    EXPECT_EQ(load_runways(dir / "runways.csv").size(), 2u);
    EXPECT_EQ(load_runways(dir / "missing.csv").size(), 0u);
    support::write_file(dir / "airports.csv", "ident,name\n\"LOWI\",\"Innsbruck\"\n");
    EXPECT_EQ(load_runways(dir / "airports.csv").size(), 0u);
    EXPECT_EQ(output.out(), "Runways: 2 read from " + console::quoted(dir / "runways.csv") +
                                ", 4 skipped (closed or without both ends' positions), 7 unreadable rows\n"
                                "No runways: could not open " + console::quoted(dir / "missing.csv") + "\n"
                                "No runways: " + console::quoted(dir / "airports.csv") + " has no column \"airport_ident\"\n");
}

TEST(RunwayFile, SurfaceCodesAreReadByTheirLeadingLetters)
{
    const std::pair<const char*, RunwaySurface> codes[] = {
        {"ASPH-G", RunwaySurface::Asphalt}, {"asphalt", RunwaySurface::Asphalt}, {"PEM", RunwaySurface::Asphalt},
        {"CONC", RunwaySurface::Concrete},  {"GRVL", RunwaySurface::Gravel},      {"Gravel", RunwaySurface::Gravel},
        {"GRS", RunwaySurface::Grass},      {"Turf-F", RunwaySurface::Grass},     {"grass/dirt", RunwaySurface::Grass},
        {"DIRT", RunwaySurface::Dirt},      {"WATER", RunwaySurface::Water},      {"UNK", RunwaySurface::Unknown},
        {"", RunwaySurface::Unknown},
    };
    for (const auto& [code, surface] : codes)
        EXPECT_EQ(runway_surface(code), surface) << code;
}

// A runway 1000 m long and 30 m wide along the equator from 100 m (west end) to 120 m: the flat
// part reaches 15 m beyond the edges and ends, then a 45 m shoulder blends into terrain at 50 m.
TEST(RunwayGround, TheGroundFollowsTheLineBetweenTheEndsAndBlendsIntoTheTerrain)
{
    const double end = 500.0 * DEGREES_PER_METRE;
    const RunwayIndex index = index_of(fmt::format(",3280.84,98.425,ASP,,09,0,{},328.084,,,27,0,{},393.701,,\n", -end, end));
    const RunwayShape& shape = index.shape(0);
    const RunwayEndHeights heights = *end_heights(index.runway(0), shape, nullptr);
    struct Case { double east, south, expected; const char* where; };
    const Case cases[] = {
        {-500.0, 0.0, 100.0, "west end"},
        {500.0, 0.0, 120.0, "east end"},
        {0.0, 0.0, 110.0, "middle"},
        {250.0, 29.9, 115.0, "at the edge of the flat part, across"},
        {250.0, -29.9, 115.0, "the other side: level across"},
        {250.0, 52.5, (115.0 + 50.0) / 2, "halfway across the shoulder"},
        {250.0, 75.1, 50.0, "beyond the shoulder"},
        {537.5, 0.0, (120.3 + 50.0) / 2, "halfway along the shoulder beyond the east end"},
        {-550.0, -65.0, 50.0, "beyond a corner's rounded shoulder"},
    };
    for (const Case& c : cases) {
        const RunwayPoint point = shape.local(LatLon{-c.south * DEGREES_PER_METRE, c.east * DEGREES_PER_METRE});
        EXPECT_NEAR(flattened_height(shape, heights, point, 50.0), c.expected, 0.01) << c.where;
    }
}

// A diagonal runway over a tile whose terrain slopes 4 % across it, flattened as the height
// store would flatten it, then read back as the terrain and the physics read a tile: at 256 and
// 512 pixels the runway's line is where the straight line between its ends puts it (a pixel
// placed half a pixel off, or rows spaced in latitude rather than in Mercator y, shows here),
// level across, and ground away from it untouched.
TEST(RunwayGround, ElevationTilesAreFlattenedWhereTheRunwayIs)
{
    const LatLon low{47.255, 11.300};
    const LatLon high{47.265, 11.315};
    const std::string row = fmt::format(",,98.425,ASP,,09,{},{},{{}},,,27,{},{},{{}},,\n", low.lat, low.lon, high.lat, high.lon);
    const RunwayIndex with_elevations = index_of(fmt::format(fmt::runtime(row), 1968.5, 2001.31)); // 600 and 610 m
    const RunwayIndex without = index_of(fmt::format(fmt::runtime(row), "", ""));
    const TileId tile = tile_at(low, 13);
    ASSERT_EQ(tile, tile_at(high, 13)) << "the runway must lie on one tile";
    // At a share f of the way from the low end to the high end and `across` metres to the right.
    const auto point_on_line = [&](double f, double across) {
        const double dx = mercator_x(high.lon) - mercator_x(low.lon);
        const double dy = mercator_y(high.lat) - mercator_y(low.lat);
        const double scale = across / std::hypot(dx, dy) / std::cos(low.lat * DEG_TO_RAD);
        return LatLon{mercator_lat(mercator_y(low.lat) + f * dy + dx * scale), mercator_lon(mercator_x(low.lon) + f * dx - dy * scale)};
    };
    for (int size : {256, 512}) {
        ElevationSamples terrain;
        terrain.width = terrain.height = size;
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c)
                terrain.metres.push_back(float(500.0 + 0.5 * 256.0 / size * (r + 0.3 * c)));
        ElevationSamples flat = terrain;
        EXPECT_EQ(flatten_tile(with_elevations, tile, size, size, flat.metres.data(), nullptr), 1);
        for (double f : {0.05, 0.3, 0.5, 0.77, 0.95})
            for (double across : {-10.0, 0.0, 10.0}) {
                const TileUV uv = position_in_tile(point_on_line(f, across), tile);
                EXPECT_NEAR(flat.interpolate(uv.u, uv.v), 600.0 + 10.0 * f, 0.01) << size << " px, f " << f << ", across " << across;
            }
        EXPECT_EQ(std::tuple(flat.metres.front(), flat.metres.back()), std::tuple(terrain.metres.front(), terrain.metres.back()));

        // Ends without an elevation stand on the tile's own ground when nothing better is known.
        flat = terrain;
        flatten_tile(without, tile, size, size, flat.metres.data(), [](const LatLon&) { return std::nullopt; });
        const auto at = [&](const ElevationSamples& s, LatLon p) { const TileUV uv = position_in_tile(p, tile); return s.interpolate(uv.u, uv.v); };
        EXPECT_NEAR(at(flat, point_on_line(0.5, 0.0)), (at(terrain, low) + at(terrain, high)) / 2.0, 0.01) << size;
        flat = terrain;
        flatten_tile(without, tile, size, size, flat.metres.data(), [](const LatLon&) { return 42.0; });
        EXPECT_NEAR(at(flat, point_on_line(0.5, 0.0)), 42.0, 0.01) << size << " px, from the caller's terrain";
    }
}

// The threshold of an end moves inside the runway by its displaced threshold; the heading is the
// data's unless the coordinates plainly disagree with it.
TEST(RunwayThreshold, AircraftStartAtTheThresholdHeadingDownTheRunway)
{
    const RunwayIndex index = index_of(
        "TEST,,100,ASP,,18,47.01,8.0,1000,180.4,300,36,47.0,8.0,1100,,\n"
        "TST2,,100,ASP,,07L,47.0,8.0,,69,,25R,47.0,8.02,,290,\n");
    const double metres_per_degree_lat = EARTH_CIRCUMFERENCE / 360.0;
    struct Case { const char* airport; const char* runway; double lat, lon, heading; std::optional<double> elevation; };
    const Case cases[] = {
        {"TEST", "18", 47.01 - 91.44 / metres_per_degree_lat, 8.0, 180.4, 304.8 + 30.48 * 91.44 / (0.01 * metres_per_degree_lat)},
        {"test", "36", 47.0, 8.0, 0.0, 335.28},
        {"TST2", "7l", 47.0, 8.0, 90.0, std::nullopt},   // the data's 69° is 21° off
        {"TST2", "25R", 47.0, 8.02, 270.0, std::nullopt}, // and 290° too
    };
    for (const Case& c : cases) {
        const auto placed = place_at_threshold(index, c.airport, c.runway);
        ASSERT_TRUE(std::holds_alternative<ThresholdPlacement>(placed)) << c.airport << " " << c.runway;
        const ThresholdPlacement& p = std::get<ThresholdPlacement>(placed);
        EXPECT_NEAR(p.position.lat, c.lat, 2e-6) << c.runway;
        EXPECT_NEAR(p.position.lon, c.lon, 2e-6) << c.runway;
        EXPECT_NEAR(std::remainder(p.heading_deg - c.heading, 360.0), 0.0, 0.01) << c.runway;
        EXPECT_EQ(p.elevation_m.has_value(), c.elevation.has_value()) << c.runway;
        if (p.elevation_m && c.elevation) {
            EXPECT_NEAR(*p.elevation_m, *c.elevation, 0.01) << c.runway;
        }
    }
    EXPECT_EQ(std::get<PlacementError>(place_at_threshold(index, "TEST", "09")), PlacementError::UnknownRunway);
    EXPECT_EQ(std::get<PlacementError>(place_at_threshold(index, "TEST", "")), PlacementError::UnknownRunway);
    EXPECT_EQ(std::get<PlacementError>(place_at_threshold(index, "NONE", "18")), PlacementError::UnknownAirport);
}

// Runways near a point come nearest first and stop at the radius; the runways reaching into a
// tile are exactly those whose flattened ground overlaps it, at every zoom, wherever on the map.
TEST(RunwayIndex, QueriesFindWhatAFullSearchFinds)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::string rows;
    std::vector<std::pair<LatLon, LatLon>> ends;
    for (int i = 0; i < 3000; ++i) {
        // Clustered around a few places, as airports are, some near the antimeridian.
        const double lat = std::vector<double>{47.0, -16.0, 0.0, 60.0}[i % 4] + (unit(random) - 0.5) * 4.0;
        const double lon = std::vector<double>{11.0, 179.9, 0.0, -120.0}[i % 4] + (unit(random) - 0.5) * 4.0;
        const double angle = unit(random) * TWO_PI;
        const double half = 0.002 + unit(random) * 0.02;
        const LatLon a{lat + half * std::cos(angle), lon + half * std::sin(angle)};
        const LatLon b{lat - half * std::cos(angle), lon - half * std::sin(angle)};
        const auto wrap = [](double x) { return x > 180.0 ? x - 360.0 : x < -180.0 ? x + 360.0 : x; };
        rows += fmt::format("R{},,150,ASP,,09,{},{},,,,27,{},{},,,\n", i, a.lat, wrap(a.lon), b.lat, wrap(b.lon));
        ends.emplace_back(a, b);
    }
    const RunwayIndex index = index_of(rows);
    ASSERT_EQ(index.size(), 3000u);

    for (int trial = 0; trial < 40; ++trial) {
        const LatLon point = index.runway(uint32_t(trial * 71)).ends[LOW_END].position;
        const double radius = 20000.0 + unit(random) * 80000.0;
        std::vector<std::pair<double, uint32_t>> expected;
        for (uint32_t i = 0; i < index.size(); ++i) {
            const LatLon middle{(ends[i].first.lat + ends[i].second.lat) / 2, (ends[i].first.lon + ends[i].second.lon) / 2};
            const double d = great_circle_distance(point, middle);
            if (d <= radius - 1.0)
                expected.emplace_back(d, i);
        }
        std::sort(expected.begin(), expected.end());
        const std::vector<NearbyRunway> found = index.near(point, radius);
        std::vector<uint32_t> expected_ids, found_ids;
        for (const auto& e : expected)
            expected_ids.push_back(e.second);
        for (const NearbyRunway& n : found)
            if (n.distance_m <= radius - 1.0)
                found_ids.push_back(n.runway);
        EXPECT_EQ(found_ids, expected_ids) << "around " << to_string(point) << " within " << radius;
    }

    for (int trial = 0; trial < 300; ++trial) {
        const uint32_t zoom = uint32_t(trial % 17);
        const LatLon point = index.runway(uint32_t(trial * 13 % 3000)).ends[HIGH_END].position;
        TileId tile = tile_at(point, zoom);
        if (trial % 3 == 1) // and the tile beside it, wrapping at the map's edge
            tile.x = (tile.x + 1) % tiles_per_side(zoom);
        const double size = tile_size(zoom);
        std::vector<uint32_t> expected;
        for (uint32_t i = 0; i < index.size(); ++i) {
            const MercatorBox box = index.shape(i).bounds(FLATTENING_REACH_M);
            const double dx = wrapped_difference((box.min_x + box.max_x) / 2, (tile.x + 0.5) * size);
            const double dy = (box.min_y + box.max_y) / 2 - (tile.y + 0.5) * size;
            if (std::abs(dx) <= (box.max_x - box.min_x + size) / 2 && std::abs(dy) <= (box.max_y - box.min_y + size) / 2)
                expected.push_back(i);
        }
        EXPECT_EQ(index.reaching_into(tile), expected) << to_string(tile);
    }
}

// A runway across the antimeridian is one runway: found from both sides, flattened on the tiles
// of both edges of the map, its threshold placed across the line.
TEST(RunwayIndex, RunwaysAcrossTheAntimeridianAreWhole)
{
    const RunwayIndex index = index_of(",,150,ASP,,09,-16.0,179.995,328.084,,,27,-16.0,-179.995,328.084,,2000\n");
    const RunwayShape& shape = index.shape(0);
    EXPECT_NEAR(shape.heading_deg(), 90.0, 1e-6);
    EXPECT_NEAR(2.0 * shape.end_along(HIGH_END), 0.01 * EARTH_CIRCUMFERENCE / 360.0 * std::cos(16.0 * DEG_TO_RAD), 1.0);
    for (const LatLon& from : {LatLon{-16.0, 179.99}, LatLon{-16.0, -179.99}}) {
        const std::vector<NearbyRunway> near = index.near(from, 5000.0);
        ASSERT_EQ(near.size(), 1u) << to_string(from);
        EXPECT_NEAR(near[0].distance_m, 0.01 * EARTH_CIRCUMFERENCE / 360.0 * std::cos(16.0 * DEG_TO_RAD), 5.0);
    }
    const TileId west = tile_at({-16.0, 179.999}, 12);
    const TileId east = tile_at({-16.0, -179.999}, 12);
    ASSERT_EQ(std::pair(west.x, east.x), std::pair(tiles_per_side(12) - 1, 0u));
    for (const TileId& tile : {west, east}) {
        ASSERT_EQ(index.reaching_into(tile), std::vector<uint32_t>{0}) << to_string(tile);
        std::vector<float> metres(256 * 256, 0.0f);
        EXPECT_EQ(flatten_tile(index, tile, 256, 256, metres.data(), nullptr), 1);
        const size_t row = size_t(position_in_tile({-16.0, 180.0}, tile).v * 256);
        const size_t edge_column = tile == west ? 255 : 0;
        EXPECT_FLOAT_EQ(metres[row * 256 + edge_column], 100.0f) << "on the line at the map's edge, " << to_string(tile);
    }
    // The high end's threshold lies 2000 ft west of it, across the line.
    const ThresholdPlacement placed = std::get<ThresholdPlacement>(place_at_threshold(index, "", "27"));
    EXPECT_NEAR(placed.position.lon, -179.995 - 609.6 / (EARTH_CIRCUMFERENCE / 360.0 * std::cos(16.0 * DEG_TO_RAD)) + 360.0, 1e-6);
}

#include "terrain/LodSelection.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tiles/WebMercator.h"

namespace {

const LatLon START{47.2576, 11.3513};

// Great-circle distance in metres on the sphere the centre is pushed along (haversine).
double distance(LatLon a, LatLon b)
{
    const double p1 = a.lat * DEG_TO_RAD, p2 = b.lat * DEG_TO_RAD, dl = (b.lon - a.lon) * DEG_TO_RAD;
    const double h = std::pow(std::sin((p2 - p1) / 2), 2) + std::cos(p1) * std::cos(p2) * std::pow(std::sin(dl / 2), 2);
    return 2.0 * LOD_EARTH_RADIUS * std::asin(std::sqrt(h));
}

// The centre is pushed ahead of the camera along its heading: 500 m at the ground, max_horizon
// from 10000 m up, linear in between, less as the camera looks down.
TEST(LodSelection, TheCentreIsPushedAheadAlongTheViewsHeading)
{
    struct Case { double altitude; float down, metres; };
    for (const Case c : {Case{0.0, 0.0f, 500.0f}, Case{-300.0, 0.0f, 500.0f}, Case{5000.0, 0.0f, 10250.0f}, Case{10000.0, 0.0f, 20000.0f},
                         Case{25000.0, 0.0f, 20000.0f}, Case{5000.0, 1.0f, 0.0f}, Case{5000.0, 0.5f, 5125.0f}})
        EXPECT_DOUBLE_EQ(lod_push_distance(c.altitude, c.down, 20000.0), c.metres) << c.altitude << " " << c.down;
    struct Heading { glm::vec3 z_axis; float degrees; int north, east; }; // the view is -z_axis
    for (const Heading h : {Heading{{0, 0, 1}, 180.0f, 1, 0}, Heading{{-1, 0, 0}, 90.0f, 0, 1}, Heading{{0, 0, -1}, 0.0f, -1, 0},
                            Heading{{1, 0, 0}, 270.0f, 0, -1}}) {
        EXPECT_NEAR(view_heading(h.z_axis), h.degrees, 1e-3f);
        const LatLon centre = smart_lod_center(START, 5000.0, h.z_axis, 20000.0);
        EXPECT_NEAR(distance(START, centre), 10250.0, 0.01) << h.degrees;
        EXPECT_EQ((centre.lat > START.lat + 1e-3) - (centre.lat < START.lat - 1e-3), h.north) << h.degrees;
        EXPECT_EQ((centre.lon > START.lon + 1e-3) - (centre.lon < START.lon - 1e-3), h.east) << h.degrees;
    }
    const LatLon below = smart_lod_center(START, 5000.0, {0.0f, 1.0f, 0.0f}, 20000.0);
    EXPECT_LT(std::abs(below.lat - START.lat) + std::abs(below.lon - START.lon), 1e-12) << "looking straight down";
    EXPECT_NEAR(great_circle_destination({0.0, 30.0}, 0.0, LOD_EARTH_RADIUS * PI / 2).lat, 90.0, 1e-9) << "to the pole";
}

TEST(LodSelection, TheZoomFollowsTheAltitudeUnlessSetByHand)
{
    struct Case { double weight, altitude; uint32_t min_zoom, zoom; };
    for (const Case c : {Case{0.1, 1000.0, 7, 17}, Case{0.1, 10000.0, 7, 15}, Case{0.1, 100000.0, 7, 11}, Case{0.1, 0.0, 7, 8},
                         Case{0.1, -250.0, 7, 8}, Case{0.0, 1000.0, 7, 8}, Case{0.1, std::numeric_limits<double>::quiet_NaN(), 7, 8},
                         Case{1.0, 1e9, 7, 17}, Case{0.1, 3e8, 7, 8}, Case{0.1, 10000.0, 16, 17}, Case{0.1, 1000.0, 18, 19}})
        EXPECT_EQ(automatic_max_zoom(c.weight, c.altitude, c.min_zoom), c.zoom) << c.weight << " " << c.altitude;

    const WorldFrame frame = WorldFrame::centred_on(START, 0.05);
    LodSettings settings; // 1000 m up, looking north and a little down
    const LodSelection s = select_lod(frame, settings, {0.0f, 50.0f, 0.0f}, {0.0f, 0.2f, 0.9797959f});
    EXPECT_NEAR(s.altitude, 1000.0, 1e-9);
    EXPECT_LT(std::abs(s.camera.lat - START.lat) + std::abs(s.camera.lon - START.lon), 1e-9);
    EXPECT_EQ(s.max_zoom, 17u);
    EXPECT_GT(s.center_coord.lat, START.lat);
    EXPECT_NEAR(distance(START, s.center_coord), 0.8 * (0.1 * 20000.0 + 0.9 * 500.0), 0.5);
    EXPECT_EQ(s.center_tile, tile_corner_at(s.center_coord, 7));
    settings = {true, false, 20000.0, 0.1, 12, 9}; // manual zoom, no smart centre
    const LodSelection manual = select_lod(frame, settings, {10.0f, -5.0f, -20.0f}, {0.0f, 0.2f, 0.9797959f});
    EXPECT_EQ(std::tuple(manual.center_coord.lat, manual.center_coord.lon, manual.max_zoom),
              std::tuple(manual.camera.lat, manual.camera.lon, 9u));
    EXPECT_EQ(manual.center_tile, tile_corner_at(manual.camera, 12));
    settings.manual_zoom = false;
    EXPECT_EQ(select_lod(frame, settings, {10.0f, -5.0f, -20.0f}, {0, 0, 1}).max_zoom, 13u) << "below the ground";
}

} // namespace

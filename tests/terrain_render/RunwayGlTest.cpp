// The runway drawer with a real GL context: a paved and a grass runway seen from above, close by
// and from high up.

#include "terrain/RunwayRenderer.h"

#include <cmath>
#include <vector>

#include <glm/ext/matrix_clip_space.hpp>
#include <glm/ext/matrix_transform.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "terrain/RunwayFile.h"
#include "tests/support/GlContext.h"
#include "tiles/WebMercator.h"

namespace {

constexpr int SIZE = 512;
// On the equator world units are true metres: the world frame's origin is at 0/0 with a scale
// of 1, and the heights need no correction.
constexpr double METRES_PER_DEGREE = EARTH_CIRCUMFERENCE / 360.0;

// A 1000 m asphalt runway 09/27 through 0/0, 45 m wide, and 78 m north of it a grass strip,
// both at 100 m.
RunwayIndex runways()
{
    const double end = 500.0 / METRES_PER_DEGREE;
    const double north = 78.0 / METRES_PER_DEGREE;
    const std::string csv = fmt::format(
        "airport_ident,length_ft,width_ft,surface,closed,le_ident,le_latitude_deg,le_longitude_deg,le_elevation_ft,"
        "he_ident,he_latitude_deg,he_longitude_deg,he_elevation_ft\n"
        "PAVE,,148,ASP,0,09,0,{0},328.084,27,0,{1},328.084\n"
        "LAWN,,98,GRS,0,09,{2},{0},328.084,27,{2},{1},328.084\n",
        -end, end, north);
    return RunwayIndex(parse_runways(csv).runways);
}

struct Picture {
    std::vector<uint8_t> rgba;
    glm::mat4 view_projection;
    // The pixel where a world point (x east, z south, at the runways' height) lands.
    const uint8_t* at(double x, double z) const
    {
        const glm::vec4 clip = view_projection * glm::vec4(float(x), 100.0f, float(z), 1.0f);
        const int column = std::clamp(int((clip.x / clip.w * 0.5f + 0.5f) * SIZE), 0, SIZE - 1);
        const int row = std::clamp(int((clip.y / clip.w * 0.5f + 0.5f) * SIZE), 0, SIZE - 1);
        return &rgba[(size_t(row) * SIZE + column) * 4];
    }
    // The share of the points of a runway-aligned box (x from x0 to x1, z from z0 to z1, a point
    // every half metre) whose pixel satisfies the predicate.
    template <typename Predicate>
    double share(double x0, double x1, double z0, double z1, Predicate predicate) const
    {
        int hits = 0, count = 0;
        for (double x = x0; x <= x1; x += 0.5)
            for (double z = z0; z <= z1; z += 0.5, ++count)
                hits += predicate(at(x, z)) ? 1 : 0;
        return double(hits) / count;
    }
};

double luminance(const uint8_t* p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; }
bool grey(const uint8_t* p) { return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) < 14 && luminance(p) > 40 && luminance(p) < 140; }
bool white(const uint8_t* p) { return luminance(p) > 185; }
bool green(const uint8_t* p) { return p[1] > p[0] + 15 && p[1] > p[2] + 15; }
bool black(const uint8_t* p) { return luminance(p) < 3; }

// The runways seen straight down from `height` metres above the point x (east of the middle),
// north up.
Picture draw(RunwayRenderer& renderer, const RunwayIndex& index, double x, double height)
{
    OffscreenTarget target(SIZE, SIZE);
    renderer.prepare(index, LatLon{0.0, 0.0}, nullptr, RunwayWorld{mercator_x(0.0), mercator_y(0.0), 1.0});
    RunwayFrame frame;
    const glm::vec3 below(float(x), 100.0f, 0.0f);
    frame.view = glm::lookAt(below + glm::vec3(0.0f, float(height), 0.0f), below, glm::vec3(0.0f, 0.0f, -1.0f));
    frame.projection = glm::perspective(glm::radians(60.0f), 1.0f, 1.0f, 20000.0f);
    frame.camera_position = below + glm::vec3(0.0f, float(height), 0.0f);
    frame.camera_far = 20000.0f;
    frame.camera_altitude_m = 100.0f + float(height);
    frame.sun_direction = glm::vec3(0.0f, 1.0f, 0.0f);
    renderer.draw(frame);
    Picture picture{std::vector<uint8_t>(size_t(SIZE) * SIZE * 4), frame.projection * frame.view};
    glReadPixels(0, 0, SIZE, SIZE, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
    return picture;
}

} // namespace

// Up close: grey asphalt with threshold stripes (half of their zone white), the designator, the
// grass strip green and nothing drawn beside the runways. From 5 km up the stripes are finer
// than a pixel and show as their average, no pixel flashing white.
TEST_F(GlTest, RunwaysAreDrawnWithTheirSurfaceAndMarkingsAndFineMarkingsFadeWithDistance)
{
    console::Capture output;
    const RunwayIndex index = runways();
    ASSERT_EQ(index.size(), 2u);
    RunwayRenderer renderer(std::filesystem::path(WH_SOURCE_DIR) / "assets/shaders");
    ASSERT_NE(renderer.reload_shaders(), false) << output.err();

    // The low end (09) lies at x = −500; its threshold stripes 6 to 36 m past it, from 1.8 m
    // beside the centre line to 3 m from the edges; the designator 48 to 57 m past it.
    const Picture near = draw(renderer, index, -440.0, 150.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(renderer.runway_count(), 2u);
    EXPECT_GT(near.share(-410.0, -380.0, 5.0, 15.0, grey), 0.97) << "plain asphalt";
    const double stripes = near.share(-492.0, -466.0, 3.0, 18.0, white);
    EXPECT_GT(stripes, 0.3) << "threshold stripes";
    EXPECT_LT(stripes, 0.7) << "threshold stripes with gaps";
    const double designator = near.share(-451.0, -444.0, -6.0, 6.0, white);
    EXPECT_GT(designator, 0.15) << "the designator's ink";
    EXPECT_LT(designator, 0.8) << "the designator's ink";
    EXPECT_GT(near.share(-420.0, -380.0, -83.0, -73.0, green), 0.97) << "the grass strip";
    EXPECT_GT(near.share(-420.0, -380.0, 30.0, 40.0, black), 0.99) << "beside the runway";

    const Picture far = draw(renderer, index, -440.0, 5000.0);
    const uint8_t* plain = far.at(-200.0, 10.0);
    EXPECT_TRUE(grey(plain)) << int(plain[0]) << " " << int(plain[1]) << " " << int(plain[2]);
    EXPECT_EQ(far.share(-492.0, -466.0, 3.0, 18.0, white), 0.0) << "no stripe flashes white from afar";
    EXPECT_GT(luminance(far.at(-479.0, 10.0)), luminance(plain) + 20.0) << "the stripes' zone shows lighter";
}

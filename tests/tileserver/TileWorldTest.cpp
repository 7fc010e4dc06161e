// The procedural world the tile server shows: heights decode as the program decodes them, meet
// seamlessly across tile borders, agree between zoom levels, and give the start position a
// valley floor among high mountains.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "gfx/Image.h"
#include "tests/support/TileServer.h"
#include "tools/LruCache.h"
#include "tools/TileRaster.h"
#include "tools/World.h"

using tileserver::decode_byte;
using tileserver::decode_rg;
using tileserver::TileAddress;
using tileserver::World;

namespace {

constexpr double PI = 3.141592653589793;

struct TileXY {
    double x; // fractional tile coordinates at a zoom
    double y;
};

TileXY tile_coordinates(double lat, double lon, uint32_t zoom)
{
    double n = std::ldexp(1.0, static_cast<int>(zoom));
    return {(lon + 180.0) / 360.0 * n, (1.0 - std::asinh(std::tan(lat * PI / 180.0)) / PI) * 0.5 * n};
}

// Heights of one elevation tile in metres, decoded as the program decodes them.
class Heights {
public:
    Heights(const support::TileServer& server, const TileAddress& tile, bool byte_encoding = false)
    {
        std::string path = std::string(byte_encoding ? "/elevation/byte/" : "/elevation/rg/") + std::to_string(tile.zoom) + "/" +
                           std::to_string(tile.x) + "/" + std::to_string(tile.y) + ".png";
        support::HttpResult answer = server.get(path);
        EXPECT_EQ(answer.status, 200) << path;
        gfx::Image image(reinterpret_cast<const unsigned char*>(answer.body.data()), answer.body.size());
        EXPECT_TRUE(image.valid() && image.width == 256 && image.height == 256) << path;
        if (!image.valid()) {
            return;
        }
        m_metres.resize(256 * 256);
        for (int i = 0; i < 256 * 256; ++i) {
            const unsigned char* pixel = image.data + i * 3;
            m_metres[static_cast<size_t>(i)] = byte_encoding ? decode_byte(pixel[0]) : decode_rg(pixel[0], pixel[1]);
        }
    }

    bool valid() const { return !m_metres.empty(); }
    double at(int column, int row) const { return m_metres[static_cast<size_t>(row) * 256 + column]; }
    // Bilinear between pixels, for positions given in pixels (pixel i lies at i / 255 of the tile).
    double sample(double column, double row) const
    {
        int c = std::clamp(static_cast<int>(column), 0, 254);
        int r = std::clamp(static_cast<int>(row), 0, 254);
        double fc = column - c;
        double fr = row - r;
        double top = at(c, r) * (1 - fc) + at(c + 1, r) * fc;
        double bottom = at(c, r + 1) * (1 - fc) + at(c + 1, r + 1) * fc;
        return top * (1 - fr) + bottom * fr;
    }
    double min() const { return *std::min_element(m_metres.begin(), m_metres.end()); }
    double max() const { return *std::max_element(m_metres.begin(), m_metres.end()); }

private:
    std::vector<double> m_metres;
};

class TileWorldTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<support::TileServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    static std::unique_ptr<support::TileServer> server;
};

std::unique_ptr<support::TileServer> TileWorldTest::server;

TileAddress start_tile(uint32_t zoom)
{
    TileXY t = tile_coordinates(World::START_LAT, World::START_LON, zoom);
    return {zoom, static_cast<uint32_t>(t.x), static_cast<uint32_t>(t.y)};
}

} // namespace

TEST(ElevationEncoding, DecodesAsTheProgramDoes)
{
    EXPECT_DOUBLE_EQ(decode_rg(10, 16), 322.0);
    EXPECT_DOUBLE_EQ(decode_rg(255, 255), 8191.875);
    EXPECT_DOUBLE_EQ(decode_byte(255), 3795.0);
    EXPECT_DOUBLE_EQ(decode_byte(0), 0.0);
}

TEST(ElevationEncoding, EncodedHeightsComeBackWithinHalfAStep)
{
    const float heights[] = {0.0f, 0.06f, 322.0f, 647.3f, 1000.0f, 2999.99f, 3779.0f, World::MAX_HEIGHT};
    tileserver::TileTerrain terrain;
    terrain.grid.resize(static_cast<size_t>(tileserver::TileTerrain::GRID) * tileserver::TileTerrain::GRID);
    for (size_t i = 0; i < std::size(heights); ++i) {
        terrain.grid[static_cast<size_t>(tileserver::TileTerrain::GRID + 1 + i)].height = heights[i];
    }
    std::vector<uint8_t> rg = tileserver::render_elevation_rg(terrain);
    std::vector<uint8_t> byte = tileserver::render_elevation_byte(terrain);
    for (size_t i = 0; i < std::size(heights); ++i) {
        EXPECT_NEAR(decode_rg(rg[i * 3], rg[i * 3 + 1]), heights[i], 1.0 / 16.0) << heights[i];
        EXPECT_EQ(rg[i * 3 + 2], 0);
        EXPECT_NEAR(decode_byte(byte[i * 3]), heights[i], 3795.0 / 255.0 / 2.0 + 1e-9) << heights[i];
        EXPECT_EQ(byte[i * 3], byte[i * 3 + 1]);
        EXPECT_EQ(byte[i * 3], byte[i * 3 + 2]);
    }
}

TEST_F(TileWorldTest, NeighbouringTilesShareTheirBorderHeights)
{
    const TileAddress tiles[] = {start_tile(9), start_tile(12), start_tile(14), {3, 4, 2}};
    for (const TileAddress& tile : tiles) {
        Heights here(*server, tile);
        Heights east(*server, {tile.zoom, tile.x + 1, tile.y});
        Heights south(*server, {tile.zoom, tile.x, tile.y + 1});
        ASSERT_TRUE(here.valid() && east.valid() && south.valid());
        double worst_east = 0.0;
        double worst_south = 0.0;
        double largest_step = 0.0; // between neighbouring pixels inside the tile, for scale
        for (int i = 0; i < 256; ++i) {
            worst_east = std::max(worst_east, std::fabs(here.at(255, i) - east.at(0, i)));
            worst_south = std::max(worst_south, std::fabs(here.at(i, 255) - south.at(i, 0)));
            largest_step = std::max(largest_step, std::fabs(here.at(254, i) - here.at(255, i)));
        }
        std::string label = "tile " + std::to_string(tile.zoom) + "/" + std::to_string(tile.x) + "/" + std::to_string(tile.y);
        EXPECT_LE(worst_east, 0.25) << label << " (neighbouring pixels differ by up to " << largest_step << " m)";
        EXPECT_LE(worst_south, 0.25) << label;
        EXPECT_GT(largest_step, 0.5) << label << ": the terrain should not be flat here";
    }
}

TEST_F(TileWorldTest, ParentAndChildTilesShowTheSameHeights)
{
    for (uint32_t zoom : {9u, 11u, 13u}) {
        TileAddress parent = start_tile(zoom);
        Heights parent_heights(*server, parent);
        std::map<std::pair<uint32_t, uint32_t>, Heights> children;
        for (uint32_t dy = 0; dy < 2; ++dy) {
            for (uint32_t dx = 0; dx < 2; ++dx) {
                TileAddress child{zoom + 1, parent.x * 2 + dx, parent.y * 2 + dy};
                children.emplace(std::make_pair(dx, dy), Heights(*server, child));
            }
        }
        double total = 0.0;
        double worst = 0.0;
        double shifted_total = 0.0; // the same comparison 8 parent pixels off, to show the check has teeth
        int count = 0;
        for (int row = 4; row < 252; row += 8) {
            for (int column = 4; column < 252; column += 8) {
                // Parent pixel i lies at i / 255 of the parent tile; find it in the child tiles.
                double u = column / 255.0 * 2.0;
                double v = row / 255.0 * 2.0;
                auto dx = static_cast<uint32_t>(u >= 1.0);
                auto dy = static_cast<uint32_t>(v >= 1.0);
                const Heights& child = children.at({dx, dy});
                double in_child = child.sample((u - dx) * 255.0, (v - dy) * 255.0);
                double difference = std::fabs(parent_heights.at(column, row) - in_child);
                total += difference;
                worst = std::max(worst, difference);
                shifted_total += std::fabs(parent_heights.at(column + 3, row + 3) - in_child);
                ++count;
            }
        }
        double mean = total / count;
        EXPECT_LT(mean, 6.0) << "zoom " << zoom << " vs " << zoom + 1;
        EXPECT_LT(worst, 60.0) << "zoom " << zoom << " vs " << zoom + 1;
        EXPECT_GT(shifted_total / count, 3.0 * mean) << "zoom " << zoom << ": shifted positions should differ much more";
    }
}

TEST_F(TileWorldTest, TheStartLiesOnAValleyFloorAmongHighMountains)
{
    // The pixel nearest the start at the highest detail the program asks for by default.
    TileXY t = tile_coordinates(World::START_LAT, World::START_LON, 15);
    TileAddress tile{15, static_cast<uint32_t>(t.x), static_cast<uint32_t>(t.y)};
    Heights start(*server, tile);
    double at_start = start.sample((t.x - tile.x) * 255.0, (t.y - tile.y) * 255.0);
    EXPECT_GE(at_start, 550.0);
    EXPECT_LE(at_start, 1000.0);
    // Flat enough to stand on: the whole start tile (about 800 m across) stays within 60 m.
    EXPECT_LT(start.max() - start.min(), 60.0);

    // Around it, about 25 km across, peaks rise far above the valley.
    Heights around(*server, start_tile(11));
    EXPECT_GE(around.max(), 2500.0);
    EXPECT_LE(around.max(), 3795.0);
    EXPECT_LE(around.min(), 800.0);
    EXPECT_GE(around.min(), 400.0);
}

TEST_F(TileWorldTest, TheSingleByteEncodingShowsTheSameHeights)
{
    for (uint32_t zoom : {8u, 12u}) {
        Heights rg(*server, start_tile(zoom));
        Heights byte(*server, start_tile(zoom), /*byte_encoding=*/true);
        double worst = 0.0;
        for (int row = 0; row < 256; ++row) {
            for (int column = 0; column < 256; ++column) {
                worst = std::max(worst, std::fabs(rg.at(column, row) - byte.at(column, row)));
            }
        }
        EXPECT_LE(worst, 3795.0 / 255.0 / 2.0 + 0.1) << "zoom " << zoom;
    }
}

TEST_F(TileWorldTest, ImageryMatchesTheHeights)
{
    // Low ground is green or blue, the high mountains bright (rock and snow).
    TileAddress tile = start_tile(10);
    Heights heights(*server, tile);
    support::HttpResult answer = server->get("/imagery/10/" + std::to_string(tile.x) + "/" + std::to_string(tile.y) + ".png");
    gfx::Image image(reinterpret_cast<const unsigned char*>(answer.body.data()), answer.body.size());
    ASSERT_TRUE(image.valid());
    double low_brightness = 0.0, high_brightness = 0.0, low_green = 0.0;
    int low = 0, high = 0;
    for (int row = 0; row < 256; ++row) {
        for (int column = 0; column < 256; ++column) {
            const unsigned char* p = image.data + (row * 256 + column) * 3;
            double h = heights.at(column, row);
            double brightness = (p[0] + p[1] + p[2]) / 3.0;
            if (h < 900.0) {
                low_brightness += brightness;
                low_green += (p[1] >= p[0] || p[2] >= p[0]) ? 1.0 : 0.0;
                ++low;
            } else if (h > 3000.0) {
                high_brightness += brightness;
                ++high;
            }
        }
    }
    ASSERT_GT(low, 100);
    ASSERT_GT(high, 100);
    EXPECT_GT(high_brightness / high, low_brightness / low + 40.0);
    EXPECT_GT(low_green / low, 0.6); // fields of ripe crops are ochre, the rest green or water
}

TEST(TileWorld, SamplesAreAFunctionOfPositionAlone)
{
    // A row evaluation and single points agree, wherever the row starts.
    tileserver::GroundRow row{-1234.5, 37.0, 2500.25, 64};
    std::vector<tileserver::WorldSample> samples(64);
    World::sample_row(row, 37.0, samples.data());
    for (int i = 0; i < 64; i += 7) {
        tileserver::WorldSample point = World::sample({row.x0 + i * row.dx, row.y}, 37.0);
        EXPECT_NEAR(point.height, samples[static_cast<size_t>(i)].height, 0.01f) << i;
        EXPECT_NEAR(point.water, samples[static_cast<size_t>(i)].water, 1e-4f) << i;
    }
}

TEST(TileWorld, TileAddressesOutsideTheGridAreInvalid)
{
    EXPECT_TRUE(tileserver::is_valid({0, 0, 0}));
    EXPECT_FALSE(tileserver::is_valid({0, 1, 0}));
    EXPECT_TRUE(tileserver::is_valid({3, 7, 7}));
    EXPECT_FALSE(tileserver::is_valid({3, 8, 7}));
    EXPECT_FALSE(tileserver::is_valid({3, 7, 8}));
    EXPECT_TRUE(tileserver::is_valid({tileserver::MAX_ZOOM, 0, 0}));
    EXPECT_FALSE(tileserver::is_valid({tileserver::MAX_ZOOM + 1, 0, 0}));
}

TEST(TileWorld, LruCacheEvictsTheLeastRecentlyUsedByCost)
{
    tileserver::LruCache<int, std::string> cache(10);
    cache.put(1, std::make_shared<const std::string>("a"), 4);
    cache.put(2, std::make_shared<const std::string>("b"), 4);
    ASSERT_NE(cache.get(1), nullptr); // 1 is now the most recent
    cache.put(3, std::make_shared<const std::string>("c"), 4);
    EXPECT_EQ(cache.get(2), nullptr);
    ASSERT_NE(cache.get(1), nullptr);
    EXPECT_EQ(*cache.get(1), "a");
    EXPECT_EQ(*cache.get(3), "c");
    // Replacing keeps one entry; something larger than the budget is not kept at all.
    cache.put(3, std::make_shared<const std::string>("d"), 4);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(*cache.get(3), "d");
    std::shared_ptr<const std::string> held = cache.get(1);
    cache.put(4, std::make_shared<const std::string>("too big"), 11);
    EXPECT_EQ(cache.get(4), nullptr);
    EXPECT_EQ(*held, "a");
}

// The height store against the local tile server: a height query never waits, answers from the
// finest tile on hand and asks for the finest; a tile the server refuses is not asked for again.

#include "terrain/HeightStore.h"

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"
#include "tiles/WebMercator.h"

namespace {

HeightStoreSettings settings(const support::TileServer& server, const std::string& route)
{
    return {{server.base_url() + route, TilePattern::ZXY_Y_SOUTH, ".png", "", "", 2, 15, false},
            ElevationEncoding::RG_ENCODED};
}

TEST(HeightStoreTest, AQueryAnswersFromWhatIsHeldAndTheFinestTileOnceItArrives)
{
    support::TileServer server({"--latency-ms", "200"});
    console::Capture quiet;
    HeightStore store(settings(server, "/elevation/rg"));
    const LatLon p{47.21, 11.42};
    ASSERT_TRUE(store.load(tile_at(p, 8)));
    EXPECT_FALSE(store.height_at({46.0, 9.0}, 15)) << "nothing held there: no answer, and no waiting for the server";
    const std::optional<HeightSample> coarse = store.height_at(p, 15);
    ASSERT_TRUE(coarse);
    EXPECT_EQ(coarse->zoom, 8u);
    std::optional<HeightSample> fine;
    ASSERT_TRUE(support::wait_until([&] { return (fine = store.height_at(p, 15)) && fine->zoom == 15; }));
    HeightStore other(settings(server, "/elevation/rg"));
    ASSERT_TRUE(other.load(tile_at(p, 15)));
    EXPECT_EQ(fine->metres, other.height_at(p, 15)->metres);
    EXPECT_NE(fine->metres, coarse->metres);

    HeightStore refused(settings(server, "/status/404/elevation/rg"));
    server.reset_stats();
    EXPECT_FALSE(refused.height_at(p, 15));
    ASSERT_TRUE(support::wait_until([&] { return server.stats().requests == 1; }));
    for (int frame = 0; frame < 5; ++frame) {
        refused.begin_frame();
        EXPECT_FALSE(refused.height_at(p, 15));
    }
    EXPECT_EQ(server.stats().requests, 1) << "a tile that failed for good is not asked for again";
}

} // namespace

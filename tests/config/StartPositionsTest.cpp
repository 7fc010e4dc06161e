#include "app/StartPositions.h"

#include "app/Config.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

TEST(StartPositions, TableRows)
{
    ASSERT_EQ(start_positions.size(), 23u);
    struct Row {
        size_t index;
        const char* name;
        double lat, lon;
        float heading, altitude;
    };
    const Row rows[] = {
        {0, "Innsbruck", 47.2576, 11.3513, 90.0f, 3000.0f},
        {6, "St Poelten", 48.2045, 15.6307, 90.0f, 3000.0f},
        {10, "Thueringerberg", 47.2198, 9.7854, 180.0f, 2000.0f},
        {14, "Schneeberg", 47.8186, 15.8814, 225.0f, 4000.0f},
        {20, "Itonskopf", 47.1111, 9.9143, 225.0f, 3000.0f},
        {21, "Hoher Frassen", 47.191, 9.835, 225.0f, 3000.0f},
        {22, "Gruener See", 47.5351, 15.0748, 315.0f, 2000.0f},
    };
    for (const Row& row : rows) {
        const StartPosition& p = start_positions[row.index];
        EXPECT_STREQ(p.name, row.name) << row.index;
        EXPECT_EQ(p.lat, row.lat) << row.name;
        EXPECT_EQ(p.lon, row.lon) << row.name;
        EXPECT_EQ(p.heading, row.heading) << row.name;
        EXPECT_EQ(p.altitude, row.altitude) << row.name;
    }
}

TEST(StartPositions, NamesUniqueAndPlacesInAustriaBand)
{
    std::set<std::string> names;
    for (const StartPosition& p : start_positions) {
        EXPECT_TRUE(names.insert(p.name).second) << "duplicate " << p.name;
        EXPECT_GT(p.lat, 46.0) << p.name;
        EXPECT_LT(p.lat, 49.0) << p.name;
        EXPECT_GT(p.lon, 9.0) << p.name;
        EXPECT_LT(p.lon, 17.0) << p.name;
    }
}

TEST(StartPositions, FirstRowIsTheDefaultStartPosition)
{
    Config defaults;
    EXPECT_EQ(start_positions[0].lat, defaults.start_position.lat);
    EXPECT_EQ(start_positions[0].lon, defaults.start_position.lon);
}

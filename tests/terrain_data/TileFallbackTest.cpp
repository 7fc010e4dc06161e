#include "terrain/TileFallback.h"

#include <map>

#include <gtest/gtest.h>

#include "console/Console.h"

namespace {

TEST(TileFallback, SubRectangleLocatesATileInsideItsAncestor)
{
    struct Case { TileId tile, ancestor; UVRect rect; };
    for (const Case& c : {Case{{10, 545, 356}, {9, 272, 178}, {0.5, 0.0, 1.0, 0.5}}, Case{{10, 544, 357}, {9, 272, 178}, {0.0, 0.5, 0.5, 1.0}},
                          Case{{12, 2177, 1436}, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}},
                          Case{{7, 68, 44}, {7, 68, 44}, {0.0, 0.0, 1.0, 1.0}},
                          Case{{31, 0x7fffffffu, 0}, {0, 0, 0}, {1.0 - 1.0 / 2147483648.0, 0.0, 1.0, 1.0 / 2147483648.0}}})
        EXPECT_EQ(sub_rectangle(c.tile, c.ancestor), c.rect) << to_string(c.tile);
    EXPECT_EQ(parent_tile({12, 2177, 1436}), (TileId{11, 1088, 718}));
}

// The nearest resident ancestor stands in quietly; with none, the base zoom's is loaded and
// named (and still reported when it cannot be loaded); tiles at or above the base zoom have none.
TEST(TileFallback, TheNearestResidentAncestorOrTheBaseZoomsStandsIn)
{
    struct Case {
        TileId tile;
        uint32_t base_zoom;
        std::map<TileId, int> resident, loadable;
        int found; // -1: null
        TileId id;
        UVRect uv;
        size_t finds, loads;
        std::string printed;
    };
    const std::string base = "Fallback to largest tile: z=7, x=68, y=44 instead of z=12, x=2177, y=1436\n";
    const Case cases[] = {
        {{12, 2177, 1436}, 7, {{{8, 136, 89}, 8}, {{10, 544, 359}, 10}}, {}, 10, {10, 544, 359}, {0.25, 0, 0.5, 0.25}, 2, 0, ""},
        {{12, 2177, 1436}, 7, {}, {{{7, 68, 44}, 7}}, 7, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}, 5, 1, base},
        {{12, 2177, 1436}, 7, {}, {}, -1, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}, 5, 1, base},
        {{7, 68, 44}, 7, {{{6, 34, 22}, 6}}, {}, -1, {99, 98, 97}, {0.1, 0.2, 0.3, 0.4}, 0, 0, ""},
        {{3, 5, 2}, 0, {}, {{{0, 0, 0}, 0}}, 0, {0, 0, 0}, {5.0 / 8, 2.0 / 8, 6.0 / 8, 3.0 / 8}, 3, 1,
         "Fallback to largest tile: z=0, x=0, y=0 instead of z=3, x=5, y=2\n"},
    };
    for (Case c : cases) {
        std::vector<TileId> finds, loads;
        const auto lookup = [](std::map<TileId, int>& map, std::vector<TileId>& calls, TileId t) {
            calls.push_back(t);
            return map.count(t) ? &map[t] : nullptr;
        };
        UVRect uv{0.1, 0.2, 0.3, 0.4};
        TileId id{99, 98, 97};
        console::Capture capture;
        const int* found = search_fallback(
            c.tile, c.base_zoom, [&](TileId t) { return lookup(c.resident, finds, t); },
            [&](TileId t) { return lookup(c.loadable, loads, t); }, uv, id);
        EXPECT_EQ(std::tuple(found ? *found : -1, id, uv, finds.size(), loads.size()), std::tuple(c.found, c.id, c.uv, c.finds, c.loads))
            << to_string(c.tile);
        EXPECT_EQ(capture.out(), c.printed);
    }
}

} // namespace

#include "terrain/TileFallback.h"

#include "console/Console.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace {

// Stand-ins for the texture cache's lookups: resident tiles answer find, loadable ones load.
struct FakeLayer {
    std::map<TileId, int> resident;
    std::map<TileId, int> loadable;
    std::vector<TileId> found_calls;
    std::vector<TileId> load_calls;

    int* find(TileId tile)
    {
        found_calls.push_back(tile);
        auto it = resident.find(tile);
        return it == resident.end() ? nullptr : &it->second;
    }
    int* load(TileId tile)
    {
        load_calls.push_back(tile);
        auto it = loadable.find(tile);
        return it == loadable.end() ? nullptr : &it->second;
    }
    int* search(TileId tile, uint32_t base_zoom, UVRect& uv, TileId& id)
    {
        return search_fallback(
            tile, base_zoom, [this](TileId t) { return find(t); }, [this](TileId t) { return load(t); }, uv, id);
    }
};

void expect_rect(const UVRect& actual, const UVRect& expected)
{
    EXPECT_DOUBLE_EQ(actual.u_min, expected.u_min);
    EXPECT_DOUBLE_EQ(actual.v_min, expected.v_min);
    EXPECT_DOUBLE_EQ(actual.u_max, expected.u_max);
    EXPECT_DOUBLE_EQ(actual.v_max, expected.v_max);
}

TEST(TileFallback, ParentHalvesTheGrid)
{
    EXPECT_EQ(parent_tile({10, 545, 356}), (TileId{9, 272, 178}));
    EXPECT_EQ(parent_tile({1, 1, 0}), (TileId{0, 0, 0}));
    EXPECT_EQ(parent_tile({12, 2177, 1436}), (TileId{11, 1088, 718}));
}

TEST(TileFallback, SubRectangleLocatesTheTileInsideItsAncestor)
{
    struct Case {
        const char* name;
        TileId tile, ancestor;
        UVRect expected;
    };
    const Case cases[] = {
        {"odd x, even y, one level", {10, 545, 356}, {9, 272, 178}, {0.5, 0.0, 1.0, 0.5}},
        {"even x, odd y, one level", {10, 544, 357}, {9, 272, 178}, {0.0, 0.5, 0.5, 1.0}},
        {"five levels, k = 32", {12, 2177, 1436}, {7, 68, 44}, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32}},
        {"the tile itself", {7, 68, 44}, {7, 68, 44}, {0.0, 0.0, 1.0, 1.0}},
        {"from zoom 0", {2, 3, 1}, {0, 0, 0}, {0.75, 0.25, 1.0, 0.5}},
        {"31 levels", {31, 0x7fffffffu, 0}, {0, 0, 0}, {1.0 - 1.0 / 2147483648.0, 0.0, 1.0, 1.0 / 2147483648.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_rect(sub_rectangle(c.tile, c.ancestor), c.expected);
    }
}

TEST(TileFallback, ResidentParentIsUsedWithoutLoadingOrPrinting)
{
    FakeLayer layer;
    layer.resident[{9, 272, 178}] = 9;
    UVRect uv;
    TileId id;
    console::Capture capture;
    int* found = layer.search({10, 545, 356}, 7, uv, id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, 9);
    EXPECT_EQ(id, (TileId{9, 272, 178}));
    expect_rect(uv, {0.5, 0.0, 1.0, 0.5});
    EXPECT_TRUE(layer.load_calls.empty());
    EXPECT_EQ(capture.out(), "");
}

TEST(TileFallback, NearestResidentAncestorWins)
{
    FakeLayer layer;
    layer.resident[{8, 136, 89}] = 8;
    layer.resident[{10, 544, 359}] = 10;
    layer.resident[{7, 68, 44}] = 7;
    UVRect uv;
    TileId id;
    int* found = layer.search({12, 2177, 1436}, 7, uv, id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, 10);
    EXPECT_EQ(id, (TileId{10, 544, 359}));
    expect_rect(uv, {1.0 / 4, 0.0, 2.0 / 4, 1.0 / 4});
    EXPECT_EQ(layer.found_calls.size(), 2u);
}

TEST(TileFallback, NothingResidentLoadsTheBaseZoomAncestorAndSaysSo)
{
    FakeLayer layer;
    layer.loadable[{7, 68, 44}] = 7;
    UVRect uv;
    TileId id;
    console::Capture capture;
    int* found = layer.search({12, 2177, 1436}, 7, uv, id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, 7);
    EXPECT_EQ(id, (TileId{7, 68, 44}));
    expect_rect(uv, {1.0 / 32, 28.0 / 32, 2.0 / 32, 29.0 / 32});
    const std::vector<TileId> searched = {{11, 1088, 718}, {10, 544, 359}, {9, 272, 179}, {8, 136, 89}, {7, 68, 44}};
    EXPECT_EQ(layer.found_calls, searched);
    EXPECT_EQ(layer.load_calls, (std::vector<TileId>{{7, 68, 44}}));
    EXPECT_EQ(capture.out(), "Fallback to largest tile: z=7, x=68, y=44 instead of z=12, x=2177, y=1436\n");
    EXPECT_EQ(capture.err(), "");
}

TEST(TileFallback, FailedLoadStillReportsTheAncestorAndReturnsNull)
{
    FakeLayer layer;
    UVRect uv;
    TileId id;
    console::Capture capture;
    EXPECT_EQ(layer.search({8, 137, 88}, 7, uv, id), nullptr);
    EXPECT_EQ(id, (TileId{7, 68, 44}));
    expect_rect(uv, {0.5, 0.0, 1.0, 0.5});
    EXPECT_EQ(capture.out(), "Fallback to largest tile: z=7, x=68, y=44 instead of z=8, x=137, y=88\n");
}

TEST(TileFallback, TilesAtOrAboveBaseZoomHaveNoFallback)
{
    for (TileId tile : {TileId{7, 68, 44}, TileId{5, 17, 11}, TileId{0, 0, 0}}) {
        FakeLayer layer;
        layer.resident[{6, 34, 22}] = 6;
        UVRect uv{0.1, 0.2, 0.3, 0.4};
        TileId id{99, 98, 97};
        console::Capture capture;
        EXPECT_EQ(layer.search(tile, 7, uv, id), nullptr) << to_string(tile);
        expect_rect(uv, {0.1, 0.2, 0.3, 0.4});
        EXPECT_EQ(id, (TileId{99, 98, 97}));
        EXPECT_TRUE(layer.found_calls.empty());
        EXPECT_TRUE(layer.load_calls.empty());
        EXPECT_EQ(capture.out(), "");
    }
}

TEST(TileFallback, BaseZoomZeroEndsAtTheWorldTile)
{
    FakeLayer layer;
    layer.loadable[{0, 0, 0}] = 0;
    UVRect uv;
    TileId id;
    console::Capture capture;
    int* found = layer.search({3, 5, 2}, 0, uv, id);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(id, (TileId{0, 0, 0}));
    EXPECT_EQ(layer.found_calls.size(), 3u);
    expect_rect(uv, {5.0 / 8, 2.0 / 8, 6.0 / 8, 3.0 / 8});
}

} // namespace

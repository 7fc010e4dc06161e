#include "terrain/LRUCache.h"
#include "terrain/TileKey.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// A move-only value that counts its own deletion, the way a GL texture deletes its name
// once: a moved-from value deletes nothing.
struct Counted {
    int id = 0;
    int* deletions = nullptr;

    Counted(int id_, int* deletions_) : id(id_), deletions(deletions_) {}
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    Counted(Counted&& other) noexcept : id(other.id), deletions(std::exchange(other.deletions, nullptr)) {}
    Counted& operator=(Counted&& other) noexcept
    {
        if (this != &other) {
            release();
            id = other.id;
            deletions = std::exchange(other.deletions, nullptr);
        }
        return *this;
    }
    ~Counted() { release(); }

    void release()
    {
        if (deletions != nullptr)
            ++*deletions;
        deletions = nullptr;
    }
};

TileKey key(uint32_t i, TileKind kind = TileKind::TEXTURE) { return {TileId{17, i, i + 1}, kind}; }

std::vector<int> ids_in_order(LRUCache<int, Counted>& cache)
{
    std::vector<int> keys;
    cache.for_each_key([&keys](int k) { keys.push_back(k); });
    return keys;
}

TEST(LRUCache, TheEntryAfterCapacityEvictsTheLeastRecentlyUsed)
{
    int deletions = 0;
    LRUCache<TileKey, Counted> cache(500);
    for (uint32_t i = 0; i < 500; ++i)
        cache.put(key(i), Counted(static_cast<int>(i), &deletions));
    ASSERT_EQ(cache.size(), 500u);
    EXPECT_EQ(deletions, 0);

    // Touch the oldest; the second oldest becomes the least recently used.
    ASSERT_NE(cache.get(key(0)), nullptr);
    Counted* doomed = cache.peek(key(1));
    ASSERT_NE(doomed, nullptr);

    cache.put(key(500), Counted(500, &deletions));
    EXPECT_EQ(cache.size(), 500u);
    EXPECT_EQ(cache.get(key(1)), nullptr);
    ASSERT_NE(cache.get(key(0)), nullptr);
    EXPECT_EQ(cache.get(key(0))->id, 0);
    ASSERT_NE(cache.get(key(500)), nullptr);

    // The evicted value is parked, still alive for pointers handed out this frame.
    EXPECT_EQ(deletions, 0);
    EXPECT_EQ(cache.evicted_count(), 1u);
    EXPECT_EQ(doomed->id, 1);
    cache.release_evicted();
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(cache.evicted_count(), 0u);
}

TEST(LRUCache, SizeNeverExceedsCapacityAndEveryEvictionDeletesOnce)
{
    int deletions = 0;
    {
        LRUCache<int, Counted> cache(3);
        for (int i = 0; i < 10; ++i) {
            cache.put(i, Counted(i, &deletions));
            EXPECT_LE(cache.size(), 3u);
        }
        EXPECT_EQ((ids_in_order(cache)), (std::vector<int>{9, 8, 7}));
        cache.release_evicted();
        EXPECT_EQ(deletions, 7);
    }
    EXPECT_EQ(deletions, 10) << "destroying the cache deletes what it holds";
}

TEST(LRUCache, GetRefreshesAndPeekDoesNot)
{
    int deletions = 0;
    LRUCache<int, Counted> cache(4);
    for (int i = 1; i <= 4; ++i)
        cache.put(i, Counted(i, &deletions));
    EXPECT_EQ((ids_in_order(cache)), (std::vector<int>{4, 3, 2, 1}));
    cache.get(2);
    EXPECT_EQ((ids_in_order(cache)), (std::vector<int>{2, 4, 3, 1}));
    cache.peek(1);
    EXPECT_EQ((ids_in_order(cache)), (std::vector<int>{2, 4, 3, 1}));
    EXPECT_EQ(cache.get(99), nullptr);
    cache.put(5, Counted(5, &deletions));
    EXPECT_FALSE(cache.contains(1));
    EXPECT_TRUE(cache.contains(2));
}

TEST(LRUCache, PutOfAPresentKeyKeepsOneEntryAndHandsBackTheOldValue)
{
    int deletions = 0;
    LRUCache<int, Counted> cache(3);
    cache.put(1, Counted(10, &deletions));
    cache.put(2, Counted(20, &deletions));
    auto result = cache.put(1, Counted(11, &deletions));
    EXPECT_EQ(cache.size(), 2u);
    ASSERT_NE(result.stored, nullptr);
    EXPECT_EQ(result.stored->id, 11);
    EXPECT_EQ(cache.peek(1), result.stored);
    ASSERT_TRUE(result.replaced.has_value());
    EXPECT_EQ(result.replaced->id, 10);
    EXPECT_EQ((ids_in_order(cache)), (std::vector<int>{1, 2}));
    EXPECT_EQ(deletions, 0) << "the old value is the caller's now";
    result.replaced.reset();
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(cache.evicted_count(), 0u);

    auto fresh = cache.put(3, Counted(30, &deletions));
    EXPECT_FALSE(fresh.replaced.has_value());
}

TEST(LRUCache, PointersStayValidUntilTheirEntryIsReleased)
{
    int deletions = 0;
    LRUCache<int, Counted> cache(2);
    Counted* first = cache.put(1, Counted(1, &deletions)).stored;
    Counted* second = cache.put(2, Counted(2, &deletions)).stored;
    // Both of one tile's layers handed out, then two more insertions evict both.
    cache.put(3, Counted(3, &deletions));
    cache.put(4, Counted(4, &deletions));
    EXPECT_EQ(first->id, 1);
    EXPECT_EQ(second->id, 2);
    EXPECT_EQ(deletions, 0);
    cache.release_evicted();
    EXPECT_EQ(deletions, 2);
}

TEST(LRUCache, ZeroCapacityStoresNothingButKeepsTheValueUntilRelease)
{
    int deletions = 0;
    LRUCache<int, Counted> cache(0);
    Counted* stored = cache.put(1, Counted(1, &deletions)).stored;
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->id, 1);
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.get(1), nullptr);
    cache.release_evicted();
    EXPECT_EQ(deletions, 1);
}

TEST(TileKey, LayersOfOneTileAreDistinctKeys)
{
    const TileKey imagery{TileId{12, 2177, 1436}, TileKind::TEXTURE};
    const TileKey elevation{TileId{12, 2177, 1436}, TileKind::ELEVATION};
    const TileKey other{TileId{12, 2177, 1436}, static_cast<TileKind>(7)};
    EXPECT_FALSE(imagery == elevation);
    EXPECT_TRUE(imagery == (TileKey{TileId{12, 2177, 1436}, TileKind::TEXTURE}));
    const std::hash<TileKey> hash;
    EXPECT_NE(hash(imagery), hash(elevation));
    EXPECT_NE(hash(imagery), hash(other));
    EXPECT_EQ(hash(imagery), hash(TileKey{TileId{12, 2177, 1436}, TileKind::TEXTURE}));
    // The kind is mixed into the tile's hash rather than replacing it.
    EXPECT_NE(hash(imagery), hash(TileKey{TileId{12, 2178, 1436}, TileKind::TEXTURE}));
}

TEST(TileKey, HashCombinesTileAndKind)
{
    // seed ^ (k + 0x9e3779b9 + (seed << 6) + (seed >> 2)) with k the FNV-1a of the kind's bytes:
    // for seed 0 only k + 0x9e3779b9 remains.
    EXPECT_EQ(tile_key_hash(0, TileKind::TEXTURE), fnv1a_64_u32(0) + 0x9e3779b9ull);
    EXPECT_EQ(tile_key_hash(1, TileKind::ELEVATION), 1ull ^ (fnv1a_64_u32(1) + 0x9e3779b9ull + 64ull + 0ull));
    EXPECT_EQ(fnv1a_64_u32(0), 0x4d25767f9dce13f5ull); // FNV-1a of four zero bytes

    std::unordered_set<TileKey> keys;
    for (uint32_t x = 0; x < 40; ++x)
        for (uint32_t y = 0; y < 40; ++y)
            for (TileKind kind : {TileKind::TEXTURE, TileKind::ELEVATION})
                keys.insert({TileId{14, x, y}, kind});
    EXPECT_EQ(keys.size(), 40u * 40u * 2u);
}

} // namespace

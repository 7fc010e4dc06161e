#include "terrain/LRUCache.h"
#include "terrain/TileKey.h"

#include <unordered_set>

#include <gtest/gtest.h>

namespace {

// A move-only value that counts its deletion, as a GL texture deletes its name once.
struct Counted {
    int id;
    int* deletions;
    Counted(int i, int* d) : id(i), deletions(d) {}
    Counted(Counted&& other) noexcept : id(other.id), deletions(std::exchange(other.deletions, nullptr)) {}
    Counted& operator=(Counted&& other) noexcept
    {
        std::swap(id, other.id);
        std::swap(deletions, other.deletions);
        return *this;
    }
    ~Counted()
    {
        if (deletions)
            ++*deletions;
    }
};

std::vector<int> keys(const LRUCache<int, Counted>& cache)
{
    std::vector<int> result;
    cache.for_each_key([&](int key) { result.push_back(key); });
    return result;
}

TEST(LRUCache, EvictsTheLeastRecentlyUsedButKeepsItUntilReleased)
{
    int deletions = 0;
    {
        LRUCache<int, Counted> cache(3);
        for (int i = 1; i <= 3; ++i)
            cache.put(i, Counted(i, &deletions));
        ASSERT_NE(cache.get(1), nullptr); // the most recent now
        Counted* doomed = cache.peek(2);  // peeking refreshes nothing
        cache.put(4, Counted(4, &deletions));
        EXPECT_EQ(keys(cache), (std::vector<int>{4, 1, 3}));
        EXPECT_EQ(std::tuple(doomed->id, deletions, cache.evicted_count()), std::tuple(2, 0, size_t(1))) << "parked";
        cache.release_evicted();
        EXPECT_EQ(deletions, 1);
        const auto replaced = cache.put(3, Counted(30, &deletions)); // a present key keeps one entry
        EXPECT_EQ(std::tuple(keys(cache), replaced.stored->id, replaced.replaced->id, deletions),
                  std::tuple(std::vector<int>{3, 4, 1}, 30, 3, 1)) << "the old value is handed back";
        for (int i = 5; i <= 20; ++i)
            cache.put(i, Counted(i, &deletions));
        EXPECT_EQ(keys(cache), (std::vector<int>{20, 19, 18}));
    }
    EXPECT_EQ(deletions, 21) << "every value deleted exactly once";
    LRUCache<int, Counted> none(0);
    Counted* stored = none.put(1, Counted(1, &deletions)).stored;
    EXPECT_EQ(std::tuple(stored->id, none.size(), deletions), std::tuple(1, size_t(0), 21)) << "kept until released";
    none.release_evicted();
    EXPECT_EQ(deletions, 22);
}

TEST(TileKey, TheLayersOfATileAreDistinctKeys)
{
    std::unordered_set<TileKey> keys;
    for (uint32_t i = 0; i < 1600; ++i)
        for (TileKind kind : {TileKind::TEXTURE, TileKind::ELEVATION})
            keys.insert({TileId{14, i / 40, i % 40}, kind});
    EXPECT_EQ(keys.size(), 3200u);
    const std::hash<TileKey> hash;
    EXPECT_NE(hash({TileId{12, 2177, 1436}, TileKind::TEXTURE}), hash({TileId{12, 2177, 1436}, TileKind::ELEVATION}));
}

} // namespace

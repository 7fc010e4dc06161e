#pragma once

// A fixed-capacity least-recently-used map of move-only values (GPU textures in the
// program, plain values in tests). Nothing here touches GL: a value is released by its own
// destructor.
//
// Evicted values are not destroyed at once but parked until release_evicted(). The
// renderer hands out pointers to textures during a frame and binds them later in the same
// frame; an insertion that evicts must not delete a texture that is still about to be drawn.
// The owner therefore calls release_evicted() at a frame boundary, when no pointer handed
// out earlier is in use any more. The entry count (size()) never exceeds capacity().

#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

template <typename Key, typename Value, typename Hash = std::hash<Key>>
class LRUCache {
public:
    struct PutResult {
        Value* stored = nullptr;        // the value now in the cache under the key
        std::optional<Value> replaced;  // the value previously held under the same key
    };

    explicit LRUCache(size_t capacity) : m_capacity(capacity) {}

    LRUCache(const LRUCache&) = delete;
    LRUCache& operator=(const LRUCache&) = delete;

    // The cached value or null; a hit becomes the most recently used entry.
    Value* get(const Key& key)
    {
        auto it = m_index.find(key);
        if (it == m_index.end())
            return nullptr;
        m_entries.splice(m_entries.begin(), m_entries, it->second);
        return &it->second->second;
    }

    // The cached value or null, leaving the recency order as it is.
    Value* peek(const Key& key)
    {
        auto it = m_index.find(key);
        return it == m_index.end() ? nullptr : &it->second->second;
    }
    const Value* peek(const Key& key) const
    {
        auto it = m_index.find(key);
        return it == m_index.end() ? nullptr : &it->second->second;
    }

    // Stores value under key as the most recently used entry. A present key keeps its single
    // entry, takes the new value, and hands the previous one back in `replaced` (the caller's
    // to keep or drop). An absent key, with the cache full, first evicts the least recently
    // used entry (see release_evicted). With capacity 0 nothing is stored and the value is
    // parked as evicted, so the returned pointer still lives until release_evicted().
    PutResult put(const Key& key, Value value)
    {
        PutResult result;
        auto it = m_index.find(key);
        if (it != m_index.end()) {
            m_entries.splice(m_entries.begin(), m_entries, it->second);
            result.replaced.emplace(std::exchange(it->second->second, std::move(value)));
            result.stored = &it->second->second;
            return result;
        }
        if (m_capacity == 0) {
            m_evicted.emplace_front(key, std::move(value));
            result.stored = &m_evicted.front().second;
            return result;
        }
        if (m_entries.size() >= m_capacity)
            evict_last();
        m_entries.emplace_front(key, std::move(value));
        m_index.emplace(key, m_entries.begin());
        result.stored = &m_entries.front().second;
        return result;
    }

    // Destroys the values evicted since the last call. Pointers to them die here.
    void release_evicted() { m_evicted.clear(); }

    size_t size() const { return m_entries.size(); }
    size_t capacity() const { return m_capacity; }
    size_t evicted_count() const { return m_evicted.size(); }
    bool contains(const Key& key) const { return m_index.count(key) != 0; }

    // Keys from the most to the least recently used.
    template <typename Callback>
    void for_each_key(Callback&& callback) const
    {
        for (const auto& entry : m_entries)
            callback(entry.first);
    }

private:
    using Entry = std::pair<Key, Value>;

    void evict_last()
    {
        auto last = std::prev(m_entries.end());
        m_index.erase(last->first);
        // splice keeps the element (and pointers to its value) alive in the parking list.
        m_evicted.splice(m_evicted.begin(), m_entries, last);
    }

    size_t m_capacity;
    std::list<Entry> m_entries; // most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> m_index;
    std::list<Entry> m_evicted;
};

#pragma once

// A thread-safe least-recently-used cache of shared immutable values, bounded by the total
// cost (bytes, say) of what it holds. Values are handed out as shared pointers, so an
// eviction never pulls data from under a request that is still sending it.

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace tileserver {

template <typename Key, typename Value, typename Hash = std::hash<Key>>
class LruCache {
public:
    explicit LruCache(size_t max_cost) : m_max_cost(max_cost) {}

    std::shared_ptr<const Value> get(const Key& key)
    {
        std::lock_guard lock(m_mutex);
        auto found = m_index.find(key);
        if (found == m_index.end()) {
            return nullptr;
        }
        m_entries.splice(m_entries.begin(), m_entries, found->second);
        return found->second->value;
    }

    // Stores the value (replacing an entry under the same key) and evicts the least recently
    // used entries until the total cost fits. A value costing more than the whole budget is
    // not kept.
    void put(const Key& key, std::shared_ptr<const Value> value, size_t cost)
    {
        std::lock_guard lock(m_mutex);
        if (auto found = m_index.find(key); found != m_index.end()) {
            m_cost -= found->second->cost;
            m_entries.erase(found->second);
            m_index.erase(found);
        }
        if (cost > m_max_cost) {
            return;
        }
        m_entries.push_front(Entry{key, std::move(value), cost});
        m_index[key] = m_entries.begin();
        m_cost += cost;
        while (m_cost > m_max_cost && !m_entries.empty()) {
            m_cost -= m_entries.back().cost;
            m_index.erase(m_entries.back().key);
            m_entries.pop_back();
        }
    }

    size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries.size();
    }

private:
    struct Entry {
        Key key;
        std::shared_ptr<const Value> value;
        size_t cost;
    };

    mutable std::mutex m_mutex;
    size_t m_max_cost;
    size_t m_cost = 0;
    std::list<Entry> m_entries; // most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator, Hash> m_index;
};

} // namespace tileserver

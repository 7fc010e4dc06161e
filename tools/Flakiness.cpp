#include "tools/Flakiness.h"

#include <cstdint>

namespace tileserver {

namespace {

// A fixed spread of paths over 0–9999, salted so that the failing and the dropping paths are
// chosen independently.
bool chosen(const std::string& path, char salt, int percent)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : std::string(1, salt) + path) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return static_cast<int>(hash % 10000u) < percent * 100;
}

} // namespace

Flakiness::Verdict Flakiness::judge(const std::string& path)
{
    if (m_options.fail_first_percent <= 0 && m_options.drop_first_percent <= 0) {
        return Verdict::Answer;
    }
    {
        std::lock_guard lock(m_mutex);
        if (!m_seen.insert(path).second) {
            return Verdict::Answer;
        }
    }
    if (chosen(path, 'd', m_options.drop_first_percent)) {
        return Verdict::Drop;
    }
    if (chosen(path, 'f', m_options.fail_first_percent)) {
        return Verdict::Fail;
    }
    return Verdict::Answer;
}

void Flakiness::reset()
{
    std::lock_guard lock(m_mutex);
    m_seen.clear();
}

} // namespace tileserver

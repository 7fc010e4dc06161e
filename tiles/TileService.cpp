#include "tiles/TileService.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <tuple>

#include <fmt/format.h>

#include "console/Console.h"
#include "tiles/TileCheck.h"
#include "tiles/WebMercator.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t MAX_LATENCY_SAMPLES = 4096;

size_t worker_count(int32_t num_threads) { return static_cast<size_t>(std::max(num_threads, 0)); }

std::vector<std::unique_ptr<HttpClient>> make_clients(size_t count, const HttpOptions& options)
{
    std::vector<std::unique_ptr<HttpClient>> clients;
    clients.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<HttpClient>(options));
    }
    return clients;
}

uint64_t cache_limit_bytes(int64_t megabytes) { return megabytes > 0 ? static_cast<uint64_t>(megabytes) << 20 : 0; }

} // namespace

TileService::TileService(const TileServerConfig& config, const HttpOptions& http, const StreamingOptions& streaming)
    : m_pattern(config.pattern),
      m_url(config.url),
      m_file_ending(config.file_ending),
      m_max_zoom(static_cast<uint32_t>(std::max(config.max_zoom, 0))),
      m_png_only(config.png_only),
      m_streaming(streaming),
      m_cache(config.cache_dir, config.cache_on_disk, cache_limit_bytes(config.cache_max_mb)),
      // The clients come first: building one initialises libcurl, before any worker runs.
      m_worker_http(make_clients(worker_count(config.num_threads), http)),
      m_sync_http(http),
      m_pool(worker_count(config.num_threads))
{
    console::print("Tile Url {}\n", m_url);
    console::print("Tile Cache Dir: {}\n", console::quoted(config.cache_dir));
    if (m_cache.enabled()) {
        console::print("Tile Cache Size: {:.1f} MiB in {} tiles\n",
                       static_cast<double>(m_cache.bytes_at_start()) / (1024.0 * 1024.0), m_cache.files_at_start());
    }
    console::print("Num Threads: {}\n", m_pool.size());
    console::print("Max Zoom: {}\n", m_max_zoom);
    if (m_cache.over_limit_at_start()) {
        m_pool.enqueue([this] { m_cache.evict(); });
    }
}

TileService::~TileService()
{
    // Transfers under way end now rather than at their time-out: against a server that does
    // not answer, every worker would otherwise hold the program's exit for up to a second.
    for (const std::unique_ptr<HttpClient>& client : m_worker_http) {
        client->cancel();
    }
    m_sync_http.cancel();
    // The workers use the slots, the mutex, the cache and the clients: they end before any
    // of them.
    m_pool.stop();
}

bool TileService::wanted(const Slot& slot, uint32_t frames) const { return slot.asked_frame + frames >= m_frame; }

void TileService::ask(Slot& slot, double priority)
{
    // Several leaves of one frame may want the same tile: the most urgent of them counts. A
    // prefetch's priority earlier in the frame ranks among prefetches only and is replaced.
    const bool viewed_now = slot.viewed && slot.viewed_frame == m_frame;
    slot.priority = viewed_now ? std::min(slot.priority, priority) : priority;
    slot.asked_frame = m_frame;
    slot.viewed_frame = m_frame;
    slot.viewed = true;
}

void TileService::enqueue(Slot& slot)
{
    slot.state = State::Queued;
    // Each task takes whichever request is most wanted when it runs, not this one.
    m_pool.enqueue([this] { run_next(); });
}

void TileService::retry_if_due(Slot& slot)
{
    if (slot.state == State::Waiting && Clock::now() >= slot.retry_at) {
        ++m_stats.retries;
        enqueue(slot);
    }
}

gfx::Image* TileService::collect(Slot& slot)
{
    if (!slot.collected) {
        slot.collected = true;
        ++m_stats.collected;
        if (slot.from_network) {
            auto& samples = m_stats.answer_to_collect_ms;
            if (samples.size() >= MAX_LATENCY_SAMPLES) {
                samples.erase(samples.begin());
            }
            samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - slot.answered_at).count());
        }
    }
    return slot.image.get();
}

Clock::duration TileService::retry_delay(uint32_t failures, long retry_after_seconds)
{
    using Seconds = std::chrono::duration<double>;
    const double first = Seconds(m_streaming.first_retry).count();
    const double most = Seconds(m_streaming.max_retry).count();
    const double doubled = first * std::ldexp(1.0, static_cast<int>(std::min<uint32_t>(failures, 32)) - 1);
    std::uniform_real_distribution<double> spread(1.0 - m_streaming.jitter, 1.0 + m_streaming.jitter);
    double delay = std::min(doubled, most) * spread(m_random);
    if (retry_after_seconds >= 0) {
        delay = std::max(delay, static_cast<double>(retry_after_seconds));
    }
    return std::chrono::duration_cast<Clock::duration>(Seconds(std::min(delay, most)));
}

gfx::Image* TileService::get_tile(TileId tile, double priority)
{
    if (tile.zoom > m_max_zoom) {
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    auto [it, inserted] = m_slots.try_emplace(tile);
    Slot& slot = it->second;
    if (inserted) {
        slot.order = m_next_order++;
    }
    ask(slot, priority);
    if (inserted) {
        enqueue(slot);
        return nullptr;
    }
    if (slot.state == State::Stored) {
        return collect(slot);
    }
    retry_if_due(slot);
    return nullptr;
}

bool TileService::prefetch(TileId tile, double priority)
{
    if (tile.zoom > m_max_zoom) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    auto it = m_slots.find(tile);
    if (it == m_slots.end()) {
        // A tile that failed keeps its retries for when the view wants it.
        if (m_failed_before.contains(tile)) {
            return false;
        }
        Slot& slot = m_slots[tile];
        slot.order = m_next_order++;
        slot.priority = priority;
        slot.asked_frame = m_frame;
        ++m_stats.prefetched;
        enqueue(slot);
        return true;
    }
    Slot& slot = it->second;
    if (!viewed_lately(slot)) {
        slot.priority = slot.asked_frame == m_frame ? std::min(slot.priority, priority) : priority;
    }
    slot.asked_frame = m_frame;
    return false;
}

gfx::Image* TileService::get_tile_sync(TileId tile)
{
    if (tile.zoom > m_max_zoom) {
        return nullptr;
    }
    std::unique_lock lock(m_mutex);
    for (;;) {
        auto [it, inserted] = m_slots.try_emplace(tile);
        Slot& slot = it->second;
        if (inserted) {
            slot.order = m_next_order++;
        }
        ask(slot, 0.0);
        if (inserted && m_failed_before.contains(tile)) {
            // It failed before and was withdrawn since: the workers try again, not this thread.
            enqueue(slot);
            return nullptr;
        }
        if (inserted) {
            slot.state = State::Fetching;
            break;
        }
        if (slot.state == State::Stored) {
            return collect(slot);
        }
        if (slot.state == State::Failed || m_failed_before.contains(tile)) {
            // A failed tile is never loaded again on this (the render) thread.
            retry_if_due(slot);
            return nullptr;
        }
        if (slot.state == State::Queued) {
            // Taken from the queue: this thread fetches it; the queued task finds nothing.
            slot.state = State::Fetching;
            break;
        }
        // A worker is loading it: wait for its result rather than fetch the tile twice.
        m_fetch_done.wait(lock);
    }
    lock.unlock();

    Fetched fetched;
    {
        std::lock_guard http_lock(m_sync_mutex);
        fetched = fetch_tile(tile, m_sync_http);
    }
    finish(tile, fetched);
    if (fetched.from_network && fetched.outcome == Outcome::Delivered) {
        if (m_pool.size() > 0) {
            m_pool.enqueue([this, tile, fetched] { cache(tile, fetched); });
        } else {
            cache(tile, fetched);
        }
    }
    lock.lock();
    auto it = m_slots.find(tile);
    return it != m_slots.end() && it->second.state == State::Stored ? collect(it->second) : nullptr;
}

void TileService::remove_tile(TileId tile)
{
    std::lock_guard lock(m_mutex);
    auto it = m_slots.find(tile);
    // A final failure stays: the tile is not asked for again in this run.
    if (it != m_slots.end() && it->second.state != State::Failed) {
        m_slots.erase(it);
    }
}

void TileService::begin_frame()
{
    std::lock_guard lock(m_mutex);
    ++m_frame;
    for (auto it = m_slots.begin(); it != m_slots.end();) {
        Slot& slot = it->second;
        bool drop = false;
        switch (slot.state) {
        case State::Queued:
            drop = !wanted(slot, m_streaming.withdraw_frames);
            m_stats.withdrawn += drop ? 1 : 0;
            break;
        case State::Waiting:
            // Retries go on only while the tile is wanted.
            drop = !wanted(slot, m_streaming.withdraw_frames);
            break;
        case State::Stored:
            drop = !wanted(slot, m_streaming.keep_frames);
            m_stats.wasted += drop && slot.from_network && !slot.collected ? 1 : 0;
            m_stats.wasted_ahead += drop && slot.from_network && !slot.collected && !slot.viewed ? 1 : 0;
            break;
        case State::Fetching:
        case State::Failed:
            break;
        }
        it = drop ? m_slots.erase(it) : std::next(it);
    }
}

bool TileService::failed_for_good(TileId tile) const
{
    if (tile.zoom > m_max_zoom) {
        return true;
    }
    std::lock_guard lock(m_mutex);
    const auto it = m_slots.find(tile);
    return it != m_slots.end() && it->second.state == State::Failed;
}

TileServiceStats TileService::stats() const
{
    std::lock_guard lock(m_mutex);
    TileServiceStats stats = m_stats;
    for (const auto& [tile, slot] : m_slots) {
        stats.stored += slot.state == State::Stored ? 1 : 0;
        stats.queued += slot.state == State::Queued ? 1 : 0;
        stats.pending += slot.state == State::Queued || slot.state == State::Fetching || slot.state == State::Waiting ? 1 : 0;
    }
    return stats;
}

void TileService::run_next()
{
    TileId tile{};
    {
        std::lock_guard lock(m_mutex);
        // Tiles the last frame asked for come first: after a jump, the queue's earlier
        // requests wait behind the new view until they are withdrawn. Among them what the view
        // wants comes before what it will want.
        const auto rank = [this](const Slot& slot) {
            return std::tuple(slot.asked_frame + 1 < m_frame, !viewed_lately(slot), slot.priority, slot.order);
        };
        Slot* best = nullptr;
        for (auto& [id, slot] : m_slots) {
            if (slot.state == State::Queued && (best == nullptr || rank(slot) < rank(*best))) {
                best = &slot;
                tile = id;
            }
        }
        if (best == nullptr) {
            return; // withdrawn, removed or taken by get_tile_sync meanwhile
        }
        best->state = State::Fetching;
    }
    const int index = ThreadPool::current_worker_index();
    if (index < 0 || static_cast<size_t>(index) >= m_worker_http.size()) {
        throw std::logic_error("tile fetch outside the service's worker pool");
    }
    const Fetched fetched = fetch_tile(tile, *m_worker_http[static_cast<size_t>(index)]);
    if (m_streaming.cache_before_publish) {
        cache(tile, fetched);
        finish(tile, fetched);
    } else {
        // Published first: the renderer may take the tile while its PNG is being encoded.
        finish(tile, fetched);
        cache(tile, fetched);
    }
}

void TileService::finish(TileId tile, const Fetched& fetched)
{
    {
        std::lock_guard lock(m_mutex);
        const bool delivered = fetched.outcome == Outcome::Delivered;
        if (delivered) {
            m_stats.fetched += fetched.from_network ? 1 : 0;
            m_stats.from_disk += fetched.from_network ? 0 : 1;
        } else {
            m_failed_before.insert(tile);
        }
        auto it = m_slots.find(tile);
        // Removed meanwhile, or already stored by another fetch: the first stored image stays,
        // a caller may hold it.
        const bool open = it != m_slots.end() && it->second.state != State::Stored && it->second.state != State::Failed;
        if (!open) {
            m_stats.wasted += delivered && fetched.from_network ? 1 : 0;
        } else {
            Slot& slot = it->second;
            const bool still_wanted = wanted(slot, m_streaming.withdraw_frames);
            switch (fetched.outcome) {
            case Outcome::Delivered:
                if (still_wanted) {
                    slot.state = State::Stored;
                    slot.image = fetched.image;
                    slot.from_network = fetched.from_network;
                    slot.answered_at = fetched.answered_at;
                } else {
                    // Withdrawn while on the wire: cached, not kept in memory.
                    m_stats.wasted += fetched.from_network ? 1 : 0;
                    m_stats.wasted_ahead += fetched.from_network && !slot.viewed ? 1 : 0;
                    m_slots.erase(it);
                }
                break;
            case Outcome::Passing:
                if (still_wanted) {
                    slot.state = State::Waiting;
                    slot.failures += 1;
                    slot.retry_at = Clock::now() + retry_delay(slot.failures, fetched.retry_after_seconds);
                } else {
                    m_slots.erase(it);
                }
                break;
            case Outcome::Final:
                slot.state = State::Failed;
                break;
            }
        }
    }
    m_fetch_done.notify_all();
}

// How the tile service streams, against the local tile server on loopback: retries,
// priorities, withdrawal, the bounded store and the blocking path.

#include "tiles/TileService.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Predicate>
bool wait_until(Predicate predicate, std::chrono::milliseconds timeout = 20000ms)
{
    const auto deadline = Clock::now() + timeout;
    while (!predicate()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::string path_of(TileId t) { return fmt::format("/imagery/{}/{}/{}.png", t.zoom, t.x, t.y); }

const TileId A{10, 544, 359};
const TileId B{10, 545, 359};
const TileId C{10, 546, 359};
const TileId D{10, 547, 359};

class StreamingTest : public ::testing::Test {
protected:
    TileServerConfig config(const support::TileServer& server, const std::string& prefix, int32_t threads) const
    {
        TileServerConfig c;
        c.url = server.base_url() + prefix + "/imagery";
        c.pattern = TilePattern::ZXY_Y_SOUTH;
        c.file_ending = ".png";
        c.cache_dir = m_dir / "cache";
        c.num_threads = threads;
        return c;
    }
    // Retries due at once and without jitter, so that the order of events is fixed.
    static StreamingOptions immediate_retries()
    {
        StreamingOptions options;
        options.first_retry = 0ms;
        options.jitter = 0.0;
        return options;
    }
    static HttpOptions patient_http()
    {
        HttpOptions options;
        options.timeout_ms = 8000; // ThreadSanitizer and a busy machine: behaviour, not speed
        return options;
    }

    support::TempDir m_dir{"wh-streaming"};
    console::Capture m_console;
};

} // namespace

TEST_F(StreamingTest, PassingFailuresAreRetriedOthersAreFinal)
{
    // Every path's first request answers 503.
    support::TileServer server({"--flaky-first", "100"});
    TileService service(config(server, "", 1), patient_http(), immediate_retries());
    gfx::Image* image = nullptr;
    ASSERT_TRUE(wait_until([&] { return (image = service.get_tile(A)) != nullptr; })) << m_console.err();
    EXPECT_TRUE(image->valid());
    EXPECT_EQ(server.stats().paths, (std::vector<std::string>{path_of(A), path_of(A)}));
    EXPECT_EQ(m_console.err(), "Error 503 \"" + server.base_url() + path_of(A) + "\"\n");

    // 503, then 404: the 404 is final. B waits behind A on the one worker and fails twice as
    // well; had A's 404 been retried, that try would have come before B's second.
    server.reset_stats();
    m_console.clear();
    TileServerConfig not_cached = config(server, "/status/404", 1);
    not_cached.cache_on_disk = false; // A is in the cache folder now
    TileService missing(not_cached, patient_http(), immediate_retries());
    const std::string a_path = "/status/404" + path_of(A);
    const std::string b_404 = "Error 404 \"" + server.base_url() + "/status/404" + path_of(B) + "\"\n";
    ASSERT_TRUE(wait_until([&] {
        missing.get_tile(A, 0.0);
        missing.get_tile(B, 1.0);
        return m_console.err().find(b_404) != std::string::npos;
    })) << m_console.err();
    const std::vector<std::string> paths = server.stats().paths;
    EXPECT_EQ(std::count(paths.begin(), paths.end(), a_path), 2) << "one 503, one 404, no third try";
    EXPECT_EQ(count(m_console.err(), "Error 404"), 2u) << m_console.err();
}

TEST_F(StreamingTest, RetryAfterIsHonoured)
{
    support::TileServer server({"--flaky-first", "100", "--retry-after", "1"});
    TileService service(config(server, "", 1), patient_http(), immediate_retries());
    const auto start = Clock::now();
    ASSERT_TRUE(wait_until([&] { return service.get_tile(A) != nullptr; })) << m_console.err();
    EXPECT_GE(Clock::now() - start, 1s) << "the retry waited for the server's Retry-After, not the 0 ms back-off";
    EXPECT_EQ(server.stats().paths.size(), 2u);
}

TEST_F(StreamingTest, MostWantedFirstAndWithdrawnNeverFetched)
{
    support::TileServer server({"--latency-ms", "150"});
    StreamingOptions options;
    options.withdraw_frames = 2;
    TileService service(config(server, "", 1), patient_http(), options);
    service.get_tile(A);
    ASSERT_TRUE(wait_until([&] { return !server.stats().paths.empty(); })) << "A is on the wire";
    // Queued behind A: B least wanted, C most; D is no longer asked for after this frame.
    service.get_tile(B, 5.0);
    service.get_tile(C, 1.0);
    service.get_tile(D, 2.0);
    EXPECT_EQ(std::pair(service.stats().pending, service.stats().queued), std::pair(uint64_t(4), uint64_t(3)))
        << "pending: A on the wire and the three queued";
    for (uint32_t frame = 0; frame <= options.withdraw_frames; ++frame) {
        service.begin_frame();
        service.get_tile(B, 5.0);
        service.get_tile(C, 1.0);
    }
    ASSERT_TRUE(wait_until([&] { return service.get_tile(B, 5.0) != nullptr; })) << m_console.err();
    EXPECT_NE(service.get_tile(C, 1.0), nullptr);
    EXPECT_EQ(server.stats().paths, (std::vector<std::string>{path_of(A), path_of(C), path_of(B)}));
    EXPECT_EQ(service.stats().withdrawn, 1u);

    // A withdrawn tile is requested anew when it is wanted again.
    ASSERT_TRUE(wait_until([&] { return service.get_tile(D) != nullptr; })) << m_console.err();
    EXPECT_EQ(service.stats().pending, 0u);
}

TEST_F(StreamingTest, StoreShrinksWhenImagesAreNotCollected)
{
    support::TileServer server;
    StreamingOptions options;
    options.keep_frames = 3;
    TileService service(config(server, "", 2), patient_http(), options);
    std::vector<TileId> tiles;
    for (uint32_t i = 0; i < 24; ++i)
        tiles.push_back(TileId{12, 2170 + i % 6, 1430 + i / 6});
    for (const TileId& t : tiles)
        service.get_tile(t);
    ASSERT_TRUE(wait_until([&] { return service.stats().stored == tiles.size(); })) << m_console.err();
    for (uint32_t frame = 0; frame <= options.keep_frames; ++frame)
        service.begin_frame();
    EXPECT_EQ(service.stats().stored, 0u);
    EXPECT_EQ(service.stats().wasted, tiles.size()) << "all came over HTTP and none was taken";
    // Dropped, not forgotten for good: asked again, it comes back (from the disk cache).
    ASSERT_TRUE(wait_until([&] { return service.get_tile(tiles[0]) != nullptr; })) << m_console.err();
    EXPECT_EQ(service.stats().from_disk, 1u);
}

TEST_F(StreamingTest, BlockingLoadKeepsTheFirstImageAndNeverHoldsTheWorkersBack)
{
    support::TileServer server({"--latency-ms", "300"});
    const TileServerConfig c = config(server, "", 1);
    TileService service(c, patient_http());
    // Queued for the worker, then wanted at once: the blocking load shares the worker's
    // fetch, and the image it returns stays the one stored.
    service.get_tile(A);
    gfx::Image* first = service.get_tile_sync(A);
    ASSERT_NE(first, nullptr) << m_console.err();
    ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(c.cache_dir / "z=10, x=544, y=359.png"); }));
    EXPECT_EQ(service.get_tile(A), first);
    EXPECT_EQ(server.stats().paths, std::vector<std::string>{path_of(A)});

    // While a blocking load waits on the network, a worker stores a tile from the disk cache.
    std::filesystem::copy_file(c.cache_dir / "z=10, x=544, y=359.png", c.cache_dir / "z=10, x=545, y=359.png");
    std::atomic<bool> blocking_done = false;
    std::thread blocking([&] {
        EXPECT_NE(service.get_tile_sync(C), nullptr);
        blocking_done = true;
    });
    ASSERT_TRUE(wait_until([&] { return server.stats().paths.size() == 2; })) << "C is on the wire";
    ASSERT_TRUE(wait_until([&] { return service.get_tile(B) != nullptr; }));
    EXPECT_FALSE(blocking_done) << "B was stored while the blocking load of C was still waiting";
    blocking.join();
}

TEST_F(StreamingTest, FailedTileIsNotLoadedAgainOnTheCallingThread)
{
    support::TileServer server;
    TileService service(config(server, "/status/500", 0), patient_http());
    EXPECT_EQ(service.get_tile_sync(A), nullptr);
    EXPECT_EQ(service.get_tile_sync(A), nullptr);
    EXPECT_EQ(server.stats().paths.size(), 1u);
    EXPECT_EQ(count(m_console.err(), "Error 500"), 1u) << m_console.err();
}

// Tiles asked for ahead of need go out through the service's own two workers (never a third
// request at once), after what the view wants, and stay stored for the view, uncollected.
TEST_F(StreamingTest, PrefetchedTilesWaitBehindWantedOnesOnTheSameWorkersAndStayUncollected)
{
    support::TileServer server({"--latency-ms", "100"});
    TileService service(config(server, "", 2), patient_http());
    const std::vector<TileId> ahead = {A, B, C, D, {10, 548, 359}, {10, 549, 359}};
    const TileId wanted{10, 550, 359};
    for (size_t i = 0; i < ahead.size(); ++i)
        EXPECT_TRUE(service.prefetch(ahead[i], double(i)));
    EXPECT_EQ(service.get_tile(wanted, 99.0), nullptr);
    EXPECT_FALSE(service.prefetch(A, 0.0)) << "requested already";
    int64_t most_at_once = 0;
    ASSERT_TRUE(wait_until([&] {
        // The server's count first: a request it saw can only have been answered since.
        const int64_t requests = server.stats().requests;
        const TileServiceStats stats = service.stats();
        most_at_once = std::max(most_at_once, requests - int64_t(stats.fetched));
        return stats.stored == ahead.size() + 1;
    })) << m_console.err();
    EXPECT_LE(most_at_once, 2);
    const std::vector<std::string> paths = server.stats().paths;
    EXPECT_LE(std::find(paths.begin(), paths.end(), path_of(wanted)) - paths.begin(), 2)
        << "only the two prefetches on the wire before it was wanted went first";
    EXPECT_EQ(std::pair(service.stats().collected, service.stats().prefetched), std::pair(uint64_t(0), uint64_t(ahead.size())));
    EXPECT_NE(service.get_tile(C), nullptr) << "stored for the view";
    EXPECT_EQ(service.stats().collected, 1u);
}

// No answer at all (status 0) is no final answer: a time-out and a refused connection are both
// tried again.
TEST_F(StreamingTest, NoAnswerAtAllIsTriedAgain)
{
    support::TileServer server;
    TileServerConfig timed_out = config(server, "/slow/2000", 1);
    TileServerConfig refused = config(server, "", 1);
    refused.url = "http://127.0.0.1:1/imagery"; // nothing listens on port 1
    for (const auto& [c, reason] : {std::pair{timed_out, std::string("time-out")}, std::pair{refused, std::string("connection refused")}}) {
        HttpOptions quick;
        quick.timeout_ms = 300;
        TileService service(c, quick, immediate_retries());
        m_console.clear();
        const std::string line = "Error 0 \"" + c.url + path_of(A).substr(8) + "\": " + reason + "\n";
        ASSERT_TRUE(wait_until([&] {
            service.get_tile(A);
            return count(m_console.err(), line) >= 3;
        })) << m_console.err();
        EXPECT_FALSE(service.failed_for_good(A)) << reason;
    }
}

// Each retry waits twice as long as the one before (no jitter here): 100, 200, 400, 800 ms.
TEST_F(StreamingTest, RetriesBackOff)
{
    support::TileServer server;
    StreamingOptions options;
    options.first_retry = 100ms;
    options.jitter = 0.0;
    TileService service(config(server, "/status/503", 1), patient_http(), options);
    std::vector<Clock::time_point> tries;
    ASSERT_TRUE(wait_until([&] {
        service.get_tile(A);
        const size_t seen = server.stats().paths.size();
        while (tries.size() < seen)
            tries.push_back(Clock::now());
        return tries.size() >= 5;
    }, 20000ms)) << m_console.err();
    std::vector<double> gaps_ms;
    for (size_t i = 1; i < tries.size(); ++i)
        gaps_ms.push_back(std::chrono::duration<double, std::milli>(tries[i] - tries[i - 1]).count());
    // Each gap is its back-off plus the polling and the answer; the last would be about 100 ms
    // if every retry waited the first delay.
    EXPECT_GE(gaps_ms[3], 700.0) << ::testing::PrintToString(gaps_ms);
    EXPECT_GE(gaps_ms[2], 350.0) << ::testing::PrintToString(gaps_ms);
    EXPECT_GT(gaps_ms[3], 1.5 * gaps_ms[1]) << ::testing::PrintToString(gaps_ms);
    EXPECT_FALSE(service.failed_for_good(A)) << "still retrying";
}

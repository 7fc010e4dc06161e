// The local tile server over HTTP: start-up, the four tile layers, the failure prefixes, the
// statistics, unknown URLs, options and shutdown.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "gfx/Image.h"
#include "tests/support/Process.h"
#include "tests/support/TileServer.h"

using namespace std::chrono_literals;

namespace {

// Width and height from a PNG's header, without decoding (the big image is larger than the
// program's decoder accepts, on purpose).
bool png_size(const std::string& body, uint32_t& width, uint32_t& height)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (body.size() < 24 || std::memcmp(body.data(), signature, 8) != 0 || body.compare(12, 4, "IHDR") != 0) {
        return false;
    }
    auto be32 = [&](size_t at) {
        auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(body[at + i])); };
        return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
    };
    width = be32(16);
    height = be32(20);
    return true;
}

gfx::Image decode(const std::string& body)
{
    return gfx::Image(reinterpret_cast<const unsigned char*>(body.data()), body.size());
}

class TileServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<support::TileServer>(); }
    static void TearDownTestSuite() { server.reset(); }
    void SetUp() override { server->reset_stats(); }

    static std::unique_ptr<support::TileServer> server;
};

std::unique_ptr<support::TileServer> TileServerTest::server;

} // namespace

TEST_F(TileServerTest, PrintsExactlyOneListeningLineWithItsPort)
{
    EXPECT_GT(server->port(), 0);
    EXPECT_EQ(server->process().out(), "Listening on http://127.0.0.1:" + std::to_string(server->port()) + "\n");
}

TEST_F(TileServerTest, EveryLayerAnswersA256PixelImageOfItsType)
{
    struct Case {
        std::string path;
        std::string content_type;
    };
    const Case cases[] = {
        {"/imagery/12/2177/1436.png", "image/png"},
        {"/imagery/12/2177/1436.jpg", "image/jpeg"},
        {"/elevation/rg/12/2177/1436.png", "image/png"},
        {"/elevation/byte/12/2177/1436.png", "image/png"},
        {"/imagery/0/0/0.jpg", "image/jpeg"},
        {"/elevation/rg/17/69668/45963.png", "image/png"},
    };
    for (const Case& c : cases) {
        support::HttpResult answer = server->get(c.path);
        ASSERT_EQ(answer.status, 200) << c.path;
        EXPECT_EQ(answer.header("Content-Type"), c.content_type) << c.path;
        gfx::Image image = decode(answer.body);
        ASSERT_TRUE(image.valid()) << c.path;
        EXPECT_EQ(image.width, 256) << c.path;
        EXPECT_EQ(image.height, 256) << c.path;
    }
}

TEST_F(TileServerTest, RepeatedRequestsGiveTheSameBytes)
{
    support::HttpResult first = server->get("/elevation/rg/11/1088/718.png");
    support::HttpResult second = server->get("/elevation/rg/11/1088/718.png");
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.body, second.body);
}

TEST_F(TileServerTest, FailurePrefixesAnswerAsAsked)
{
    enum class Body { Tile, NotImage, Text, None, BigPng };
    struct Case {
        std::string path;
        int status;
        Body body;
        std::string location; // for redirects
    };
    const Case cases[] = {
        {"/status/404/imagery/3/4/2.png", 404, Body::Text, ""},
        {"/status/500/elevation/rg/3/4/2.png", 500, Body::Text, ""},
        {"/status/503/imagery/3/4/2.jpg", 503, Body::Text, ""},
        {"/status/200/imagery/3/4/2.png", 200, Body::Tile, ""},
        {"/corrupt/imagery/3/4/2.png", 200, Body::NotImage, ""},
        {"/corrupt/elevation/byte/3/4/2.png", 200, Body::NotImage, ""},
        {"/bigimage/imagery/3/4/2.png", 200, Body::BigPng, ""},
        {"/redirect/2/imagery/3/4/2.png", 302, Body::None, "/redirect/1/imagery/3/4/2.png"},
        {"/redirect/1/imagery/3/4/2.png", 302, Body::None, "/imagery/3/4/2.png"},
        {"/redirect/0/imagery/3/4/2.png", 200, Body::Tile, ""},
        {"/slow/1/imagery/3/4/2.png", 200, Body::Tile, ""},
        {"/slow/1/status/502/imagery/3/4/2.png", 502, Body::Text, ""},
        {"/status/200/corrupt/imagery/3/4/2.png", 200, Body::NotImage, ""},
    };
    for (const Case& c : cases) {
        support::HttpResult answer = server->get(c.path);
        EXPECT_EQ(answer.status, c.status) << c.path;
        switch (c.body) {
        case Body::Tile: {
            gfx::Image image = decode(answer.body);
            EXPECT_TRUE(image.valid() && image.width == 256 && image.height == 256) << c.path;
            break;
        }
        case Body::NotImage:
            EXPECT_FALSE(answer.body.empty()) << c.path;
            EXPECT_FALSE(decode(answer.body).valid()) << c.path;
            break;
        case Body::Text:
            EXPECT_FALSE(decode(answer.body).valid()) << c.path;
            break;
        case Body::None:
            EXPECT_NE(answer.header("Location").find(c.location), std::string::npos)
                << c.path << " redirected to " << answer.header("Location");
            break;
        case Body::BigPng: {
            uint32_t width = 0;
            uint32_t height = 0;
            ASSERT_TRUE(png_size(answer.body, width, height)) << c.path;
            EXPECT_EQ(width, 5000u);
            EXPECT_EQ(height, 16u);
            break;
        }
        }
    }
}

TEST_F(TileServerTest, RedirectsLeadToTheTileAfterTheGivenNumberOfHops)
{
    support::HttpResult answer = server->get("/redirect/3/elevation/rg/5/17/11.png", /*follow_redirects=*/true);
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, server->get("/elevation/rg/5/17/11.png").body);
    support::TileServerStats stats = server->stats();
    const std::vector<std::string> expected = {
        "/redirect/3/elevation/rg/5/17/11.png", "/redirect/2/elevation/rg/5/17/11.png",
        "/redirect/1/elevation/rg/5/17/11.png", "/elevation/rg/5/17/11.png", "/elevation/rg/5/17/11.png"};
    EXPECT_EQ(stats.paths, expected);
}

TEST_F(TileServerTest, HugeAnswersSixteenMebibytesChunkedWithoutLength)
{
    support::HttpResult answer = server->get("/huge/imagery/3/4/2.png");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body.size(), 16u << 20);
    EXPECT_EQ(answer.header("Content-Length"), "");
    EXPECT_EQ(answer.header("Transfer-Encoding"), "chunked");
}

TEST_F(TileServerTest, SlowWaitsAtLeastTheGivenTime)
{
    auto start = std::chrono::steady_clock::now();
    support::HttpResult answer = server->get("/slow/300/imagery/2/2/1.png");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(answer.status, 200);
}

TEST_F(TileServerTest, StatsCountTileRequestsAndListPathsInOrderUntilReset)
{
    const std::vector<std::string> paths = {"/imagery/4/8/5.png", "/elevation/byte/4/8/5.png", "/status/404/imagery/4/8/5.png",
                                            "/imagery/4/8/5.jpg"};
    for (const std::string& path : paths) {
        server->get(path);
    }
    support::TileServerStats stats = server->stats();
    EXPECT_EQ(stats.requests, 4);
    EXPECT_EQ(stats.unexpected, 0);
    EXPECT_EQ(stats.paths, paths);

    server->reset_stats();
    stats = server->stats();
    EXPECT_EQ(stats.requests, 0);
    EXPECT_EQ(stats.unexpected, 0);
    EXPECT_TRUE(stats.paths.empty());
}

TEST_F(TileServerTest, UnknownUrlsAnswer404AndAreCountedAsUnexpected)
{
    const std::vector<std::string> unknown = {
        "/",
        "/favicon.ico",
        "/imagery/3/8/0.png",            // x beyond the zoom's grid
        "/imagery/3/0/8.png",            // y beyond the zoom's grid
        "/imagery/25/0/0.png",           // zoom beyond the served range
        "/imagery/3/1/1.gif",
        "/imagery/3/1/1",
        "/imagery/3/1.png",
        "/imagery/3/1/1.png/extra",
        "/imagery//1/1.png",
        "/imagery/3/+1/1.png",
        "/imagery/3/-1/1.png",
        "/imagery/3/1/1x.png",
        "/elevation/3/1/1.png",
        "/elevation/xyz/3/1/1.png",
        "/elevation/rg/3/1/1.jpg",
        "/status/99/imagery/3/1/1.png",  // not a status to answer
        "/status/600/imagery/3/1/1.png",
        "/status/abc/imagery/3/1/1.png",
        "/status/404",                    // a prefix without a route
        "/slow/9999999/imagery/3/1/1.png",
        "/corrupt/nothing",
        "/stats/other",
    };
    for (const std::string& path : unknown) {
        EXPECT_EQ(server->get(path).status, 404) << path;
    }
    support::TileServerStats stats = server->stats();
    EXPECT_EQ(stats.requests, 0);
    EXPECT_EQ(stats.unexpected, static_cast<int64_t>(unknown.size()));
    EXPECT_EQ(stats.paths, unknown);
}

TEST_F(TileServerTest, StatsKeepOnlyTheLatestTenThousandPaths)
{
    // Keep-alive connections on a few threads make ten thousand requests quick.
    constexpr int threads = 4;
    constexpr int per_thread = 2600;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < per_thread; ++i) {
                server->get("/nothing/" + std::to_string(t) + "/" + std::to_string(i));
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    support::TileServerStats stats = server->stats();
    EXPECT_EQ(stats.unexpected, threads * per_thread);
    EXPECT_EQ(stats.paths.size(), 10000u);
}

TEST(TileServerProcess, LatencyOptionDelaysEveryTileAnswer)
{
    support::TileServer slow({.latency_ms = 250});
    for (const char* path : {"/imagery/1/0/0.png", "/status/404/imagery/1/0/0.png"}) {
        auto start = std::chrono::steady_clock::now();
        support::HttpResult answer = slow.get(path);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms) << path;
        EXPECT_NE(answer.status, 0) << path;
    }
}

TEST(TileServerProcess, StopsCleanlyOnSigtermAndSigint)
{
    for (int sig : {SIGTERM, SIGINT}) {
        support::TileServer server;
        ASSERT_EQ(server.get("/imagery/2/1/1.png").status, 200);
        server.process().signal(sig);
        support::ExitStatus status = server.process().wait(10s);
        EXPECT_TRUE(status.success()) << "signal " << sig << ": " << status.describe() << server.process().err();
    }
}

TEST(TileServerProcess, StopsPromptlyWhileAnswersAreHeldBack)
{
    support::TileServer server;
    std::thread client([&server] { server.get("/slow/600000/imagery/1/0/0.png"); });
    // Wait until the server has the request, then stop it: the held answer must not hold up
    // the stop for its ten minutes.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (server.stats().requests == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(server.stats().requests, 1);
    support::ExitStatus status = server.stop(std::chrono::milliseconds(8000));
    client.join();
    EXPECT_TRUE(status.success()) << status.describe() << server.process().err();
}

TEST(TileServerProcess, TwoServersGetDifferentPortsAndABusyPortIsReported)
{
    support::TileServer first;
    support::TileServer second;
    EXPECT_NE(first.port(), second.port());

    support::ProcessOptions options;
    options.args = {"--port", std::to_string(first.port())};
    support::Process clash(support::TileServerOptions::default_tileserver_path(), options);
    support::ExitStatus status = clash.wait(10s);
    EXPECT_TRUE(status.exited) << status.describe();
    EXPECT_EQ(status.code, 1);
    EXPECT_NE(clash.err().find("could not listen on 127.0.0.1:" + std::to_string(first.port())), std::string::npos)
        << clash.err();
    EXPECT_EQ(clash.out(), "");
}

TEST(TileServerProcess, CommandLineIsChecked)
{
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out_text;
        std::string err_text;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: wh_tileserver [--port N] [--latency-ms N]", ""},
        {{"--bogus"}, 2, "", "unknown option \"--bogus\""},
        {{"--port"}, 2, "", "--port needs a value"},
        {{"--port", "70000"}, 2, "", "invalid value \"70000\" for --port"},
        {{"--port", "-1"}, 2, "", "invalid value \"-1\" for --port"},
        {{"--latency-ms", "ten"}, 2, "", "invalid value \"ten\" for --latency-ms"},
    };
    for (const Case& c : cases) {
        support::ProcessOptions options;
        options.args = c.args;
        support::Process process(support::TileServerOptions::default_tileserver_path(), options);
        support::ExitStatus status = process.wait(10s);
        std::string label = c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : "");
        EXPECT_TRUE(status.exited) << label << ": " << status.describe();
        EXPECT_EQ(status.code, c.code) << label;
        EXPECT_NE(process.out().find(c.out_text), std::string::npos) << label << ": " << process.out();
        EXPECT_NE(process.err().find(c.err_text), std::string::npos) << label << ": " << process.err();
    }
}

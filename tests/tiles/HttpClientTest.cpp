// The libcurl client against the real local tile server.

#include "tiles/HttpClient.h"

#include <gtest/gtest.h>

#include "tests/support/TileServer.h"

namespace {

class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new support::TileServer(); }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    static std::string url(const std::string& path) { return s_server->base_url() + path; }

    static HttpOptions options(size_t max_body_bytes = HttpOptions{}.max_body_bytes, bool reuse = true)
    {
        HttpOptions o;
        o.timeout_ms = 8000; // behaviour, not speed: the tests run under sanitizers on busy machines
        o.max_body_bytes = max_body_bytes;
        o.reuse_connections = reuse;
        return o;
    }

private:
    static inline support::TileServer* s_server = nullptr;
};

const std::string TILE = "/imagery/10/544/359.png";

} // namespace

TEST_F(HttpClientTest, Defaults)
{
    const HttpOptions defaults;
    EXPECT_EQ(defaults.timeout_ms, 1000);
    EXPECT_EQ(defaults.max_redirects, 5);
    EXPECT_EQ(defaults.max_body_bytes, 8u * 1024 * 1024);
    EXPECT_TRUE(defaults.reuse_connections);
}

TEST_F(HttpClientTest, GetsATileAndReportsStatuses)
{
    HttpClient client(options());
    const HttpResponse tile = client.get(url(TILE));
    EXPECT_EQ(tile.status, 200) << tile.error;
    ASSERT_GT(tile.body.size(), 8u);
    EXPECT_EQ(tile.body[1], 'P');
    EXPECT_FALSE(tile.too_large);
    EXPECT_EQ(tile.error, "");

    struct Case {
        std::string path;
        long status;
    };
    for (const Case& c : {Case{"/status/404" + TILE, 404}, Case{"/status/500" + TILE, 500},
                          Case{"/no/such/route", 404}, Case{"/redirect/3" + TILE, 200},
                          Case{"/redirect/6" + TILE, 302}}) {
        const HttpResponse r = client.get(url(c.path));
        EXPECT_EQ(r.status, c.status) << c.path << " " << r.error;
    }
}

TEST_F(HttpClientTest, OnlyHttpAndHttpsAreSpoken)
{
    HttpClient client(options());
    for (const std::string& target : {std::string("file:///etc/hostname"), std::string("ftp://127.0.0.1/x"),
                                      std::string("gopher://127.0.0.1/"), std::string("")}) {
        const HttpResponse r = client.get(target);
        EXPECT_EQ(r.status, 0) << target;
        EXPECT_TRUE(r.body.empty()) << target;
        EXPECT_NE(r.error, "") << target;
    }
}

TEST_F(HttpClientTest, RefusedConnectionIsStatusZero)
{
    // Port 1 on loopback: nothing listens there in a test environment.
    HttpClient client(options());
    const HttpResponse r = client.get("http://127.0.0.1:1/imagery/1/0/0.png");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.error, "");
}

TEST_F(HttpClientTest, BodiesAboveTheBoundAreDropped)
{
    struct Case {
        std::string path;
        size_t limit;
        bool too_large;
    };
    const std::vector<Case> cases{
        {"/huge" + TILE, 1024 * 1024, true},          // chunked, no length: counted while it arrives
        {"/huge" + TILE, HttpOptions{}.max_body_bytes, true}, // the default bound
        {TILE, 1000, true},                            // announced length above the bound
        {TILE, 4 * 1024 * 1024, false},
    };
    for (const Case& c : cases) {
        HttpClient client(options(c.limit));
        const HttpResponse r = client.get(url(c.path));
        EXPECT_EQ(r.too_large, c.too_large) << c.path << " limit " << c.limit << ": " << r.error;
        if (c.too_large) {
            EXPECT_TRUE(r.body.empty()) << c.path;
            EXPECT_EQ(r.status, 200) << c.path;
        } else {
            EXPECT_EQ(r.status, 200) << c.path;
            EXPECT_FALSE(r.body.empty()) << c.path;
        }
        // The handle is still good for the next request.
        if (c.limit >= 1024 * 1024) {
            EXPECT_EQ(client.get(url(TILE)).status, 200);
        }
    }
}

TEST_F(HttpClientTest, ConnectionsAreKeptUnlessAskedOtherwise)
{
    HttpClient keep(options());
    EXPECT_EQ(keep.get(url(TILE)).new_connections, 1);
    for (int i = 0; i < 3; ++i) {
        const HttpResponse r = keep.get(url(TILE));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.new_connections, 0) << "request " << i << " reuses the open connection";
    }
    HttpClient fresh(options(HttpOptions{}.max_body_bytes, false));
    for (int i = 0; i < 3; ++i) {
        const HttpResponse r = fresh.get(url(TILE));
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.new_connections, 1) << "request " << i << " opens its own connection";
    }
}

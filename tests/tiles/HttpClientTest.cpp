// The libcurl client against the local tile server.

#include "tiles/HttpClient.h"

#include <gtest/gtest.h>

#include "tests/support/Support.h"

namespace {

const std::string TILE = "/imagery/10/544/359.png";

std::string url(const std::string& path)
{
    static const support::TileServer server;
    return server.base_url() + path;
}

// A patient time-out: the tests also run under the sanitizers on a busy machine.
HttpOptions options(size_t max_body_bytes = 8 << 20, long timeout_ms = 8000, bool reuse = true)
{
    return {timeout_ms, 5, max_body_bytes, reuse};
}

TEST(HttpClient, StatusesRedirectsBodyBoundsAndSchemes)
{
    const HttpOptions defaults;
    EXPECT_EQ(std::tuple(defaults.timeout_ms, defaults.max_redirects, defaults.max_body_bytes, defaults.reuse_connections),
              std::tuple(1000, 5, size_t(8) << 20, true));
    struct Case { std::string path; HttpOptions options; long status; bool too_large; };
    const Case cases[] = {
        {TILE, options(), 200, false},           {"/status/404" + TILE, options(), 404, false},
        {"/no/such/route", options(), 404, false}, {"/status/500" + TILE, options(), 500, false},
        {"/redirect/5" + TILE, options(), 200, false}, {"/redirect/6" + TILE, options(), 302, false},
        {"/huge" + TILE, options(), 200, true},   {TILE, options(1000), 200, true}, // no length / a length above
        {"/slow/1500" + TILE, options(8 << 20, 300), 0, false},
    };
    for (const Case& c : cases) {
        HttpClient client(c.options);
        const HttpResponse r = client.get(url(c.path));
        EXPECT_EQ(std::tuple(r.status, r.too_large, r.body.size() > 8 && r.body[1] == 'P'),
                  std::tuple(c.status, c.too_large, c.status == 200 && !c.too_large)) << c.path << " " << r.error;
        EXPECT_TRUE(c.status == 0 || client.get(url(TILE)).status == 200) << "the client still works after " << c.path;
    }
    HttpClient client(options());
    for (std::string target : {"file:///etc/hostname", "ftp://127.0.0.1/x", "", "http://127.0.0.1:1/a.png"}) {
        const HttpResponse r = client.get(target);
        EXPECT_TRUE(r.status == 0 && r.body.empty() && !r.error.empty()) << target;
    }
}

TEST(HttpClient, ConnectionsAreKeptUnlessAskedOtherwise)
{
    HttpClient keep(options()), fresh(options(8 << 20, 8000, false));
    EXPECT_EQ(keep.get(url(TILE)).new_connections, 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::pair(keep.get(url(TILE)).new_connections, fresh.get(url(TILE)).new_connections), std::pair(0L, 1L));
}

} // namespace

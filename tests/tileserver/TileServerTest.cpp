// The local tile server: its routes, failure prefixes and request statistics over HTTP.

#include <gtest/gtest.h>

#include "gfx/Image.h"
#include "tests/support/Support.h"

namespace {

TEST(TileServer, RoutesAndFailurePrefixesAnswerAsAsked)
{
    support::TileServer server;
    EXPECT_EQ(server.process().out(), "Listening on " + server.base_url() + "\n");
    struct Case { std::string path; int status; bool tile; std::string type; };
    const Case cases[] = {
        {"/imagery/12/2177/1436.png", 200, true, "image/png"},    {"/imagery/0/0/0.jpg", 200, true, "image/jpeg"},
        {"/elevation/rg/17/69668/45963.png", 200, true, "image/png"}, {"/elevation/byte/12/2177/1436.png", 200, true, "image/png"},
        {"/status/200/imagery/3/4/2.png", 200, true, "image/png"}, {"/redirect/0/imagery/3/4/2.png", 200, true, "image/png"},
        {"/status/503/imagery/3/4/2.jpg", 503, false, ""},        {"/slow/1/status/502/imagery/3/4/2.png", 502, false, ""},
        {"/corrupt/elevation/byte/3/4/2.png", 200, false, ""},    {"/redirect/2/imagery/3/4/2.png", 302, false, ""},
        // unknown URLs: outside the zoom's grid, beyond the zooms served, bad extensions and prefixes
        {"/", 404, false, ""}, {"/imagery/3/8/0.png", 404, false, ""}, {"/imagery/25/0/0.png", 404, false, ""},
        {"/imagery/3/1/1.gif", 404, false, ""}, {"/elevation/rg/3/1/1.jpg", 404, false, ""},
        {"/status/99/imagery/3/1/1.png", 404, false, ""}, {"/status/404", 404, false, ""},
        {"/slow/9999999/imagery/3/1/1.png", 404, false, ""},
    };
    std::vector<std::string> paths;
    for (const Case& c : cases) {
        const support::HttpResult answer = server.get(c.path);
        const gfx::Image image(reinterpret_cast<const unsigned char*>(answer.body.data()), answer.body.size());
        EXPECT_EQ(std::tuple(answer.status, image.valid() && image.width == 256 && image.height == 256), std::tuple(c.status, c.tile))
            << c.path;
        const auto type = answer.headers.find("Content-Type");
        EXPECT_TRUE(c.type.empty() || (type != answer.headers.end() && type->second == c.type)) << c.path;
        paths.push_back(c.path);
    }
    EXPECT_EQ(server.get("/redirect/2/imagery/3/4/2.png").headers.find("Location")->second.find("/redirect/1/imagery/3/4/2.png"), 0u);
    const support::HttpResult huge = server.get("/huge/imagery/3/4/2.png");
    EXPECT_EQ(std::tuple(huge.body.size(), huge.headers.count("Content-Length")), std::tuple(size_t(16) << 20, size_t(0)));
    EXPECT_EQ(server.get("/bigimage/imagery/3/4/2.png").body.substr(12, 12), std::string("IHDR\0\0\x13\x88\0\0\0\x10", 12)) << "5000 x 16";
    EXPECT_EQ(server.get("/elevation/rg/9/272/179.png").body, server.get("/elevation/rg/9/272/179.png").body);
    paths.insert(paths.end(), {"/redirect/2/imagery/3/4/2.png", "/huge/imagery/3/4/2.png", "/bigimage/imagery/3/4/2.png",
                               "/elevation/rg/9/272/179.png", "/elevation/rg/9/272/179.png"});
    const support::TileServerStats stats = server.stats();
    EXPECT_EQ(std::tuple(stats.paths, stats.requests, stats.unexpected), std::tuple(paths, int64_t(paths.size()) - 8, int64_t(8)));
    server.reset_stats();
    EXPECT_TRUE(server.stats().paths.empty());
}

} // namespace

#pragma once

// What a request path asks the tile server for: the statistics, a tile of one of the six
// layers, and the failures to inject before it. Pure parsing, no I/O.
//
//   /imagery/{z}/{x}/{y}.png | .jpg            RGB imagery
//   /elevation/rg/{z}/{x}/{y}.png              heights, 32·R + G/8 metres
//   /elevation/byte/{z}/{x}/{y}.png            heights, R/255 · 3795 metres
//   /elevation/terrarium/{z}/{x}/{y}.png       heights, R·256 + G + B/256 − 32768 metres
//   /elevation/terrain-rgb/{z}/{x}/{y}.png     heights, −10000 + (R·65536 + G·256 + B) · 0.1 metres
//
// Every tile route also comes in 512 pixels, named as public services name them: "{y}@2x.png"
// (or "@2x.jpg") instead of "{y}.png".
//
// Any number of failure prefixes may stand before a tile route, applied left to right:
//   /status/{code}/   answer that status (200 serves the tile as usual)
//   /slow/{ms}/       wait that long, then go on
//   /corrupt/         answer 200 with a body that is no image
//   /huge/            answer 200 with 16 MiB sent chunked, without a Content-Length
//   /bigimage/        answer a valid PNG of 5000 × 16 pixels
//   /size/{n}/        answer a valid PNG of n × n pixels (1 to 4096), whatever the tile's size
//   /deepest/{z}/     answer 404 for tiles deeper than zoom z (0 to 30), as a server whose data
//                     end there
//   /redirect/{n}/    redirect to the same path with n − 1 (the prefix dropped at 0)

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/TileRaster.h"

namespace tileserver {

enum class Layer { ImageryPng, ImageryJpeg, ElevationRg, ElevationByte, ElevationTerrarium, ElevationTerrainRgb };

struct Injection {
    enum class Kind { Status, Slow, Corrupt, Huge, BigImage, Redirect, Size, Deepest };
    Kind kind = Kind::Status;
    int value = 0;         // status code, milliseconds, remaining redirects, pixels or zoom
    std::string rest;      // for Redirect: the path after this prefix, starting with '/'
};

struct TileRequest {
    std::vector<Injection> injections; // in path order
    Layer layer = Layer::ImageryPng;
    TileAddress tile;
    int size = TILE_SIZE; // pixels on a side: TILE_SIZE or LARGE_TILE_SIZE
};

// Limits on the values in prefixes; larger values make the path unknown.
inline constexpr int MAX_SLOW_MS = 600000;
inline constexpr int MAX_REDIRECTS = 50;
inline constexpr int MAX_SIZE_PIXELS = 4096;

// The tile request a path names, or nothing when the path is unknown (bad numbers, a tile
// outside its zoom's grid, a status code outside 200–599, an unknown layer or extension).
std::optional<TileRequest> parse_tile_path(std::string_view path);

// The path a redirect prefix with the given remaining count and rest sends the client to.
std::string redirect_target(int remaining, const std::string& rest);

} // namespace tileserver

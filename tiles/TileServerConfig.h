#pragma once

// The settings of one tile server, as the configuration file gives them.

#include <cstdint>
#include <filesystem>
#include <string>

enum class TilePattern : int32_t {
    ZXY_Y_NORTH = 0,
    ZXY_Y_SOUTH = 1,
    ZYX_Y_NORTH = 2,
    ZYX_Y_SOUTH = 3,
};

struct TileServerConfig {
    std::string url;
    TilePattern pattern = TilePattern::ZXY_Y_NORTH;
    std::string file_ending;
    std::filesystem::path cache_dir;
    std::string attribution = "no attribution";
    int32_t num_threads = 2;
    int32_t max_zoom = 17;
    bool cache_on_disk = true;
    int64_t cache_max_mb = 1024; // the disk cache's size limit in MiB; 0: no limit
    // Not in the file: the server's tiles must be PNG (elevation, whose colours are heights a
    // lossy format would change); anything else is refused like a broken tile.
    bool png_only = false;
};

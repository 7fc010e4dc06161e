#pragma once

// PNG and JPEG encoding of 8-bit RGB rasters for the tile server's answers. Both favour speed
// over size: the server runs on the same machine as its client.

#include <cstdint>
#include <string>
#include <vector>

namespace tileserver {

// Lossless PNG (zlib level 1, sub filter). Empty on failure.
std::string encode_png(const std::vector<uint8_t>& rgb, int width, int height);
// Baseline JPEG, 4:2:0, the given quality. Empty on failure.
std::string encode_jpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality = 85);

} // namespace tileserver

#pragma once

// What makes an answer a tile. Servers answer with error pages in HTML, with the wrong format
// or with images of any size; each is refused with the reason a user can act on. Pure: bytes
// and numbers in, a reason out (empty when there is nothing to object to).
//
// A tile is a PNG or JPEG image (PNG only where png_only: heights must not go through a lossy
// format) of TILE_PIXELS or LARGE_TILE_PIXELS pixels, square.

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr int32_t TILE_PIXELS = 256;
inline constexpr int32_t LARGE_TILE_PIXELS = 512;

// Before decoding: an empty body, an HTML or XML page, a format that is not PNG or JPEG (or
// not PNG, with png_only).
std::string tile_body_problem(const unsigned char* bytes, size_t size, bool png_only);

// After decoding failed: why, as far as the header tells (a PNG larger than the decoder
// accepts says its size), else that the image is damaged.
std::string undecodable_tile_reason(const unsigned char* bytes, size_t size);

// After decoding: a size that is not square TILE_PIXELS or LARGE_TILE_PIXELS.
std::string tile_size_problem(int32_t width, int32_t height);

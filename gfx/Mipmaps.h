#pragma once

// Mip chains built on the CPU. A texture uploaded with all its levels at once costs a known
// amount of CPU time, which the texture cache can budget; asking the driver for mipmaps
// instead makes a software rasteriser render them, finishing whatever it had queued for the
// frame. Pure arithmetic, no GL: callable from any thread.

#include <cstdint>
#include <vector>

namespace gfx {

// One level: width × height pixels of `channels` values each, rows top to bottom.
template <typename T>
struct MipLevel {
    int width = 0;
    int height = 0;
    std::vector<T> values;
};

// The levels below `base` (which is level 0): each halves the one above, rounding down to at
// least 1, every pixel the mean of the 2 × 2 block above it (edge pixels of odd sizes repeat).
// Ends with the 1 × 1 level; empty for a 1 × 1 or empty base.
template <typename T>
std::vector<MipLevel<T>> build_mip_chain(const T* base, int width, int height, int channels);

extern template std::vector<MipLevel<uint8_t>> build_mip_chain(const uint8_t*, int, int, int);
extern template std::vector<MipLevel<float>> build_mip_chain(const float*, int, int, int);

} // namespace gfx

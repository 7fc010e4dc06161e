#include "gfx/Mipmaps.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace gfx {

template <typename T>
std::vector<MipLevel<T>> build_mip_chain(const T* base, int width, int height, int channels)
{
    std::vector<MipLevel<T>> levels;
    if (base == nullptr || width < 1 || height < 1 || channels < 1)
        return levels;
    const T* above = base;
    int w = width;
    int h = height;
    while (w > 1 || h > 1) {
        MipLevel<T> level;
        level.width = std::max(w / 2, 1);
        level.height = std::max(h / 2, 1);
        level.values.resize(static_cast<size_t>(level.width) * static_cast<size_t>(level.height) * channels);
        for (int y = 0; y < level.height; ++y) {
            const int y0 = std::min(2 * y, h - 1);
            const int y1 = std::min(2 * y + 1, h - 1);
            for (int x = 0; x < level.width; ++x) {
                const int x0 = std::min(2 * x, w - 1);
                const int x1 = std::min(2 * x + 1, w - 1);
                for (int c = 0; c < channels; ++c) {
                    const auto at = [&](int px, int py) {
                        return static_cast<float>(above[(static_cast<size_t>(py) * w + px) * channels + c]);
                    };
                    const float mean = (at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1)) * 0.25f;
                    T& out = level.values[(static_cast<size_t>(y) * level.width + x) * channels + c];
                    if constexpr (std::is_integral_v<T>)
                        out = static_cast<T>(std::lround(mean));
                    else
                        out = static_cast<T>(mean);
                }
            }
        }
        levels.push_back(std::move(level));
        above = levels.back().values.data();
        w = levels.back().width;
        h = levels.back().height;
    }
    return levels;
}

template std::vector<MipLevel<uint8_t>> build_mip_chain(const uint8_t*, int, int, int);
template std::vector<MipLevel<float>> build_mip_chain(const float*, int, int, int);

} // namespace gfx

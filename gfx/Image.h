#pragma once

// Decoded 8-bit pixel data. Tile bytes come from arbitrary servers, so decoding uses
// libspng (PNG) and libjpeg-turbo (JPEG), both made for untrusted input, and refuses images
// larger than MAX_DIMENSION on a side. No GL here: tile workers build Images off the
// render thread.
//
// Thread-safety: decoding (the constructor, load) and encode_png keep no shared state and may
// run on any thread at once; one Image object is used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace gfx {

class Image {
public:
    static constexpr int32_t MAX_DIMENSION = 4096;

    unsigned char* data = nullptr; // rows top to bottom, tightly packed; null when decoding failed
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;

    Image() = default;
    // Decodes PNG or JPEG from memory into 3-channel RGB; channels is 3 whatever the data holds.
    Image(const unsigned char* bytes, size_t size);
    // Decodes a PNG or JPEG file (at most 64 MiB) into 3-channel RGB, rows reversed when
    // flip_vertically. Returns valid(); on failure the image is left empty.
    bool load(const std::filesystem::path& path, bool flip_vertically);
    // Takes over pixels allocated with std::malloc (for images made in memory, as in tests).
    static Image from_pixels(unsigned char* malloced_pixels, int32_t width, int32_t height, int32_t channels);

    bool valid() const { return data != nullptr && width >= 1 && height >= 1 && channels >= 1; }

    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&& other) noexcept;
    Image& operator=(Image&& other) noexcept;
    ~Image();
};

// zlib level and the row filters the encoder may choose from (a mask of libspng's
// SPNG_FILTER_CHOICE_* values). Encoding is the largest cost of a tile's cold path: level 1
// with the UP filter alone costs what no filtering costs and gives files about a fifth
// smaller; letting the encoder try every filter doubles the time for 2 % less, level 6 costs
// nine times as much. bench_tiles prints the comparison.
struct PngSettings {
    int compression_level = 1;
    int filter_choice = 32; // SPNG_FILTER_CHOICE_UP
};

// PNG bytes of the image (row stride width × channels, 1 to 4 channels); empty on failure.
// Used for the disk cache. Safe from any thread.
std::vector<unsigned char> encode_png(const Image& image);
std::vector<unsigned char> encode_png(const Image& image, const PngSettings& settings);

} // namespace gfx

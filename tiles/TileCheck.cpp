#include "tiles/TileCheck.h"

#include <cstring>

#include <fmt/format.h>

#include "gfx/Image.h"

namespace {

constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

bool is_png(const unsigned char* bytes, size_t size)
{
    return size >= sizeof(PNG_SIGNATURE) && std::memcmp(bytes, PNG_SIGNATURE, sizeof(PNG_SIGNATURE)) == 0;
}

bool is_jpeg(const unsigned char* bytes, size_t size)
{
    return size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

// An error page: markup after optional white space and a UTF-8 byte order mark.
bool is_markup(const unsigned char* bytes, size_t size)
{
    size_t i = size >= 3 && bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf ? 3 : 0;
    while (i < size && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return i < size && bytes[i] == '<';
}

uint32_t big_endian(const unsigned char* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | uint32_t(bytes[3]);
}

} // namespace

std::string tile_body_problem(const unsigned char* bytes, size_t size, bool png_only)
{
    if (bytes == nullptr || size == 0)
        return "the answer is empty";
    if (is_png(bytes, size))
        return {};
    if (is_jpeg(bytes, size))
        return png_only ? "the answer is a JPEG image; these tiles must be PNG" : std::string();
    if (is_markup(bytes, size))
        return "the answer is an HTML or XML page, not an image";
    return png_only ? "the answer is not a PNG image" : "the answer is neither a PNG nor a JPEG image";
}

std::string undecodable_tile_reason(const unsigned char* bytes, size_t size)
{
    // The IHDR chunk follows the signature: length, "IHDR", width, height.
    if (is_png(bytes, size) && size >= 24 && std::memcmp(bytes + 12, "IHDR", 4) == 0) {
        const uint32_t width = big_endian(bytes + 16);
        const uint32_t height = big_endian(bytes + 20);
        const uint32_t most = static_cast<uint32_t>(gfx::Image::MAX_DIMENSION);
        if (width > most || height > most)
            return fmt::format("the image is {} \u00d7 {} pixels, more than {} on a side", width, height, most);
    }
    return is_jpeg(bytes, size) ? fmt::format("the JPEG image is damaged or more than {} pixels on a side",
                                              gfx::Image::MAX_DIMENSION)
                                : std::string("the PNG image is damaged");
}

std::string tile_size_problem(int32_t width, int32_t height)
{
    if (width == height && (width == TILE_PIXELS || width == LARGE_TILE_PIXELS))
        return {};
    return fmt::format("the image is {} \u00d7 {} pixels; a tile is square, {} or {} pixels on a side", width, height,
                       TILE_PIXELS, LARGE_TILE_PIXELS);
}

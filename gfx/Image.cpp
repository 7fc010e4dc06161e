#include "gfx/Image.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <spng.h>
#include <turbojpeg.h>

namespace gfx {

namespace {

// A cache file or tile body larger than this is not an image the program wrote or wants.
constexpr long MAX_FILE_BYTES = 64L * 1024 * 1024;

// Ancillary PNG chunks (text, ICC profiles) are skipped, but a hostile file could still ask the
// decoder to buffer a huge one: cap a single chunk and the chunks kept in total.
constexpr size_t MAX_PNG_CHUNK_BYTES = 1024 * 1024;
constexpr size_t MAX_PNG_CHUNK_CACHE_BYTES = 4 * 1024 * 1024;

constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

bool is_png(const unsigned char* bytes, size_t size)
{
    return size >= sizeof(PNG_SIGNATURE) && std::memcmp(bytes, PNG_SIGNATURE, sizeof(PNG_SIGNATURE)) == 0;
}

bool is_jpeg(const unsigned char* bytes, size_t size)
{
    return size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

bool dimensions_allowed(uint64_t width, uint64_t height)
{
    return width >= 1 && height >= 1 && width <= static_cast<uint64_t>(Image::MAX_DIMENSION) &&
           height <= static_cast<uint64_t>(Image::MAX_DIMENSION);
}

struct SpngDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngDeleter>;

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

struct Decoded {
    MallocBuffer pixels;
    int32_t width = 0;
    int32_t height = 0;
};

// Any PNG (grey, palette, alpha, 16-bit, interlaced) to RGB8. Alpha is dropped, as asking for
// three components does; 16-bit samples are reduced to 8 bits.
Decoded decode_png(const unsigned char* bytes, size_t size)
{
    SpngContext ctx(spng_ctx_new(0));
    if (!ctx) {
        return {};
    }
    // The IHDR check below is the real bound; these stop libspng from accepting more itself.
    spng_set_image_limits(ctx.get(), Image::MAX_DIMENSION, Image::MAX_DIMENSION);
    spng_set_chunk_limits(ctx.get(), MAX_PNG_CHUNK_BYTES, MAX_PNG_CHUNK_CACHE_BYTES);
    if (spng_set_png_buffer(ctx.get(), bytes, size) != 0) {
        return {};
    }
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0 || !dimensions_allowed(ihdr.width, ihdr.height)) {
        return {};
    }
    size_t out_size = 0;
    if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGB8, &out_size) != 0 ||
        out_size != static_cast<size_t>(ihdr.width) * ihdr.height * 3) {
        return {};
    }
    MallocBuffer pixels(static_cast<unsigned char*>(std::malloc(out_size)));
    if (!pixels) {
        return {};
    }
    if (spng_decode_image(ctx.get(), pixels.get(), out_size, SPNG_FMT_RGB8, 0) != 0) {
        return {};
    }
    return {std::move(pixels), static_cast<int32_t>(ihdr.width), static_cast<int32_t>(ihdr.height)};
}

Decoded decode_jpeg(const unsigned char* bytes, size_t size)
{
    if (size > static_cast<size_t>(MAX_FILE_BYTES)) {
        return {};
    }
    TjHandle handle(tjInitDecompress());
    if (!handle) {
        return {};
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    const auto jpeg_size = static_cast<unsigned long>(size);
    if (tjDecompressHeader3(handle.get(), bytes, jpeg_size, &width, &height, &subsampling, &colorspace) != 0 ||
        width < 0 || height < 0 || !dimensions_allowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
        return {};
    }
    const size_t out_size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    MallocBuffer pixels(static_cast<unsigned char*>(std::malloc(out_size)));
    if (!pixels) {
        return {};
    }
    // A truncated or damaged stream only raises a warning in libjpeg and leaves grey rows
    // behind; such a tile would be cached as if it were good, so warnings count as failures.
    // LIMITSCANS bounds the work a hostile progressive JPEG can ask for.
    const int flags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;
    if (tjDecompress2(handle.get(), bytes, jpeg_size, pixels.get(), width, width * 3, height, TJPF_RGB, flags) != 0) {
        return {};
    }
    return {std::move(pixels), width, height};
}

Decoded decode(const unsigned char* bytes, size_t size)
{
    if (bytes == nullptr) {
        return {};
    }
    if (is_png(bytes, size)) {
        return decode_png(bytes, size);
    }
    if (is_jpeg(bytes, size)) {
        return decode_jpeg(bytes, size);
    }
    return {};
}

void flip_rows(unsigned char* pixels, int32_t width, int32_t height, int32_t channels)
{
    const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
    std::unique_ptr<unsigned char[]> row(new unsigned char[stride]);
    for (int32_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = pixels + stride * static_cast<size_t>(top);
        unsigned char* b = pixels + stride * static_cast<size_t>(bottom);
        std::memcpy(row.get(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, row.get(), stride);
    }
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Whole file into memory; false when it cannot be read or exceeds MAX_FILE_BYTES.
bool read_file(const std::filesystem::path& path, std::vector<unsigned char>& bytes)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return false;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return false;
    }
    const long size = std::ftell(file.get());
    if (size <= 0 || size > MAX_FILE_BYTES || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

} // namespace

Image::Image(const unsigned char* bytes, size_t size)
{
    Decoded decoded = decode(bytes, size);
    if (decoded.pixels) {
        data = decoded.pixels.release();
        width = decoded.width;
        height = decoded.height;
        channels = 3;
    }
}

bool Image::load(const std::filesystem::path& path, bool flip_vertically)
{
    *this = Image();
    std::vector<unsigned char> bytes;
    if (!read_file(path, bytes)) {
        return false;
    }
    *this = Image(bytes.data(), bytes.size());
    if (valid() && flip_vertically) {
        flip_rows(data, width, height, channels);
    }
    return valid();
}

Image Image::from_pixels(unsigned char* malloced_pixels, int32_t width, int32_t height, int32_t channels)
{
    Image image;
    image.data = malloced_pixels;
    image.width = width;
    image.height = height;
    image.channels = channels;
    return image;
}

Image::Image(Image&& other) noexcept
    : data(other.data), width(other.width), height(other.height), channels(other.channels)
{
    other.data = nullptr;
    other.width = other.height = other.channels = 0;
}

Image& Image::operator=(Image&& other) noexcept
{
    if (this != &other) {
        std::free(data);
        data = other.data;
        width = other.width;
        height = other.height;
        channels = other.channels;
        other.data = nullptr;
        other.width = other.height = other.channels = 0;
    }
    return *this;
}

Image::~Image()
{
    std::free(data);
    data = nullptr;
    width = height = channels = 0;
}

std::vector<unsigned char> encode_png(const Image& image, const PngSettings& settings)
{
    if (!image.valid() || image.channels > 4) {
        return {};
    }
    static constexpr uint8_t COLOR_TYPES[5] = {0, SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_GRAYSCALE_ALPHA,
                                              SPNG_COLOR_TYPE_TRUECOLOR, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA};
    SpngContext ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) {
        return {};
    }
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, settings.compression_level);
    spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, settings.filter_choice);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(image.width);
    ihdr.height = static_cast<uint32_t>(image.height);
    ihdr.bit_depth = 8;
    ihdr.color_type = COLOR_TYPES[image.channels];
    if (spng_set_ihdr(ctx.get(), &ihdr) != 0) {
        return {};
    }
    const size_t size = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
                        static_cast<size_t>(image.channels);
    if (spng_encode_image(ctx.get(), image.data, size, SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0) {
        return {};
    }
    size_t png_size = 0;
    int error = 0;
    MallocBuffer png(static_cast<unsigned char*>(spng_get_png_buffer(ctx.get(), &png_size, &error)));
    if (!png || error != 0) {
        return {};
    }
    return std::vector<unsigned char>(png.get(), png.get() + png_size);
}

std::vector<unsigned char> encode_png(const Image& image) { return encode_png(image, PngSettings{}); }

} // namespace gfx

#include "tools/ImageEncoding.h"

#include <cstdlib>
#include <memory>
#include <spng.h>
#include <turbojpeg.h>

namespace tileserver {

std::string encode_png(const std::vector<uint8_t>& rgb, int width, int height)
{
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3) {
        return {};
    }
    std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    if (!ctx) {
        return {};
    }
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 1);
    spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_SUB);
    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(width);
    ihdr.height = static_cast<uint32_t>(height);
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    if (spng_set_ihdr(ctx.get(), &ihdr) != 0 ||
        spng_encode_image(ctx.get(), rgb.data(), rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0) {
        return {};
    }
    size_t size = 0;
    int error = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &size, &error);
    if (buffer == nullptr || error != 0) {
        std::free(buffer);
        return {};
    }
    std::string png(static_cast<const char*>(buffer), size);
    std::free(buffer);
    return png;
}

std::string encode_jpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality)
{
    if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * height * 3) {
        return {};
    }
    std::unique_ptr<void, decltype(&tjDestroy)> compressor(tjInitCompress(), tjDestroy);
    if (!compressor) {
        return {};
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    int result = tjCompress2(compressor.get(), rgb.data(), width, width * 3, height, TJPF_RGB, &buffer, &size, TJSAMP_420,
                             quality, TJFLAG_FASTDCT);
    std::string jpeg;
    if (result == 0 && buffer != nullptr) {
        jpeg.assign(reinterpret_cast<const char*>(buffer), size);
    }
    tjFree(buffer);
    return jpeg;
}

} // namespace tileserver

#include "gfx/Image.h"

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>
#include <spng.h>
#include <turbojpeg.h>

#include "tests/support/Support.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Byte k is 7k + 1 (mod 256); "wide" repeats every byte, as 16-bit samples any reduction to 8
// bits gives back. Palette images index the colours of make_png's palette.
Bytes pattern(size_t count, int copies = 1)
{
    Bytes bytes;
    for (size_t k = 0; k < count * copies; ++k)
        bytes.push_back(static_cast<unsigned char>(7 * (k / copies) + 1));
    return bytes;
}

// PNG and JPEG made by the codecs themselves, independently of the code under test.
Bytes make_png(uint32_t width, uint32_t height, uint8_t color_type, uint8_t depth, const Bytes& samples)
{
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{width, height, depth, color_type, 0, 0, 0};
    spng_set_ihdr(ctx, &ihdr);
    spng_plte palette{3, {{10, 20, 30, 0}, {200, 100, 50, 0}, {1, 2, 3, 0}}};
    if (color_type == SPNG_COLOR_TYPE_INDEXED)
        spng_set_plte(ctx, &palette);
    spng_encode_image(ctx, samples.data(), samples.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t size = 0;
    int error = 0;
    auto* buffer = static_cast<unsigned char*>(spng_get_png_buffer(ctx, &size, &error));
    const Bytes png(buffer, buffer + size);
    std::free(buffer);
    spng_ctx_free(ctx);
    return png;
}

Bytes make_jpeg(int width, int height, const Bytes& rgb)
{
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    const Bytes bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

gfx::Image decode(const Bytes& bytes) { return gfx::Image(bytes.data(), bytes.size()); }

std::string rgb_at(const gfx::Image& image, int x, int y)
{
    const unsigned char* p = image.data + (size_t(y) * image.width + x) * 3;
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

TEST(Image, EveryPngKindAndJpegDecodeToRgb8RowsTopToBottom)
{
    // 5 x 3 pixels, so rows of an odd width must come out tightly packed; the last pixel's
    // samples are bytes 14, 28, 42-44 or 56-58 of the pattern (alpha is dropped).
    struct Case { uint8_t color_type, depth; int samples; std::string last_pixel; };
    const Case cases[] = {
        {SPNG_COLOR_TYPE_GRAYSCALE, 8, 1, "99,99,99"},   {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, 2, "197,197,197"},
        {SPNG_COLOR_TYPE_TRUECOLOR, 8, 3, "39,46,53"},   {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, 4, "137,144,151"},
        {SPNG_COLOR_TYPE_TRUECOLOR, 16, 3, "39,46,53"},  {SPNG_COLOR_TYPE_GRAYSCALE, 16, 1, "99,99,99"},
        {SPNG_COLOR_TYPE_INDEXED, 8, 1, "1,2,3"},
    };
    for (const Case& c : cases) {
        Bytes samples = pattern(15 * c.samples, c.depth / 8);
        for (size_t i = 0; c.color_type == SPNG_COLOR_TYPE_INDEXED && i < samples.size(); ++i)
            samples[i] = i % 3;
        const gfx::Image image = decode(make_png(5, 3, c.color_type, c.depth, samples));
        ASSERT_TRUE(image.valid()) << int(c.color_type) << "/" << int(c.depth);
        EXPECT_EQ(std::tuple(image.width, image.height, image.channels, rgb_at(image, 4, 2)), std::tuple(5, 3, 3, c.last_pixel));
    }
    Bytes rgb; // 37 x 19, red above blue
    for (int i = 0; i < 37 * 19; ++i) {
        const unsigned char red = i < 333 ? 250 : 10;
        rgb.insert(rgb.end(), {red, 10, static_cast<unsigned char>(260 - red)});
    }
    const gfx::Image jpeg = decode(make_jpeg(37, 19, rgb));
    ASSERT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(37, 19));
    EXPECT_TRUE(jpeg.data[36 * 3] > 200 && jpeg.data[36 * 3 + 2] < 60) << rgb_at(jpeg, 36, 0);
    EXPECT_TRUE(jpeg.data[(18 * 37 + 36) * 3] < 60 && jpeg.data[(18 * 37 + 36) * 3 + 2] > 200) << rgb_at(jpeg, 36, 18);
}

TEST(Image, BrokenOrOversizedInputIsRefused)
{
    const Bytes png = make_png(40, 30, SPNG_COLOR_TYPE_TRUECOLOR, 8, pattern(3600)), jpeg = make_jpeg(40, 30, pattern(3600));
    ASSERT_TRUE(decode(png).valid() && decode(jpeg).valid());
    Bytes damaged = png;
    damaged[png.size() / 2] ^= 0x5a;
    const Bytes cases[] = {
        {}, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}, Bytes(png.begin(), png.begin() + 8),
        Bytes(png.begin(), png.begin() + 20), Bytes(png.begin(), png.begin() + png.size() / 2),
        Bytes(jpeg.begin(), jpeg.begin() + 30), Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), damaged,
        make_png(4097, 1, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4097)), make_png(1, 4097, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4097)),
        make_jpeg(4100, 8, Bytes(4100 * 8 * 3)),
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(decode(cases[i]).data, nullptr) << "case " << i;
    EXPECT_TRUE(decode(make_png(4096, 1, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4096))).valid());
    EXPECT_TRUE(decode(make_png(1, 4096, SPNG_COLOR_TYPE_GRAYSCALE, 8, Bytes(4096))).valid());
    EXPECT_FALSE(gfx::Image(nullptr, 100).valid());
}

TEST(Image, EncodedPngsFilesAndMovesKeepThePixels)
{
    for (int channels = 1; channels <= 4; ++channels) {
        const Bytes pixels = pattern(13 * 7 * channels);
        auto* copy = static_cast<unsigned char*>(std::malloc(pixels.size()));
        std::memcpy(copy, pixels.data(), pixels.size());
        const gfx::Image original = gfx::Image::from_pixels(copy, 13, 7, channels);
        for (const gfx::PngSettings& settings : {gfx::PngSettings{}, gfx::PngSettings{6, 8 | 16 | 32 | 64 | 128}}) {
            const gfx::Image back = decode(gfx::encode_png(original, settings));
            EXPECT_EQ(std::pair(back.width, back.height), std::pair(13, 7)) << channels << " channels";
            EXPECT_TRUE(channels != 3 || std::memcmp(back.data, pixels.data(), pixels.size()) == 0);
        }
    }
    EXPECT_TRUE(gfx::encode_png(gfx::Image()).empty());

    support::TempDir dir;
    const Bytes rgb = pattern(6 * 4 * 3), png = make_png(6, 4, SPNG_COLOR_TYPE_TRUECOLOR, 8, rgb);
    support::write_file(dir / "z=1, x=0, y=1.png", std::string(png.begin(), png.end()));
    support::write_file(dir / "empty.png", "");
    gfx::Image image;
    ASSERT_TRUE(image.load(dir / "z=1, x=0, y=1.png", false));
    EXPECT_EQ(std::memcmp(image.data, rgb.data(), rgb.size()), 0);
    ASSERT_TRUE(image.load(dir / "z=1, x=0, y=1.png", true));
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(std::memcmp(image.data + y * 18, rgb.data() + (3 - y) * 18, 18), 0) << "row " << y << " flipped";
    gfx::Image moved(std::move(image));
    EXPECT_TRUE(moved.valid() && !image.valid()); // NOLINT(bugprone-use-after-move): moved-from is empty
    for (const char* name : {"missing.png", "empty.png", ""}) {
        EXPECT_FALSE(moved.load(dir / name, false)) << name;
        EXPECT_EQ(moved.data, nullptr) << name;
    }
}

} // namespace

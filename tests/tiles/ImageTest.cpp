#include "gfx/Image.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <spng.h>
#include <turbojpeg.h>

namespace {

struct PngSpec {
    const char* name;
    uint8_t color_type;
    uint8_t bit_depth;
    int channels_in;
};

// Encodes raw samples (big-endian for 16 bit) as a PNG with libspng, independently of the
// code under test's settings. For palette images, samples are indices into the palette.
std::vector<unsigned char> make_png(uint32_t width, uint32_t height, uint8_t color_type, uint8_t bit_depth,
                                    const std::vector<unsigned char>& samples, const spng_plte* palette = nullptr)
{
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{};
    ihdr.width = width;
    ihdr.height = height;
    ihdr.bit_depth = bit_depth;
    ihdr.color_type = color_type;
    spng_set_ihdr(ctx, &ihdr);
    if (palette != nullptr) {
        spng_plte copy = *palette;
        spng_set_plte(ctx, &copy);
    }
    int rc = spng_encode_image(ctx, samples.data(), samples.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    EXPECT_EQ(rc, 0) << spng_strerror(rc);
    size_t size = 0;
    int error = 0;
    auto* buffer = static_cast<unsigned char*>(spng_get_png_buffer(ctx, &size, &error));
    std::vector<unsigned char> png(buffer, buffer + size);
    std::free(buffer);
    spng_ctx_free(ctx);
    return png;
}

std::vector<unsigned char> make_jpeg(int width, int height, const std::vector<unsigned char>& rgb)
{
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(handle, rgb.data(), width, width * 3, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95,
                               0);
    EXPECT_EQ(rc, 0) << tjGetErrorStr2(handle);
    std::vector<unsigned char> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return bytes;
}

gfx::Image decode(const std::vector<unsigned char>& bytes) { return gfx::Image(bytes.data(), bytes.size()); }

std::vector<unsigned char> rgb_ramp(int width, int height)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(x * 7);
            p[1] = static_cast<unsigned char>(y * 11);
            p[2] = static_cast<unsigned char>((x + y) * 3);
        }
    }
    return rgb;
}

std::string pixel_text(const unsigned char* p)
{
    return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

const unsigned char* pixel(const gfx::Image& image, int x, int y)
{
    return image.data + (static_cast<size_t>(y) * image.width + x) * image.channels;
}

} // namespace

TEST(Image, DecodesEveryPngKindToRgb8)
{
    // A 5 x 3 image: the width is not a multiple of 4, so rows must be tightly packed.
    const uint32_t w = 5;
    const uint32_t h = 3;
    struct Case {
        const char* name;
        uint8_t color_type;
        uint8_t bit_depth;
        std::vector<unsigned char> samples;
        // expected RGB of pixel (x, y) = (4, 2), the last one
        unsigned char r, g, b;
    };
    std::vector<Case> cases;
    {
        std::vector<unsigned char> grey(w * h);
        for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<unsigned char>(i * 10);
        cases.push_back({"grey8", SPNG_COLOR_TYPE_GRAYSCALE, 8, grey, 140, 140, 140});
    }
    {
        std::vector<unsigned char> ga(w * h * 2);
        for (size_t i = 0; i < w * h; ++i) {
            ga[i * 2] = static_cast<unsigned char>(i * 10);
            ga[i * 2 + 1] = 0; // fully transparent: alpha is dropped, the colour stays
        }
        cases.push_back({"grey+alpha8", SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, ga, 140, 140, 140});
    }
    {
        std::vector<unsigned char> rgba(w * h * 4);
        for (size_t i = 0; i < w * h; ++i) {
            rgba[i * 4] = static_cast<unsigned char>(i);
            rgba[i * 4 + 1] = static_cast<unsigned char>(100 + i);
            rgba[i * 4 + 2] = static_cast<unsigned char>(200 + i);
            rgba[i * 4 + 3] = static_cast<unsigned char>(i * 3);
        }
        cases.push_back({"rgba8", SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, rgba, 14, 114, 214});
    }
    {
        // 16-bit samples go to the encoder in host order; 0xABAB reduces to 0xAB whether the
        // decoder rounds or keeps the high byte.
        auto put16 = [](std::vector<unsigned char>& out, size_t index, uint16_t value) {
            std::memcpy(&out[index * 2], &value, 2);
        };
        std::vector<unsigned char> rgb16(w * h * 6);
        for (size_t i = 0; i < w * h; ++i) {
            put16(rgb16, i * 3, 0xABAB);
            put16(rgb16, i * 3 + 1, 0x1212);
            put16(rgb16, i * 3 + 2, static_cast<uint16_t>(i * 257));
        }
        cases.push_back({"rgb16", SPNG_COLOR_TYPE_TRUECOLOR, 16, rgb16, 0xAB, 0x12, 14});
        std::vector<unsigned char> grey16(w * h * 2);
        for (size_t i = 0; i < w * h; ++i) {
            put16(grey16, i, static_cast<uint16_t>(i * 16 * 257));
        }
        cases.push_back({"grey16", SPNG_COLOR_TYPE_GRAYSCALE, 16, grey16, 224, 224, 224});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const gfx::Image image = decode(make_png(w, h, c.color_type, c.bit_depth, c.samples));
        ASSERT_TRUE(image.valid());
        EXPECT_EQ(image.width, 5);
        EXPECT_EQ(image.height, 3);
        EXPECT_EQ(image.channels, 3);
        const unsigned char* p = pixel(image, 4, 2);
        EXPECT_EQ(pixel_text(p), std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b));
    }
}

TEST(Image, DecodesPalettePng)
{
    spng_plte palette{};
    palette.n_entries = 3;
    palette.entries[0] = {10, 20, 30, 0};
    palette.entries[1] = {200, 100, 50, 0};
    palette.entries[2] = {1, 2, 3, 0};
    const std::vector<unsigned char> indices{0, 1, 2, 1, 0, 2}; // 3 x 2
    const gfx::Image image = decode(make_png(3, 2, SPNG_COLOR_TYPE_INDEXED, 8, indices, &palette));
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.channels, 3);
    const char* expected[6] = {"10,20,30", "200,100,50", "1,2,3", "200,100,50", "10,20,30", "1,2,3"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pixel_text(pixel(image, i % 3, i / 3)), expected[i]) << "pixel " << i;
    }
}

TEST(Image, DecodesJpegRowsTopToBottom)
{
    const int w = 37; // not a multiple of 4 nor of the 8-pixel block
    const int h = 19;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = y < h / 2 ? 250 : 10; // red top half, blue bottom half
            p[1] = 10;
            p[2] = y < h / 2 ? 10 : 250;
        }
    }
    const gfx::Image image = decode(make_jpeg(w, h, rgb));
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(image.width, w);
    EXPECT_EQ(image.height, h);
    EXPECT_EQ(image.channels, 3);
    const unsigned char* top = pixel(image, w - 1, 0);
    const unsigned char* bottom = pixel(image, w - 1, h - 1);
    EXPECT_GT(top[0], 200) << pixel_text(top);
    EXPECT_LT(top[2], 60) << pixel_text(top);
    EXPECT_GT(bottom[2], 200) << pixel_text(bottom);
    EXPECT_LT(bottom[0], 60) << pixel_text(bottom);
}

TEST(Image, RefusesBrokenInput)
{
    const std::vector<unsigned char> png = make_png(40, 30, SPNG_COLOR_TYPE_TRUECOLOR, 8, rgb_ramp(40, 30));
    const std::vector<unsigned char> jpeg = make_jpeg(40, 30, rgb_ramp(40, 30));
    ASSERT_TRUE(decode(png).valid());
    ASSERT_TRUE(decode(jpeg).valid());
    struct Case {
        std::string name;
        std::vector<unsigned char> bytes;
    };
    std::vector<Case> cases{
        {"empty", {}},
        {"text", std::vector<unsigned char>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"png signature only", std::vector<unsigned char>(png.begin(), png.begin() + 8)},
        {"png cut in the header", std::vector<unsigned char>(png.begin(), png.begin() + 20)},
        {"png cut in the data", std::vector<unsigned char>(png.begin(), png.begin() + png.size() / 2)},
        {"jpeg cut in the header", std::vector<unsigned char>(jpeg.begin(), jpeg.begin() + 30)},
        {"jpeg cut in the data", std::vector<unsigned char>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)},
    };
    {
        std::vector<unsigned char> bad_crc = png;
        bad_crc[bad_crc.size() / 2] ^= 0x5a; // a flipped byte inside the compressed data
        cases.push_back({"png with a damaged data chunk", bad_crc});
    }
    for (const Case& c : cases) {
        const gfx::Image image = decode(c.bytes);
        EXPECT_FALSE(image.valid()) << c.name;
        EXPECT_EQ(image.data, nullptr) << c.name;
    }
    EXPECT_FALSE(gfx::Image(nullptr, 100).valid());
}

TEST(Image, RefusesImagesAboveTheDimensionBound)
{
    struct Case {
        uint32_t width;
        uint32_t height;
        bool accepted;
    };
    const std::vector<Case> cases{{4096, 1, true}, {1, 4096, true}, {4097, 1, false}, {1, 4097, false},
                                  {5000, 16, false}};
    for (const Case& c : cases) {
        const std::vector<unsigned char> grey(static_cast<size_t>(c.width) * c.height, 77);
        const gfx::Image image = decode(make_png(c.width, c.height, SPNG_COLOR_TYPE_GRAYSCALE, 8, grey));
        EXPECT_EQ(image.valid(), c.accepted) << c.width << " x " << c.height;
    }
    // The bound applies to JPEG as well.
    const std::vector<unsigned char> wide(4100 * 8 * 3, 128);
    EXPECT_FALSE(decode(make_jpeg(4100, 8, wide)).valid());

    // A header that claims a huge size is refused before any pixel memory is asked for: patch
    // the IHDR of a small PNG to 60000 x 60000 (and fix its CRC so only the size is wrong).
    std::vector<unsigned char> png = make_png(4, 4, SPNG_COLOR_TYPE_GRAYSCALE, 8, std::vector<unsigned char>(16));
    const unsigned char big[4] = {0x00, 0x00, 0xea, 0x60};
    std::memcpy(&png[16], big, 4);
    std::memcpy(&png[20], big, 4);
    uint32_t crc = 0xffffffffu;
    for (size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xffffffffu;
    png[29] = static_cast<unsigned char>(crc >> 24);
    png[30] = static_cast<unsigned char>(crc >> 16);
    png[31] = static_cast<unsigned char>(crc >> 8);
    png[32] = static_cast<unsigned char>(crc);
    EXPECT_FALSE(decode(png).valid());
}

TEST(Image, EncodeRoundTripKeepsPixels)
{
    for (int channels = 1; channels <= 4; ++channels) {
        const int w = 13;
        const int h = 7;
        auto* pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * h * channels));
        for (int i = 0; i < w * h * channels; ++i) pixels[i] = static_cast<unsigned char>(i * 31 + 5);
        const gfx::Image original = gfx::Image::from_pixels(pixels, w, h, channels);
        for (const gfx::PngSettings settings : {gfx::PngSettings{}, gfx::PngSettings{6, 8 | 16 | 32 | 64 | 128}}) {
            const std::vector<unsigned char> png = gfx::encode_png(original, settings);
            ASSERT_FALSE(png.empty()) << channels << " channels";
            const gfx::Image back = decode(png);
            ASSERT_TRUE(back.valid());
            ASSERT_EQ(back.width, w);
            ASSERT_EQ(back.height, h);
            if (channels == 3) {
                EXPECT_EQ(std::memcmp(back.data, original.data, static_cast<size_t>(w) * h * 3), 0);
            }
        }
    }
    EXPECT_TRUE(gfx::encode_png(gfx::Image()).empty());
}

TEST(Image, LoadReadsFilesAndFlips)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("wh_image_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const int w = 6;
    const int h = 4;
    const std::vector<unsigned char> rgb = rgb_ramp(w, h);
    const std::vector<unsigned char> png = make_png(w, h, SPNG_COLOR_TYPE_TRUECOLOR, 8, rgb);
    const std::filesystem::path file = dir / "z=1, x=0, y=1.png";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()),
                                                static_cast<std::streamsize>(png.size()));
    gfx::Image image;
    ASSERT_TRUE(image.load(file, false));
    EXPECT_EQ(std::memcmp(image.data, rgb.data(), rgb.size()), 0);
    ASSERT_TRUE(image.load(file, true));
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(std::memcmp(image.data + y * w * 3, rgb.data() + (h - 1 - y) * w * 3, w * 3), 0) << "row " << y;
    }
    // Missing and empty files give an invalid image, replacing what the object held.
    EXPECT_FALSE(image.load(dir / "missing.png", false));
    EXPECT_EQ(image.data, nullptr);
    std::ofstream(dir / "empty.png").close();
    EXPECT_FALSE(image.load(dir / "empty.png", false));
    EXPECT_FALSE(image.load(dir, false)); // a directory is not a file
    std::filesystem::remove_all(dir);
}

TEST(Image, MovesTakeOverPixels)
{
    auto* pixels = static_cast<unsigned char*>(std::malloc(12));
    gfx::Image a = gfx::Image::from_pixels(pixels, 2, 2, 3);
    gfx::Image b(std::move(a));
    EXPECT_FALSE(a.valid()); // NOLINT(bugprone-use-after-move): moved-from must be empty
    EXPECT_EQ(a.width, 0);
    EXPECT_EQ(b.data, pixels);
    gfx::Image c;
    c = std::move(b);
    EXPECT_EQ(c.data, pixels);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_TRUE(c.valid());
}

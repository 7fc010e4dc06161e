#include "tests/support/WaveFile.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/support/Support.h"

namespace support {

namespace {

// Little-endian, as RIFF is and as this machine is.
uint32_t le(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, size_t(count));
    return value;
}

} // namespace

WaveFile read_wave(const std::filesystem::path& path)
{
    const std::string bytes = read_file(path);
    auto fail = [&](const std::string& why) { return std::runtime_error(path.string() + ": " + why); };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        throw fail("not a RIFF WAVE file");
    WaveFile wave;
    uint32_t format = 0, bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        size_t size = le(bytes, at + 4, 4);
        const size_t body = at + 8;
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16 && body + size <= bytes.size()) {
            format = le(bytes, body, 2);
            wave.channels = int(le(bytes, body + 2, 2));
            wave.rate = int(le(bytes, body + 4, 4));
            bits = le(bytes, body + 14, 2);
            if (format == 0xfffe && size >= 26) // WAVE_FORMAT_EXTENSIBLE: the sub-format's first two bytes
                format = le(bytes, body + 24, 2);
        } else if (bytes.compare(at, 4, "data") == 0) {
            // 1: integer PCM, 3: IEEE float.
            if (wave.channels <= 0 || !((format == 1 && (bits == 16 || bits == 32)) || (format == 3 && bits == 32)))
                throw fail("format " + std::to_string(format) + " of " + std::to_string(bits) + " bits, " +
                           std::to_string(wave.channels) + " channels");
            size = size == 0 || body + size > bytes.size() ? bytes.size() - body : size;
            for (size_t f = body, step = bits / 8; f + wave.channels * step <= body + size; f += wave.channels * step) {
                float sum = 0.0f;
                for (size_t c = 0; c < size_t(wave.channels); ++c) {
                    const uint32_t raw = le(bytes, f + c * step, int(step)) << (32 - bits);
                    float value;
                    std::memcpy(&value, &raw, 4);
                    sum += format == 3 ? value : float(int32_t(raw)) / 2147483648.0f;
                }
                wave.mono.push_back(sum / float(wave.channels));
            }
            return wave;
        }
        at = body + size + (size & 1); // chunks are padded to an even length
    }
    throw fail("no data chunk");
}

} // namespace support

#pragma once

// Reading back what OpenAL Soft's wave-file driver (or any other writer) recorded.

#include <filesystem>
#include <vector>

namespace support {

// A RIFF WAVE file's samples with the channels averaged into one, as -1..1.
struct WaveFile {
    int rate = 0;
    int channels = 0;
    std::vector<float> mono;

    double seconds() const { return rate > 0 ? double(mono.size()) / rate : 0.0; }
};

// Reads 16- or 32-bit integer PCM or 32-bit IEEE float, plain or WAVE_FORMAT_EXTENSIBLE (OpenAL
// Soft's sample types int16, int32 and float32). A data chunk whose size is 0 or larger than the
// file (a writer killed before it closed) is read to the end of the file. Throws
// std::runtime_error naming the file and what is wrong with it.
WaveFile read_wave(const std::filesystem::path& path);

} // namespace support

#pragma once

// Measurements of a recorded or synthesised mono signal that do not depend on its exact
// samples: level, pitch and brightness.

#include <span>
#include <vector>

namespace support {

// The samples from from_s to to_s seconds (clamped to the signal).
std::span<const float> slice(const std::vector<float>& samples, int rate, double from_s, double to_s);

// Root mean square (0 for no samples).
double rms(std::span<const float> samples);

// The fundamental frequency between min_hz and max_hz, from the autocorrelation: the shortest
// lag whose normalised correlation comes within 10 % of the best one (so a period is not taken
// for twice itself), refined between samples. 0 when nothing in the range repeats (no lag
// correlates above 0.5).
double fundamental_hz(std::span<const float> samples, int rate, double min_hz, double max_hz);

// Where the signal's power lies, in Hz: rate · rms(first difference) / (2π · rms). A sine of
// frequency f gives about f; more treble gives more.
double brightness_hz(std::span<const float> samples, int rate);

} // namespace support

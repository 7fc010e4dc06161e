#include "tests/support/SignalAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace support {

std::span<const float> slice(const std::vector<float>& samples, int rate, double from_s, double to_s)
{
    const auto index = [&](double s) { return std::min(size_t(std::max(s, 0.0) * rate), samples.size()); };
    return std::span<const float>(samples).subspan(index(from_s), index(to_s) - std::min(index(from_s), index(to_s)));
}

double rms(std::span<const float> samples)
{
    double sum = 0.0;
    for (float x : samples)
        sum += double(x) * x;
    return samples.empty() ? 0.0 : std::sqrt(sum / double(samples.size()));
}

double fundamental_hz(std::span<const float> samples, int rate, double min_hz, double max_hz)
{
    const size_t min_lag = std::max<size_t>(size_t(rate / max_hz), 2), max_lag = size_t(rate / min_hz) + 1;
    if (samples.size() < 2 * max_lag)
        return 0.0;
    // Every lag is compared over the same stretch, so that the correlations are comparable.
    const std::span<const float> head = samples.first(samples.size() - max_lag - 1);
    std::vector<double> r(max_lag + 2, 0.0);
    for (size_t lag = min_lag - 1; lag <= max_lag + 1; ++lag) {
        double dot = 0.0, energy = 0.0;
        for (size_t i = 0; i < head.size(); ++i) {
            dot += double(head[i]) * samples[i + lag];
            energy += double(samples[i + lag]) * samples[i + lag];
        }
        r[lag] = energy > 0.0 ? dot / std::sqrt(energy) : 0.0;
    }
    const double level = rms(head) * std::sqrt(double(head.size()));
    const double best = *std::max_element(r.begin() + long(min_lag), r.begin() + long(max_lag) + 1);
    if (level == 0.0 || best < 0.5 * level)
        return 0.0;
    for (size_t lag = min_lag; lag <= max_lag; ++lag)
        if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
            const double a = r[lag - 1], b = r[lag], c = r[lag + 1]; // a parabola through the peak
            return rate / (double(lag) + (a - 2 * b + c != 0.0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0.0));
        }
    return 0.0;
}

double brightness_hz(std::span<const float> samples, int rate)
{
    double change = 0.0;
    for (size_t i = 1; i < samples.size(); ++i)
        change += double(samples[i] - samples[i - 1]) * (samples[i] - samples[i - 1]);
    const double level = rms(samples);
    return level > 0.0 && samples.size() > 1 ? rate * std::sqrt(change / double(samples.size() - 1)) / (2.0 * std::numbers::pi * level) : 0.0;
}

} // namespace support

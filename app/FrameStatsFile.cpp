#include "app/FrameStatsFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>

#include <fmt/format.h>

#include "console/Console.h"

namespace {

template <typename T>
bool parse_field(std::string_view text, T& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::optional<FrameStatsFile::Row> parse_row(std::string_view line)
{
    std::string_view fields[6];
    for (size_t i = 0; i < 6; ++i) {
        const size_t comma = line.find(',');
        if ((comma == std::string_view::npos) != (i == 5))
            return std::nullopt;
        fields[i] = line.substr(0, comma);
        line.remove_prefix(comma == std::string_view::npos ? line.size() : comma + 1);
    }
    FrameStatsFile::Row row;
    if (!parse_field(fields[0], row.frame) || !parse_field(fields[1], row.time_s) || !parse_field(fields[2], row.dt_ms) ||
        !parse_field(fields[3], row.leaves) || !parse_field(fields[4], row.sharp_share) ||
        !parse_field(fields[5], row.pending_tiles))
        return std::nullopt;
    return row;
}

// Time-weighted mean sharp share over [from, to), with the time it covers.
std::pair<double, double> weighted_share(const std::vector<FrameStatsFile::Row>& rows, double from, double to)
{
    double covered = 0.0;
    double sum = 0.0;
    for (const FrameStatsFile::Row& row : rows) {
        const double overlap = std::min(to, row.time_s + row.dt_ms / 1000.0) - std::max(from, row.time_s);
        if (overlap > 0.0) {
            covered += overlap;
            sum += overlap * row.sharp_share;
        }
    }
    return {covered > 0.0 ? sum / covered : 0.0, covered};
}

} // namespace

void FrameStatsFile::add(double dt_ms, uint32_t leaves, double sharp_share, uint64_t pending_tiles)
{
    Row row;
    row.frame = m_rows.size();
    row.time_s = m_rows.empty() ? 0.0 : m_rows.back().time_s + m_rows.back().dt_ms / 1000.0;
    row.dt_ms = dt_ms;
    row.leaves = leaves;
    row.sharp_share = sharp_share;
    row.pending_tiles = pending_tiles;
    m_rows.push_back(row);
}

bool FrameStatsFile::write() const
{
    std::string text = std::string(HEADER) + "\n";
    for (const Row& row : m_rows)
        text += fmt::format("{},{:.4f},{:.3f},{},{:.4f},{}\n", row.frame, row.time_s, row.dt_ms, row.leaves,
                            row.sharp_share, row.pending_tiles);
    std::ofstream file(m_path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        console::eprint("Could not write the frame statistics {}: {}\n", console::quoted(m_path), std::strerror(errno));
        return false;
    }
    file.write(text.data(), std::streamsize(text.size()));
    file.close();
    if (!file) {
        console::eprint("Could not write the frame statistics {}: the file cannot be written\n", console::quoted(m_path));
        return false;
    }
    return true;
}

std::optional<FrameStatsFile> FrameStatsFile::read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        console::eprint("Could not read the frame statistics {}: {}\n", console::quoted(path), std::strerror(errno));
        return std::nullopt;
    }
    std::string line;
    if (!std::getline(in, line) || line != HEADER) {
        console::eprint("Could not read the frame statistics {}: the first line is not \"{}\"\n", console::quoted(path),
                        HEADER);
        return std::nullopt;
    }
    FrameStatsFile file(path);
    while (std::getline(in, line))
        if (const std::optional<Row> row = parse_row(line))
            file.m_rows.push_back(*row);
    return file;
}

std::optional<FrameStatsFile::Summary> FrameStatsFile::summarize(double from_s, double to_s) const
{
    Summary summary;
    for (const Row& row : m_rows)
        summary.frames += row.time_s < to_s && row.time_s + row.dt_ms / 1000.0 > from_s ? 1 : 0;
    const auto [mean, covered] = weighted_share(m_rows, from_s, to_s);
    if (summary.frames == 0 || !(covered > 0.0))
        return std::nullopt;
    summary.mean = mean;
    summary.worst_second = mean;
    summary.worst_second_from_s = from_s;
    bool first = true;
    for (double start = from_s; start + 1.0 <= to_s + 1e-9; start += 1.0) {
        const auto [second, seen] = weighted_share(m_rows, start, start + 1.0);
        if (seen > 0.0 && (first || second < summary.worst_second)) {
            summary.worst_second = second;
            summary.worst_second_from_s = start;
            first = false;
        }
    }
    return summary;
}

#include "tools/RequestPath.h"

#include <charconv>

namespace tileserver {

namespace {

// Splits "/a/b/c" into {"a", "b", "c"}; empty segments (a doubled or trailing slash) are kept,
// so they fail the parse instead of being silently skipped.
std::vector<std::string_view> segments_of(std::string_view path)
{
    std::vector<std::string_view> segments;
    if (path.empty() || path.front() != '/') {
        return segments;
    }
    path.remove_prefix(1);
    for (;;) {
        size_t slash = path.find('/');
        segments.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return segments;
}

// A decimal number of digits only, no sign, at most 9 digits.
std::optional<long> number_of(std::string_view text)
{
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    return value;
}

std::optional<TileAddress> address_of(std::string_view z, std::string_view x, std::string_view y)
{
    auto zoom = number_of(z);
    auto column = number_of(x);
    auto row = number_of(y);
    if (!zoom || !column || !row || *zoom > static_cast<long>(MAX_ZOOM)) {
        return std::nullopt;
    }
    TileAddress tile{static_cast<uint32_t>(*zoom), static_cast<uint32_t>(*column), static_cast<uint32_t>(*row)};
    if (!is_valid(tile)) {
        return std::nullopt;
    }
    return tile;
}

std::optional<Layer> elevation_layer(std::string_view encoding)
{
    if (encoding == "rg") {
        return Layer::ElevationRg;
    }
    if (encoding == "byte") {
        return Layer::ElevationByte;
    }
    if (encoding == "terrarium") {
        return Layer::ElevationTerrarium;
    }
    if (encoding == "terrain-rgb") {
        return Layer::ElevationTerrainRgb;
    }
    return std::nullopt;
}

// The row number of a last segment "{y}.ext" or "{y}@2x.ext" (extension already checked), and
// the tile size it asks for.
std::string_view row_of(std::string_view last, int& size)
{
    std::string_view row = last.substr(0, last.size() - 4);
    size = TILE_SIZE;
    if (row.ends_with("@2x")) {
        row.remove_suffix(3);
        size = LARGE_TILE_SIZE;
    }
    return row;
}

std::string join_from(const std::vector<std::string_view>& segments, size_t first)
{
    std::string path;
    for (size_t i = first; i < segments.size(); ++i) {
        path += '/';
        path += segments[i];
    }
    return path;
}

} // namespace

std::optional<TileRequest> parse_tile_path(std::string_view path)
{
    std::vector<std::string_view> s = segments_of(path);
    TileRequest request;
    size_t i = 0;
    for (;;) {
        if (i >= s.size()) {
            return std::nullopt;
        }
        std::string_view head = s[i];
        if ((head == "status" || head == "slow" || head == "redirect" || head == "size" || head == "deepest") &&
            i + 1 < s.size()) {
            auto value = number_of(s[i + 1]);
            Injection injection;
            if (head == "status") {
                if (!value || *value < 200 || *value > 599) {
                    return std::nullopt;
                }
                injection.kind = Injection::Kind::Status;
            } else if (head == "slow") {
                if (!value || *value > MAX_SLOW_MS) {
                    return std::nullopt;
                }
                injection.kind = Injection::Kind::Slow;
            } else if (head == "size") {
                if (!value || *value < 1 || *value > MAX_SIZE_PIXELS) {
                    return std::nullopt;
                }
                injection.kind = Injection::Kind::Size;
            } else if (head == "deepest") {
                if (!value || *value > 30) {
                    return std::nullopt;
                }
                injection.kind = Injection::Kind::Deepest;
            } else {
                if (!value || *value > MAX_REDIRECTS) {
                    return std::nullopt;
                }
                injection.kind = Injection::Kind::Redirect;
                injection.rest = join_from(s, i + 2);
            }
            injection.value = static_cast<int>(*value);
            request.injections.push_back(std::move(injection));
            i += 2;
        } else if (head == "corrupt" || head == "huge" || head == "bigimage") {
            Injection injection;
            injection.kind = head == "corrupt" ? Injection::Kind::Corrupt
                             : head == "huge"  ? Injection::Kind::Huge
                                               : Injection::Kind::BigImage;
            request.injections.push_back(std::move(injection));
            i += 1;
        } else {
            break;
        }
    }

    size_t left = s.size() - i;
    std::optional<TileAddress> tile;
    if (s[i] == "imagery" && left == 4) {
        std::string_view last = s[i + 3];
        if (last.ends_with(".png")) {
            request.layer = Layer::ImageryPng;
        } else if (last.ends_with(".jpg")) {
            request.layer = Layer::ImageryJpeg;
        } else {
            return std::nullopt;
        }
        tile = address_of(s[i + 1], s[i + 2], row_of(last, request.size));
    } else if (s[i] == "elevation" && left == 5) {
        std::optional<Layer> layer = elevation_layer(s[i + 1]);
        std::string_view last = s[i + 4];
        if (!layer || !last.ends_with(".png")) {
            return std::nullopt;
        }
        request.layer = *layer;
        tile = address_of(s[i + 2], s[i + 3], row_of(last, request.size));
    }
    if (!tile) {
        return std::nullopt;
    }
    request.tile = *tile;
    return request;
}

std::string redirect_target(int remaining, const std::string& rest)
{
    if (remaining <= 1) {
        return rest;
    }
    return "/redirect/" + std::to_string(remaining - 1) + rest;
}

} // namespace tileserver

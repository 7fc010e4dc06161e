#include "terrain/RunwayIndex.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "terrain/RunwayGround.h"
#include "tiles/WebMercator.h"

namespace {

constexpr int64_t CELLS = int64_t{1} << RunwayIndex::CELL_ZOOM;
const double CELL_SIZE = EARTH_CIRCUMFERENCE / static_cast<double>(CELLS);

// The bits of v moved to the even places: 0b1011 → 0b1000101.
uint64_t spread_bits(uint64_t v)
{
    v &= 0xffffffffull;
    v = (v | (v << 16)) & 0x0000ffff0000ffffull;
    v = (v | (v << 8)) & 0x00ff00ff00ff00ffull;
    v = (v | (v << 4)) & 0x0f0f0f0f0f0f0f0full;
    v = (v | (v << 2)) & 0x3333333333333333ull;
    v = (v | (v << 1)) & 0x5555555555555555ull;
    return v;
}

uint64_t morton(uint64_t column, uint64_t row)
{
    return spread_bits(column) | (spread_bits(row) << 1);
}

int64_t cell_of(double m)
{
    return static_cast<int64_t>(std::floor(m / CELL_SIZE));
}

int64_t wrapped_column(int64_t column)
{
    return ((column % CELLS) + CELLS) % CELLS;
}

// Calls visit(key) for each cell the box touches, columns wrapped around the antimeridian,
// rows clamped to the map.
template <typename Visit>
void for_each_cell(const MercatorBox& box, Visit visit)
{
    int64_t first_column = cell_of(box.min_x);
    int64_t last_column = cell_of(box.max_x);
    if (last_column - first_column >= CELLS) {
        first_column = 0;
        last_column = CELLS - 1;
    }
    const int64_t first_row = std::clamp<int64_t>(cell_of(box.min_y), 0, CELLS - 1);
    const int64_t last_row = std::clamp<int64_t>(cell_of(box.max_y), 0, CELLS - 1);
    for (int64_t row = first_row; row <= last_row; ++row)
        for (int64_t column = first_column; column <= last_column; ++column)
            visit(morton(static_cast<uint64_t>(wrapped_column(column)), static_cast<uint64_t>(row)));
}

// Whether the box overlaps [x0, x1] × [y0, y1], the box shifted by a whole turn if need be.
bool overlaps(const MercatorBox& box, double x0, double y0, double x1, double y1)
{
    if (box.max_y < y0 || box.min_y > y1)
        return false;
    for (double shift : {0.0, -EARTH_CIRCUMFERENCE, EARTH_CIRCUMFERENCE})
        if (box.max_x + shift >= x0 && box.min_x + shift <= x1)
            return true;
    return false;
}

int compare_ident(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::toupper(static_cast<unsigned char>(a[i]));
        const int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

void sort_unique(std::vector<uint32_t>& values)
{
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
}

} // namespace

RunwayIndex::RunwayIndex(std::vector<Runway> runways)
    : m_runways(std::move(runways))
{
    m_shapes.reserve(m_runways.size());
    m_cells.reserve(m_runways.size() + m_runways.size() / 8);
    for (uint32_t i = 0; i < m_runways.size(); ++i) {
        m_shapes.emplace_back(m_runways[i]);
        for_each_cell(m_shapes.back().bounds(FLATTENING_REACH_M), [&](uint64_t key) { m_cells.emplace_back(key, i); });
    }
    std::sort(m_cells.begin(), m_cells.end());
    m_by_airport.resize(m_runways.size());
    for (uint32_t i = 0; i < m_runways.size(); ++i)
        m_by_airport[i] = i;
    std::stable_sort(m_by_airport.begin(), m_by_airport.end(), [this](uint32_t a, uint32_t b) {
        return compare_ident(m_runways[a].airport, m_runways[b].airport) < 0;
    });
}

void RunwayIndex::collect(uint64_t first, uint64_t last, std::vector<uint32_t>& out) const
{
    auto it = std::lower_bound(m_cells.begin(), m_cells.end(), std::pair<uint64_t, uint32_t>(first, 0));
    for (; it != m_cells.end() && it->first < last; ++it)
        out.push_back(it->second);
}

std::vector<uint32_t> RunwayIndex::reaching_into(const TileId& tile) const
{
    std::vector<uint32_t> found;
    if (m_runways.empty() || tile.zoom > 30 || tile.x >= tiles_per_side(tile.zoom) || tile.y >= tiles_per_side(tile.zoom))
        return found;
    if (tile.zoom >= CELL_ZOOM) {
        const uint32_t shift = tile.zoom - CELL_ZOOM;
        const uint64_t key = morton(tile.x >> shift, tile.y >> shift);
        collect(key, key + 1, found);
    } else {
        // The tile's cells are the keys sharing its own key's leading bits.
        const uint32_t shift = 2 * (CELL_ZOOM - tile.zoom);
        const uint64_t key = morton(tile.x, tile.y);
        collect(key << shift, (key + 1) << shift, found);
        sort_unique(found);
    }
    const double size = tile_size(tile.zoom);
    const double x0 = tile.x * size;
    const double y0 = tile.y * size;
    std::erase_if(found, [&](uint32_t i) {
        return !overlaps(m_shapes[i].bounds(FLATTENING_REACH_M), x0, y0, x0 + size, y0 + size);
    });
    return found;
}

std::vector<NearbyRunway> RunwayIndex::near(const LatLon& position, double radius_m) const
{
    std::vector<NearbyRunway> nearby;
    if (m_runways.empty() || !(radius_m >= 0.0) || !(std::abs(position.lat) <= 90.0) || !std::isfinite(position.lon) ||
        !std::isfinite(radius_m))
        return nearby;
    // The circle's box on the plane: Mercator stretches most on its poleward side.
    const double reach_deg = radius_m / 111000.0;
    const double poleward = std::min(std::abs(position.lat) + reach_deg, 85.06);
    const double half = radius_m / std::cos(poleward * DEG_TO_RAD);
    const double mx = mercator_x(position.lon);
    const double my = mercator_y(std::clamp(position.lat, -85.06, 85.06));
    std::vector<uint32_t> candidates;
    for_each_cell(MercatorBox{mx - half, my - half, mx + half, my + half},
                  [&](uint64_t key) { collect(key, key + 1, candidates); });
    sort_unique(candidates);
    for (uint32_t i : candidates) {
        const double distance = great_circle_distance(position, m_shapes[i].position(RunwayPoint{}));
        if (distance <= radius_m)
            nearby.push_back({i, distance});
    }
    std::sort(nearby.begin(), nearby.end(), [](const NearbyRunway& a, const NearbyRunway& b) {
        return a.distance_m != b.distance_m ? a.distance_m < b.distance_m : a.runway < b.runway;
    });
    return nearby;
}

std::pair<size_t, size_t> RunwayIndex::airport_range(std::string_view airport) const
{
    const auto first = std::partition_point(m_by_airport.begin(), m_by_airport.end(), [&](uint32_t i) {
        return compare_ident(m_runways[i].airport, airport) < 0;
    });
    const auto last = std::partition_point(first, m_by_airport.end(), [&](uint32_t i) {
        return compare_ident(m_runways[i].airport, airport) == 0;
    });
    return {static_cast<size_t>(first - m_by_airport.begin()), static_cast<size_t>(last - m_by_airport.begin())};
}

bool RunwayIndex::has_airport(std::string_view airport) const
{
    const auto [first, last] = airport_range(airport);
    return first < last;
}

std::optional<RunwayIndex::Found> RunwayIndex::find(std::string_view airport, std::string_view designator) const
{
    if (designator.empty())
        return std::nullopt;
    const auto [first, last] = airport_range(airport);
    for (size_t k = first; k < last; ++k) {
        const Runway& runway = m_runways[m_by_airport[k]];
        for (int end : {LOW_END, HIGH_END})
            if (same_designator(runway.ends[end].ident, designator))
                return Found{m_by_airport[k], end};
    }
    return std::nullopt;
}

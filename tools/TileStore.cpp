#include "tools/TileStore.h"

#include "tools/ImageEncoding.h"

namespace tileserver {

TileStore::TileStore(size_t body_bytes, size_t terrain_tiles, int imagery_grain)
    : m_bodies(body_bytes), m_terrain(terrain_tiles), m_imagery_grain(imagery_grain)
{
}

const char* TileStore::content_type(Layer layer) { return layer == Layer::ImageryJpeg ? "image/jpeg" : "image/png"; }

std::shared_ptr<const TileTerrain> TileStore::terrain(const TileAddress& tile, int size)
{
    uint64_t key = pack(tile, size);
    if (auto cached = m_terrain.get(key)) {
        return cached;
    }
    auto made = std::make_shared<const TileTerrain>(compute_terrain(tile, size));
    // Counted in 256-pixel tiles, so 512-pixel terrain does not quadruple the memory held.
    m_terrain.put(key, made, static_cast<size_t>(size / TILE_SIZE) * static_cast<size_t>(size / TILE_SIZE));
    return made;
}

std::shared_ptr<const std::string> TileStore::body(Layer layer, const TileAddress& tile, int size)
{
    std::pair<int, uint64_t> key{static_cast<int>(layer), pack(tile, size)};
    if (auto cached = m_bodies.get(key)) {
        return cached;
    }
    std::shared_ptr<const TileTerrain> ground = terrain(tile, size);
    std::string encoded;
    const auto imagery = [&] {
        std::vector<uint8_t> rgb = render_imagery(tile, *ground);
        if (m_imagery_grain > 0)
            add_grain(rgb, tile, size, m_imagery_grain);
        return rgb;
    };
    switch (layer) {
    case Layer::ImageryPng:
        encoded = encode_png(imagery(), size, size);
        break;
    case Layer::ImageryJpeg:
        encoded = encode_jpeg(imagery(), size, size);
        break;
    case Layer::ElevationRg:
        encoded = encode_png(render_elevation_rg(*ground), size, size);
        break;
    case Layer::ElevationByte:
        encoded = encode_png(render_elevation_byte(*ground), size, size);
        break;
    case Layer::ElevationTerrarium:
        encoded = encode_png(render_elevation_terrarium(*ground), size, size);
        break;
    case Layer::ElevationTerrainRgb:
        encoded = encode_png(render_elevation_terrain_rgb(*ground), size, size);
        break;
    }
    auto made = std::make_shared<const std::string>(std::move(encoded));
    if (!made->empty()) {
        m_bodies.put(key, made, made->size());
    }
    return made;
}

} // namespace tileserver

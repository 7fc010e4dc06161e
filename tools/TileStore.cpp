#include "tools/TileStore.h"

#include "tools/ImageEncoding.h"

namespace tileserver {

TileStore::TileStore(size_t body_bytes, size_t terrain_tiles) : m_bodies(body_bytes), m_terrain(terrain_tiles) {}

const char* TileStore::content_type(Layer layer) { return layer == Layer::ImageryJpeg ? "image/jpeg" : "image/png"; }

std::shared_ptr<const TileTerrain> TileStore::terrain(const TileAddress& tile)
{
    uint64_t key = pack(tile);
    if (auto cached = m_terrain.get(key)) {
        return cached;
    }
    auto made = std::make_shared<const TileTerrain>(compute_terrain(tile));
    m_terrain.put(key, made, 1);
    return made;
}

std::shared_ptr<const std::string> TileStore::body(Layer layer, const TileAddress& tile)
{
    std::pair<int, uint64_t> key{static_cast<int>(layer), pack(tile)};
    if (auto cached = m_bodies.get(key)) {
        return cached;
    }
    std::shared_ptr<const TileTerrain> ground = terrain(tile);
    std::string encoded;
    switch (layer) {
    case Layer::ImageryPng:
        encoded = encode_png(render_imagery(tile, *ground), TILE_SIZE, TILE_SIZE);
        break;
    case Layer::ImageryJpeg:
        encoded = encode_jpeg(render_imagery(tile, *ground), TILE_SIZE, TILE_SIZE);
        break;
    case Layer::ElevationRg:
        encoded = encode_png(render_elevation_rg(*ground), TILE_SIZE, TILE_SIZE);
        break;
    case Layer::ElevationByte:
        encoded = encode_png(render_elevation_byte(*ground), TILE_SIZE, TILE_SIZE);
        break;
    }
    auto made = std::make_shared<const std::string>(std::move(encoded));
    if (!made->empty()) {
        m_bodies.put(key, made, made->size());
    }
    return made;
}

} // namespace tileserver

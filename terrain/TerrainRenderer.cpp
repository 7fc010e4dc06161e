#include "terrain/TerrainRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "console/Console.h"
#include "gfx/Camera.h"
#include "gfx/gl/gl.h"
#include "terrain/Frustum.h"
#include "terrain/LodSelection.h"
#include "terrain/TilePriority.h"
#include "tiles/WebMercator.h"

namespace {

std::string terrain_shader_path(const Config& config, const char* name)
{
    return (config.base_path / "assets/shaders" / name).string();
}

// Valid configurations have at least 2; a smaller count would divide by zero in the grid.
uint32_t chunk_edge_count(const Config& config)
{
    return static_cast<uint32_t>(std::max<int32_t>(config.chunk_vertex_count, 2));
}

glm::vec2 rect_min(const UVRect& rect)
{
    return {static_cast<float>(rect.u_min), static_cast<float>(rect.v_min)};
}

glm::vec2 rect_max(const UVRect& rect)
{
    return {static_cast<float>(rect.u_max), static_cast<float>(rect.v_max)};
}

} // namespace

float skirt_depth(float tile_width, uint32_t edge_vertex_count)
{
    return tile_width * 3.0f / static_cast<float>(std::max<uint32_t>(edge_vertex_count, 2) - 1);
}

LeafBox leaf_bounds(const Node& leaf, double scaling_factor, double height_correction, uint32_t edge_vertex_count,
                    ElevationEncoding encoding)
{
    const auto width = static_cast<float>(leaf.bounds_max.x - leaf.bounds_min.x);
    const double to_world = scaling_factor / std::max(height_correction, 1e-4);
    const double top = max_encoded_elevation(encoding) * to_world;
    const double bottom = std::min(0.0, static_cast<double>(min_encoded_elevation(encoding)) * to_world);
    return {glm::vec3(static_cast<float>(leaf.bounds_min.x), static_cast<float>(bottom) - skirt_depth(width, edge_vertex_count),
                      static_cast<float>(leaf.bounds_min.z)),
            glm::vec3(static_cast<float>(leaf.bounds_max.x), static_cast<float>(top),
                      static_cast<float>(leaf.bounds_max.z))};
}

TerrainRenderer::TerrainRenderer(double scaling_factor_, uint32_t min_zoom_, uint32_t zoom_range,
                                 const Config& config_, const LatLon& origin_)
    : scaling_factor(scaling_factor_)
    , origin(origin_)
    , origin_x(mercator_x(origin_.lon))
    , origin_y(mercator_y(origin_.lat))
    , config(&config_)
    , min_zoom(min_zoom_)
    , max_zoom(min_zoom_ + zoom_range)
    , atmosphere(config_)
    , shader(terrain_shader_path(config_, "terrain.vert"), terrain_shader_path(config_, "terrain.frag"))
    , chunk(chunk_edge_count(config_), 1.0f)
    , base_zoom(min_zoom_)
    , texture_cache(config_)
{
    glGenSamplers(1, &m_imagery_sampler);
    glSamplerParameteri(m_imagery_sampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glSamplerParameteri(m_imagery_sampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameteri(m_imagery_sampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(m_imagery_sampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    texture_cache.preload_largest_tile(origin, base_zoom);
}

TerrainRenderer::~TerrainRenderer()
{
    glDeleteSamplers(1, &m_imagery_sampler);
}

glm::vec3 TerrainRenderer::get_sun_direction() const
{
    return sun_direction(atmosphere.sun_elevation, atmosphere.sun_azimuth);
}

gfx::Texture* TerrainRenderer::layer_texture(const Node& leaf, TileKind kind, UVRect& uv, TileId& id)
{
    // A server serves nothing finer than its max zoom, and nothing else would ever request the
    // max-zoom ancestor of such a leaf; ask for that ancestor and draw its part instead.
    const int32_t server_max = kind == TileKind::ELEVATION ? config->elevation_server.max_zoom
                                                            : config->texture_server.max_zoom;
    TileId wanted = leaf.tile;
    while (static_cast<int64_t>(wanted.zoom) > std::max<int32_t>(server_max, 0)) {
        wanted = parent_tile(wanted);
    }
    gfx::Texture* texture = texture_cache.find_texture(wanted, kind);
    if (texture == nullptr) {
        const double cx = (leaf.bounds_min.x + leaf.bounds_max.x) * 0.5 - m_camera_position.x;
        const double cz = (leaf.bounds_min.z + leaf.bounds_max.z) * 0.5 - m_camera_position.z;
        const double distance = std::sqrt(cx * cx + cz * cz + double(m_camera_position.y) * m_camera_position.y);
        const bool stand_in = texture_cache.has_resident_ancestor(wanted, kind, base_zoom);
        texture = texture_cache.get_texture(
            wanted, kind, tile_priority(stand_in, wanted.zoom, distance, leaf.bounds_max.x - leaf.bounds_min.x));
    }
    if (texture != nullptr && wanted != leaf.tile) {
        uv = sub_rectangle(leaf.tile, wanted);
        id = wanted;
    }
    return texture;
}

gfx::Texture* TerrainRenderer::find_fallback(const Node& node, TileKind kind, UVRect& uv, TileId& id)
{
    const TileId tile = node.tile;
    if (tile.zoom <= base_zoom) {
        return texture_cache.find_fallback(tile, kind, base_zoom, uv, id);
    }
    TileId largest = tile;
    while (largest.zoom > base_zoom) {
        largest = parent_tile(largest);
    }
    const TileKey key{largest, kind};
    const auto now = std::chrono::steady_clock::now();
    auto failed = m_failed_largest.find(key);
    if (failed != m_failed_largest.end() && now < failed->second) {
        // Its blocking load failed a moment ago: without this, every leaf of every frame
        // would wait for the same failing fetch again. Use what is resident, load nothing.
        TileId ancestor = tile;
        while (ancestor.zoom > base_zoom) {
            ancestor = parent_tile(ancestor);
            if (gfx::Texture* texture = texture_cache.find_texture(ancestor, kind)) {
                id = ancestor;
                uv = sub_rectangle(tile, ancestor);
                return texture;
            }
        }
        return nullptr;
    }
    gfx::Texture* texture = texture_cache.find_fallback(tile, kind, base_zoom, uv, id);
    if (texture == nullptr) {
        m_failed_largest[key] = now + LARGEST_TILE_RETRY;
    } else if (failed != m_failed_largest.end()) {
        m_failed_largest.erase(failed);
    }
    return texture;
}

double TerrainRenderer::get_elevation(double x, double z, bool blocking)
{
    const uint32_t zoom = static_cast<uint32_t>(std::max<int32_t>(config->elevation_server.max_zoom, 0));
    return static_cast<double>(texture_cache.elevation_at(world_to_latlon(x, z), zoom, blocking));
}

void TerrainRenderer::render(gfx::Camera& camera, const glm::mat4& light_space)
{
    texture_cache.begin_frame();
    m_stats = TerrainFrameStats{};

    // Selection: LOD centre, automatic zoom, centre fields, the tree.
    const WorldFrame frame = world_frame();
    LodSettings settings;
    settings.manual_zoom = manual_zoom;
    settings.smart_lod_center = smart_lod_center;
    settings.max_horizon = max_horizon;
    settings.lod_selection = lod_selection;
    settings.min_zoom = min_zoom;
    settings.max_zoom = max_zoom;
    const glm::vec3 camera_position = camera.get_world_position();
    m_camera_position = camera_position;
    const LodSelection selection = select_lod(frame, settings, camera_position, camera.get_z_axis());
    if (!manual_zoom) {
        max_zoom = selection.max_zoom;
    }
    center_coord = selection.center_coord;
    center_tile = selection.center_tile;
    const QuadTree tree(selection.center_coord, min_zoom, max_zoom, split_factor, frame);
    const double altitude = selection.altitude;
    const auto height_correction = static_cast<float>(std::abs(std::cos(selection.camera.lat * DEG_TO_RAD)));

    if (wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }

    const bool lifted = camera_position.y > NEAR_LIFT_HEIGHT;
    const float previous_near = camera.get_near();
    if (lifted) {
        camera.set_near(LIFTED_NEAR);
    }

    // The scattering table must be current before the terrain samples it for aerial
    // perspective; the sky reads the same table afterwards.
    atmosphere.update_table(altitude);
    m_stats.table_rebuilt = atmosphere.table_rebuilt();
    atmosphere.get_precomputed_texture().bind(2);
    shader.use();

    shader.set_mat4("u_view", camera.get_view());
    shader.set_mat4("u_proj", camera.get_projection());
    shader.set_int("u_shadow_texture", 3);
    shader.set_mat4("u_light_space", light_space);
    shader.set_vec3("u_camera_position", camera_position);
    shader.set_float("u_height_correction_factor", height_correction);
    shader.set_float("u_terrain_scaling_factor", static_cast<float>(scaling_factor));
    shader.set_float("u_edge_vertex_count", static_cast<float>(chunk.edge_vertex_count));
    shader.set_float("u_camera_far", camera.get_far());
    shader.set_int("u_visualize_zoom", visualize_lod ? 1 : 0);
    shader.set_int("u_shading", shading ? 1 : 0);
    shader.set_int("u_visualize_normals", visualize_normals ? 1 : 0);
    shader.set_vec3("u_sun_direction", get_sun_direction());
    shader.set_int("u_render_atmosphere", atmosphere.scattering ? 1 : 0);
    shader.set_int("u_ignore_elevation", misc_debug ? 1 : 0);
    shader.set_float("u_camera_altitude", static_cast<float>(altitude));
    shader.set_int("u_view_samples", atmosphere.view_samples);
    shader.set_int("u_light_samples", atmosphere.light_samples);
    shader.set_int("u_precomputed_texture", 2);

    const std::vector<const Node*> leaves = tree.sorted_leaves();
    m_stats.leaves = static_cast<uint32_t>(leaves.size());
    // A program that failed to build has no uniforms to set; drawing with it would only
    // raise GL errors every frame until a reload fixes it.
    if (render_terrain && shader.id() != 0) {
        // Imagery is sampled from the nearest mip level, not blended between two: a software
        // rasteriser pays for every texel read, and the difference is hard to see on terrain.
        glBindSampler(0, m_imagery_sampler);
        const Frustum frustum(camera.get_view_projection());
        for (const Node* leaf : leaves) {
            if (frustum_culling) {
                const LeafBox box = leaf_bounds(*leaf, scaling_factor, height_correction, chunk.edge_vertex_count,
                                                 config->elevation_encoding);
                if (frustum.box_outside(box.min, box.max)) {
                    ++m_stats.culled;
                    m_stats.culled_tiles.push_back(leaf->tile);
                    continue;
                }
            }
            UVRect imagery_rect;
            UVRect elevation_rect;
            TileId imagery_tile = leaf->tile;
            TileId elevation_tile = leaf->tile;
            gfx::Texture* imagery = layer_texture(*leaf, TileKind::TEXTURE, imagery_rect, imagery_tile);
            gfx::Texture* elevation = layer_texture(*leaf, TileKind::ELEVATION, elevation_rect, elevation_tile);
            const bool own_imagery = imagery != nullptr;
            const bool own_elevation = elevation != nullptr;
            if (fallback) {
                if (imagery == nullptr) {
                    imagery = find_fallback(*leaf, TileKind::TEXTURE, imagery_rect, imagery_tile);
                }
                if (elevation == nullptr) {
                    elevation = find_fallback(*leaf, TileKind::ELEVATION, elevation_rect, elevation_tile);
                }
            }
            m_stats.imagery_fallback += own_imagery ? 0 : 1;
            m_stats.elevation_fallback += own_elevation ? 0 : 1;

            const auto f = static_cast<float>(
                std::pow(2.0, static_cast<double>(static_cast<float>(leaf->tile.zoom - elevation_tile.zoom))));
            shader.set_uint("u_zoom", leaf->tile.zoom);
            shader.set_uint("u_fallback_zoom", elevation_tile.zoom);
            shader.set_vec2("u_tile_size",
                            glm::vec2(static_cast<float>((leaf->bounds_max.x - leaf->bounds_min.x) * f),
                                      static_cast<float>((leaf->bounds_max.z - leaf->bounds_min.z) * f)));
            shader.set_int("u_albedo_texture_enabled", imagery != nullptr ? 1 : 0);
            if (imagery != nullptr) {
                imagery->bind(0);
                shader.set_int("u_albedo_texture", 0);
                shader.set_vec2("u_albedo_uv_min", rect_min(imagery_rect));
                shader.set_vec2("u_albedo_uv_max", rect_max(imagery_rect));
            }
            shader.set_int("u_height_texture_enabled", elevation != nullptr ? 1 : 0);
            if (elevation != nullptr) {
                elevation->bind(1);
                shader.set_int("u_height_texture", 1);
                shader.set_vec2("u_height_uv_min", rect_min(elevation_rect));
                shader.set_vec2("u_height_uv_max", rect_max(elevation_rect));
            }
            chunk.draw(shader,
                       glm::vec2(static_cast<float>(leaf->bounds_min.x), static_cast<float>(leaf->bounds_min.z)),
                       glm::vec2(static_cast<float>(leaf->bounds_max.x), static_cast<float>(leaf->bounds_max.z)));
            ++m_stats.drawn;
        }
        glBindSampler(0, 0);
    }

    if (lifted) {
        camera.set_near(previous_near);
    }
    if (render_atmosphere && !wireframe) {
        atmosphere.render(camera, altitude);
        m_stats.sky_drawn = true;
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

bool TerrainRenderer::reload_shaders()
{
    bool ok = shader.reload();
    ok = atmosphere.reload() && ok;
    if (ok) {
        console::out("Reloaded terrain shaders!\n");
    }
    return ok;
}

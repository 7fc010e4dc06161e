#include "terrain/TerrainRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "console/Console.h"
#include "gfx/Camera.h"
#include "gfx/gl/gl.h"
#include "terrain/Frustum.h"
#include "terrain/LodSelection.h"
#include "terrain/TilePriority.h"
#include "tiles/WebMercator.h"

namespace {

std::string terrain_shader_path(const TerrainSettings& settings, const char* name)
{
    return (settings.shader_dir / name).string();
}

// Valid configurations have at least 2; a smaller count would divide by zero in the grid.
uint32_t chunk_edge_count(const TerrainSettings& settings)
{
    return std::max<uint32_t>(settings.chunk_vertex_count, 2);
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

TerrainRenderer::TerrainRenderer(const TerrainSettings& settings, HeightStore& heights_)
    : scaling_factor(settings.scaling_factor)
    , origin(settings.origin)
    , origin_x(mercator_x(settings.origin.lon))
    , origin_y(mercator_y(settings.origin.lat))
    , min_zoom(settings.min_zoom)
    , max_zoom(settings.min_zoom + settings.zoom_range)
    , atmosphere(AtmosphereSettings{settings.shader_dir})
    , shader(terrain_shader_path(settings, "terrain.vert"), terrain_shader_path(settings, "terrain.frag"))
    , chunk(chunk_edge_count(settings), 1.0f)
    , base_zoom(settings.min_zoom)
    , heights(heights_)
    , texture_cache(settings.imagery_server, heights_)
    , m_imagery_max_zoom(static_cast<uint32_t>(std::max(settings.imagery_server.max_zoom, 0)))
{
    // Each coarser grid halves the vertex count per edge, down to 4 (three quads).
    for (uint32_t n = chunk.edge_vertex_count / 2; n >= 4; n /= 2) {
        m_coarser_chunks.push_back(std::make_unique<Chunk>(n, 1.0f));
    }
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

TileId TerrainRenderer::layer_tile(const Node& leaf, TileKind kind) const
{
    // A server serves nothing finer than its max zoom, and nothing else would ever request the
    // max-zoom ancestor of such a leaf; ask for that ancestor and draw its part instead.
    const uint32_t server_max = kind == TileKind::ELEVATION ? heights.max_zoom() : m_imagery_max_zoom;
    TileId wanted = leaf.tile;
    while (wanted.zoom > server_max) {
        wanted = parent_tile(wanted);
    }
    return wanted;
}

gfx::Texture* TerrainRenderer::layer_texture(const Node& leaf, TileKind kind, UVRect& uv, TileId& id)
{
    const TileId wanted = layer_tile(leaf, kind);
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

size_t TerrainRenderer::grid_for(const LeafBox& box, const glm::mat4& view_projection, glm::vec2 viewport) const
{
    // The box's extent on screen from its eight corners; one behind the camera makes it
    // close enough for the finest grid.
    glm::vec2 low(1.0f);
    glm::vec2 high(-1.0f);
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec4 clip = view_projection * glm::vec4(corner & 1 ? box.max.x : box.min.x,
                                                           corner & 2 ? box.max.y : box.min.y,
                                                           corner & 4 ? box.max.z : box.min.z, 1.0f);
        if (clip.w <= 1e-6f)
            return 0;
        const glm::vec2 ndc = glm::vec2(clip) / clip.w;
        low = glm::min(low, ndc);
        high = glm::max(high, ndc);
    }
    low = glm::clamp(low, glm::vec2(-1.0f), glm::vec2(1.0f));
    high = glm::clamp(high, glm::vec2(-1.0f), glm::vec2(1.0f));
    const glm::vec2 pixels = glm::max(high - low, glm::vec2(0.0f)) * 0.5f * viewport;
    // A leaf seen edge-on at the horizon is wide but flat: its area, not its width, says how
    // many quads can show.
    const double wanted = std::sqrt(static_cast<double>(pixels.x) * pixels.y) / std::max(grid_pixels, 1.0);
    size_t grid = 0;
    while (grid < m_coarser_chunks.size() &&
           static_cast<double>(m_coarser_chunks[grid]->edge_vertex_count - 1) >= wanted)
        ++grid;
    return grid;
}

LodSettings TerrainRenderer::lod_settings() const
{
    LodSettings settings;
    settings.manual_zoom = manual_zoom;
    settings.smart_lod_center = smart_lod_center;
    settings.max_horizon = max_horizon;
    settings.lod_selection = lod_selection;
    settings.min_zoom = min_zoom;
    settings.max_zoom = max_zoom;
    return settings;
}

PrefetchSettings TerrainRenderer::prefetch_settings() const
{
    PrefetchSettings settings;
    settings.lod = lod_settings();
    settings.split_factor = split_factor;
    settings.imagery_max_zoom = m_imagery_max_zoom;
    settings.elevation_max_zoom = heights.max_zoom();
    return settings;
}

void TerrainRenderer::prepare(const gfx::Camera& camera, float viewport_height)
{
    using namespace gfx::frame;
    texture_cache.begin_frame();
    m_stats = TerrainFrameStats{};
    m_draws.clear();
    std::optional<gfx::CpuScope> cpu(std::in_place, profiler, SELECTION);

    // Selection: LOD centre, automatic zoom, centre fields, the tree.
    const WorldFrame frame = world_frame();
    const LodSettings settings = lod_settings();
    const glm::vec3 camera_position = camera.get_world_position();
    m_camera_position = camera_position;
    const LodSelection selection = select_lod(frame, settings, camera_position, camera.get_z_axis());
    if (!manual_zoom) {
        max_zoom = selection.max_zoom;
    }
    center_coord = selection.center_coord;
    center_tile = selection.center_tile;
    m_tree = std::make_unique<QuadTree>(selection.center_coord, min_zoom, max_zoom, split_factor, frame);
    m_altitude = selection.altitude;
    m_height_correction = static_cast<float>(std::abs(std::cos(selection.camera.lat * DEG_TO_RAD)));
    const std::vector<const Node*> leaves = m_tree->sorted_leaves();
    m_stats.leaves = static_cast<uint32_t>(leaves.size());

    // Textures, in the tree's coarse-to-fine order, so a coarse tile that stands in for
    // many fine ones is uploaded first when the budget runs short.
    cpu.emplace(profiler, TEXTURES);
    const double to_world = scaling_factor / std::max(static_cast<double>(m_height_correction), 1e-4);
    const Frustum frustum(camera.get_view_projection());
    const glm::mat4 view_projection = camera.get_view_projection();
    // The projection's aspect ratio gives the viewport's width.
    const glm::mat4& projection = camera.get_projection();
    const glm::vec2 viewport(viewport_height * projection[1][1] / projection[0][0], viewport_height);
    if (render_terrain && shader.id() != 0) {
        for (const Node* leaf : leaves) {
            LeafDraw draw;
            draw.leaf = leaf;
            draw.box = leaf_bounds(*leaf, scaling_factor, m_height_correction, chunk.edge_vertex_count,
                                   heights.encoding());
            if (frustum_culling && frustum.box_outside(draw.box.min, draw.box.max)) {
                ++m_stats.culled;
                m_stats.culled_tiles.push_back(leaf->tile);
                continue;
            }
            TileId imagery_tile = leaf->tile;
            TileId elevation_tile = leaf->tile;
            draw.imagery = layer_texture(*leaf, TileKind::TEXTURE, draw.imagery_rect, imagery_tile);
            draw.elevation = layer_texture(*leaf, TileKind::ELEVATION, draw.elevation_rect, elevation_tile);
            const bool own_imagery = draw.imagery != nullptr;
            const bool own_elevation = draw.elevation != nullptr;
            m_stats.imagery_fallback += own_imagery ? 0 : 1;
            m_stats.elevation_fallback += own_elevation ? 0 : 1;
            if (!own_imagery && texture_cache.failed_for_good(layer_tile(*leaf, TileKind::TEXTURE), TileKind::TEXTURE))
                ++m_stats.imagery_failed;
            if (!own_elevation && texture_cache.failed_for_good(layer_tile(*leaf, TileKind::ELEVATION), TileKind::ELEVATION))
                ++m_stats.elevation_failed;
            if (fallback) {
                if (draw.imagery == nullptr)
                    draw.imagery = find_fallback(*leaf, TileKind::TEXTURE, draw.imagery_rect, imagery_tile);
                if (draw.elevation == nullptr)
                    draw.elevation = find_fallback(*leaf, TileKind::ELEVATION, draw.elevation_rect, elevation_tile);
            }
            draw.elevation_zoom = elevation_tile.zoom;
            float ground_y = 0.0f; // the leaf taken as level here for its area on screen
            if (draw.elevation != nullptr) {
                draw.normals = texture_cache.find_normals(elevation_tile);
                // The leaf's part of the tile lies within the tile's own height range.
                if (const auto range = texture_cache.height_range(elevation_tile)) {
                    const float skirt = draw.box.max.x - draw.box.min.x;
                    draw.box.min.y = static_cast<float>(range->first * to_world) -
                                     skirt_depth(skirt, chunk.edge_vertex_count);
                    draw.box.max.y = static_cast<float>(range->second * to_world);
                    ground_y = static_cast<float>(0.5 * (range->first + range->second) * to_world);
                }
            }
            const glm::vec2 west_north(static_cast<float>(leaf->bounds_min.x), static_cast<float>(leaf->bounds_min.z));
            const glm::vec2 east_south(static_cast<float>(leaf->bounds_max.x), static_cast<float>(leaf->bounds_max.z));
            const double area = screen_area(view_projection, viewport,
                                            {glm::vec3(west_north.x, ground_y, west_north.y),
                                             glm::vec3(east_south.x, ground_y, west_north.y),
                                             glm::vec3(east_south.x, ground_y, east_south.y),
                                             glm::vec3(west_north.x, ground_y, east_south.y)});
            m_stats.coverage.add(area, own_imagery, own_elevation);
            const glm::vec3 nearest = glm::clamp(camera_position, draw.box.min, draw.box.max);
            draw.distance = glm::length(nearest - camera_position);
            draw.grid = grid_for(draw.box, view_projection, viewport);
            m_draws.push_back(draw);
        }
    }
    m_stats.deferred_uploads = texture_cache.deferred_uploads();
    // Nearest first: the depth test then spares the shading of whatever lies behind.
    std::stable_sort(m_draws.begin(), m_draws.end(),
                     [](const LeafDraw& a, const LeafDraw& b) { return a.distance < b.distance; });
    cpu.reset();

    // The scattering table must be current before the terrain samples it for aerial
    // perspective; the sky reads the same table afterwards.
    {
        gfx::GpuScope table(profiler, SKY);
        atmosphere.update_table(m_altitude);
    }
    m_stats.table_rebuilt = atmosphere.table_rebuilt();
    m_prepared = true;
}

void TerrainRenderer::render(gfx::Camera& camera, const glm::mat4& light_space)
{
    using namespace gfx::frame;
    if (!m_prepared) {
        GLint viewport[4] = {0, 0, 0, 0};
        glGetIntegerv(GL_VIEWPORT, viewport);
        prepare(camera, static_cast<float>(viewport[3]));
    }
    m_prepared = false;

    std::optional<gfx::GpuScope> terrain_pass(std::in_place, profiler, TERRAIN);
    std::optional<gfx::CpuScope> cpu(std::in_place, profiler, DRAW_CALLS);
    if (wireframe) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    }
    const glm::vec3 camera_position = camera.get_world_position();
    const float previous_near = camera.get_near();
    const bool lifted = near_plane(camera) != previous_near;
    if (lifted) {
        camera.set_near(near_plane(camera));
    }
    m_drawn_projection = camera.get_projection();

    if (!m_draws.empty()) {
        atmosphere.get_precomputed_texture().bind(2);
        atmosphere.get_sky_light_texture().bind(5);
        shader.use();
        shader.set_mat4("u_view", camera.get_view());
        shader.set_mat4("u_proj", camera.get_projection());
        shader.set_int("u_shadow_texture", 3);
        shader.set_mat4("u_light_space", light_space);
        shader.set_float("u_shadow_bias", shadow_bias);
        shader.set_vec3("u_camera_position", camera_position);
        shader.set_float("u_height_correction_factor", m_height_correction);
        shader.set_float("u_terrain_scaling_factor", static_cast<float>(scaling_factor));
        shader.set_float("u_camera_far", camera.get_far());
        shader.set_int("u_visualize_zoom", visualize_lod ? 1 : 0);
        shader.set_int("u_shading", shading ? 1 : 0);
        shader.set_int("u_visualize_normals", visualize_normals ? 1 : 0);
        shader.set_vec3("u_sun_direction", get_sun_direction());
        shader.set_int("u_render_atmosphere", atmosphere.scattering ? 1 : 0);
        shader.set_int("u_ignore_elevation", misc_debug ? 1 : 0);
        shader.set_float("u_camera_altitude", static_cast<float>(m_altitude));
        shader.set_int("u_precomputed_texture", 2);
        shader.set_int("u_sky_light", 5);
        shader.set_int("u_albedo_texture", 0);
        shader.set_int("u_height_texture", 1);
        shader.set_int("u_normal_texture", 4);

        // Imagery and normals are sampled from the nearest mip level, not blended between
        // two: a software rasteriser pays for every texel read, and the difference is hard to
        // see on terrain.
        glBindSampler(0, m_imagery_sampler);
        glBindSampler(4, m_imagery_sampler);
        // Only leaves inside the light's box can receive the shadow map's shadows; the others
        // skip its lookup.
        const Frustum light(light_space);
        for (const LeafDraw& draw : m_draws) {
            const Node& leaf = *draw.leaf;
            const Chunk& mesh = draw.grid == 0 ? chunk : *m_coarser_chunks[draw.grid - 1];
            shader.set_uint("u_zoom", leaf.tile.zoom);
            shader.set_uint("u_fallback_zoom", draw.elevation_zoom);
            shader.set_float("u_edge_vertex_count", static_cast<float>(mesh.edge_vertex_count));
            shader.set_int("u_receive_shadow", light.box_outside(draw.box.min, draw.box.max) ? 0 : 1);
            shader.set_int("u_albedo_texture_enabled", draw.imagery != nullptr ? 1 : 0);
            if (draw.imagery != nullptr) {
                draw.imagery->bind(0);
                shader.set_vec2("u_albedo_uv_min", rect_min(draw.imagery_rect));
                shader.set_vec2("u_albedo_uv_max", rect_max(draw.imagery_rect));
            }
            shader.set_int("u_height_texture_enabled", draw.elevation != nullptr ? 1 : 0);
            shader.set_int("u_normal_texture_enabled", draw.normals != nullptr ? 1 : 0);
            if (draw.elevation != nullptr) {
                draw.elevation->bind(1);
                if (draw.normals != nullptr)
                    draw.normals->bind(4);
                shader.set_vec2("u_height_uv_min", rect_min(draw.elevation_rect));
                shader.set_vec2("u_height_uv_max", rect_max(draw.elevation_rect));
            }
            mesh.draw(shader, glm::vec2(static_cast<float>(leaf.bounds_min.x), static_cast<float>(leaf.bounds_min.z)),
                      glm::vec2(static_cast<float>(leaf.bounds_max.x), static_cast<float>(leaf.bounds_max.z)));
            ++m_stats.drawn;
            m_stats.triangles += mesh.index_count / 3;
        }
        glBindSampler(4, 0);
        glBindSampler(0, 0);
        glActiveTexture(GL_TEXTURE0);
    }

    if (lifted) {
        camera.set_near(previous_near);
    }
    cpu.reset();
    terrain_pass.reset();
    if (render_atmosphere && !wireframe) {
        gfx::GpuScope sky(profiler, SKY);
        atmosphere.render(camera, m_altitude);
        m_stats.sky_drawn = true;
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

float TerrainRenderer::near_plane(const gfx::Camera& camera) const
{
    return may_lift_near && camera.get_world_position().y > NEAR_LIFT_HEIGHT ? LIFTED_NEAR : camera.get_near();
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

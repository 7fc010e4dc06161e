#pragma once

// Draws the streamed terrain and the sky once per frame. Each frame picks the tiles around the
// level-of-detail centre (a fresh quadtree), draws every leaf with a chunk mesh lifted by its
// elevation texture and coloured by its imagery, nearest leaves first, and then the sky. Tiles
// not on the GPU yet are requested and meanwhile drawn with part of a resident ancestor's
// texture. A leaf gets a grid no denser than the screen can show: its quads stay about
// grid_pixels wide on screen, up to the configured chunk_vertex_count.
//
// A frame is prepared (selection, texture uploads, the scattering table) before its passes
// draw: work that renders into textures, done between a pass's draws, makes a software
// rasteriser finish everything queued so far on the spot.
//
// Render thread only: every member function makes GL calls or reads the texture cache.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include <GL/glew.h>
#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "gfx/PassProfiler.h"
#include "gfx/Shader.h"
#include "terrain/Atmosphere.h"
#include "terrain/Chunk.h"
#include "terrain/HeightStore.h"
#include "terrain/QuadTree.h"
#include "terrain/SharpShare.h"
#include "terrain/TextureCache.h"
#include "terrain/TilePrediction.h"
#include "terrain/TileKey.h"
#include "terrain/WorldFrame.h"
#include "tiles/ElevationEncoding.h"
#include "tiles/TileId.h"
#include "tiles/TileServerConfig.h"

namespace gfx {
class Camera;
}

// What the last render call drew; the capture mode's settled test and the benchmarks read it.
struct TerrainFrameStats {
    uint32_t leaves = 0;             // leaves the quadtree selected
    uint32_t culled = 0;             // of those, outside the view frustum (not drawn, not requested)
    uint32_t drawn = 0;              // leaves drawn
    // Drawn with a stand-in (an ancestor's texture or none) because the texture that belongs
    // to the leaf is not resident yet. A leaf finer than its server's max zoom belongs to
    // its max-zoom ancestor's texture; that is no stand-in.
    uint32_t imagery_fallback = 0;
    uint32_t elevation_fallback = 0;
    // Of those, the leaves whose own tile failed for good (a 404, an answer that is no tile):
    // their stand-in is all they will ever get.
    uint32_t imagery_failed = 0;
    uint32_t elevation_failed = 0;
    uint64_t triangles = 0;          // of the leaves drawn, skirts included
    uint32_t deferred_uploads = 0;   // decoded tiles left for a later frame's upload budget
    SharpShare coverage;             // the drawn leaves' area on screen, and the sharp part of it
    std::vector<TileId> culled_tiles; // the culled leaves' tiles
    bool sky_drawn = false;
    bool table_rebuilt = false;      // the scattering table was recomputed this frame
};

// Camera world height above which the terrain pass moves the near plane out to 1.0, buying
// depth precision for distant ground (2000 m at the default scale).
inline constexpr float NEAR_LIFT_HEIGHT = 100.0f;
inline constexpr float LIFTED_NEAR = 1.0f;

// How long a largest tile whose blocking fallback load failed is left alone.
inline constexpr std::chrono::seconds LARGEST_TILE_RETRY{10};

// Depth of the skirt below a leaf of the given world width, as the terrain vertex shader
// pulls it down: three grid steps.
float skirt_depth(float tile_width, uint32_t edge_vertex_count);

// World-space box that holds everything a leaf can draw: its square, from the skirt's
// bottom (or the lowest encodable elevation, if lower) up to the highest encodable elevation
// at the given height correction.
struct LeafBox {
    glm::vec3 min;
    glm::vec3 max;
};
LeafBox leaf_bounds(const Node& leaf, double scaling_factor, double height_correction, uint32_t edge_vertex_count,
                    ElevationEncoding encoding);

// What the terrain is built from.
struct TerrainSettings {
    double scaling_factor = 0.05; // world units per Mercator metre
    LatLon origin;                // the world's origin
    uint32_t min_zoom = 7;        // the coarsest tiles, and those of the last-resort stand-in
    uint32_t zoom_range = 10;     // the finest tiles are min_zoom + zoom_range
    // The densest grid a tile is drawn with, vertices per edge (at least 2).
    uint32_t chunk_vertex_count = 32;
    std::filesystem::path shader_dir; // terrain.* and the sky's shaders
    TileServerConfig imagery_server;
};

class TerrainRenderer {
public:
    // The world frame is centred on the origin with scaling_factor world units per Mercator
    // metre. Builds the atmosphere, the terrain program, the chunk mesh and the texture cache,
    // then preloads the tile of zoom min_zoom holding the origin (prints "Largest Tile: ",
    // blocks). Elevation comes from heights, which must outlive the renderer.
    TerrainRenderer(const TerrainSettings& settings, HeightStore& heights);
    ~TerrainRenderer();

    TerrainRenderer(const TerrainRenderer&) = delete;
    TerrainRenderer& operator=(const TerrainRenderer&) = delete;

    // The frame's selection, textures and scattering table for the camera and a viewport of
    // the given height in pixels. Call before the frame's passes; changes the framebuffer
    // binding, viewport and program only while filling the table (restored, but for the
    // program).
    void prepare(const gfx::Camera& camera, float viewport_height);

    // One frame of terrain and sky for the camera, as prepared (prepares first, with the
    // current viewport, when prepare was not called since the last render). light_space is
    // the shadow pass's light-space matrix: leaves inside its box receive the shadow map,
    // which must be bound to texture unit 3. Afterwards the polygon mode is GL_FILL and, when
    // the sky was drawn, cull face GL_FRONT and depth function GL_LESS; the program, textures
    // of units 0 to 2 and 4, the active unit and the vertex array binding are changed.
    void render(gfx::Camera& camera, const glm::mat4& light_space);

    // The near plane render draws the terrain with for the camera: LIFTED_NEAR high up (unless
    // may_lift_near is off), else the camera's own.
    float near_plane(const gfx::Camera& camera) const;

    // Rebuilds the terrain and sky programs; prints "Reloaded terrain shaders!" when both did.
    bool reload_shaders();

    // Imagery or elevation of an ancestor standing in for the leaf; see TextureCache. When
    // the blocking load of the largest (base_zoom) ancestor fails, it is not tried again for
    // LARGEST_TILE_RETRY; meanwhile only resident ancestors stand in.
    gfx::Texture* find_fallback(const Node& node, TileKind kind, UVRect& uv, TileId& id);

    glm::vec3 get_sun_direction() const;
    // The camera's altitude above sea level the frame was prepared for, metres.
    double camera_altitude() const { return m_altitude; }
    WorldFrame world_frame() const { return {scaling_factor, origin_x, origin_y}; }
    LatLon world_to_latlon(double x, double z) const { return world_frame().world_to_latlon(x, z); }

    // The selection as the next frame will make it, and the servers' zoom limits: what
    // predicting the tiles of a coming camera needs (max_tiles left at its default).
    PrefetchSettings prefetch_settings() const;

    const TerrainFrameStats& last_frame_stats() const { return m_stats; }
    // What the last render drew the terrain with, for whatever is drawn over it: the
    // projection (its near plane moved out when the camera is high), the heights' correction
    // (|cos latitude| at the camera) and the camera's altitude, metres.
    const glm::mat4& drawn_projection() const { return m_drawn_projection; }
    float height_correction() const { return m_height_correction; }
    // Whether the last frame drew every selected, visible leaf with its own imagery and
    // heights, or with a stand-in where its own tile failed for good. A leaf without its own
    // texture is otherwise one whose tile is still being fetched or retried (get_texture
    // queues the fetch and answers null until it is decoded), so a complete frame also means
    // no request of the view is pending; a tile that will never come does not hold it back.
    bool frame_complete() const
    {
        return m_stats.imagery_fallback == m_stats.imagery_failed && m_stats.elevation_fallback == m_stats.elevation_failed;
    }

    double scaling_factor;
    LatLon origin;
    double origin_x = 0.0;
    double origin_y = 0.0;
    bool wireframe = false;
    bool visualize_lod = false;
    bool misc_debug = false;
    bool manual_zoom = false;
    bool shading = true;
    bool visualize_normals = false;
    bool frustum_culling = false;
    bool smart_lod_center = true;
    bool fallback = true;
    // Target width of one grid quad on screen, pixels: finer grids draw more triangles than
    // the screen can show.
    double grid_pixels = 16.0;
    // Depth offset of the shadow test, in the light's depth units.
    float shadow_bias = 0.001f;
    // Whether the pass may move the near plane out above NEAR_LIFT_HEIGHT. Off while something
    // close to the camera shares the depth buffer: depths drawn with another near plane do not
    // compare.
    bool may_lift_near = true;
    double max_horizon = 20000.0;
    double lod_selection = 0.1;
    uint32_t min_zoom;
    uint32_t max_zoom;
    Atmosphere atmosphere;
    TileId center_tile{};
    LatLon center_coord{};
    bool render_terrain = true;
    bool render_atmosphere = true;
    double split_factor = 1.0;
    gfx::Shader shader;
    Chunk chunk;
    uint32_t base_zoom;
    HeightStore& heights;
    TextureCache texture_cache;
    // Times the terrain and sky passes and the frame's CPU work when set (benchmarks).
    gfx::PassProfiler* profiler = nullptr;

private:
    // One leaf as the frame draws it.
    struct LeafDraw {
        const Node* leaf = nullptr;
        gfx::Texture* imagery = nullptr;
        UVRect imagery_rect;
        gfx::Texture* elevation = nullptr;
        gfx::Texture* normals = nullptr;
        UVRect elevation_rect;
        uint32_t elevation_zoom = 0;
        LeafBox box{};          // tight when its heights are known
        size_t grid = 0;        // index into the meshes, finest first
        double distance = 0.0;  // from the camera to the box, world units
    };

    // The chunk mesh (0: chunk, i: m_coarser_chunks[i - 1]) for a leaf's box seen through
    // view_projection on a viewport of the given size in pixels.
    size_t grid_for(const LeafBox& box, const glm::mat4& view_projection, glm::vec2 viewport) const;

    // The leaf's own texture of one layer, or for a leaf finer than that layer's server
    // serves, its ancestor at the server's max zoom (uv and id then describe that part).
    // Null while it is still being fetched.
    gfx::Texture* layer_texture(const Node& leaf, TileKind kind, UVRect& uv, TileId& id);
    // The tile layer_texture draws the leaf from: the leaf's own, or its ancestor at the
    // layer's max zoom.
    TileId layer_tile(const Node& leaf, TileKind kind) const;

    LodSettings lod_settings() const;

    TerrainFrameStats m_stats;
    // Coarser grids than chunk's, each half as dense as the one before it.
    std::vector<std::unique_ptr<Chunk>> m_coarser_chunks;
    // The prepared frame.
    std::unique_ptr<QuadTree> m_tree;
    std::vector<LeafDraw> m_draws;
    double m_altitude = 0.0;
    float m_height_correction = 1.0f;
    glm::mat4 m_drawn_projection{1.0f};
    bool m_prepared = false;
    glm::vec3 m_camera_position{}; // this frame's, for the fetch priorities
    GLuint m_imagery_sampler = 0; // bound to unit 0 while the leaves are drawn
    // Largest tiles (base_zoom) whose blocking load for a fallback failed, with the time
    // before which it is not tried again.
    std::unordered_map<TileKey, std::chrono::steady_clock::time_point> m_failed_largest;
    uint32_t m_imagery_max_zoom = 0; // the imagery server's deepest zoom
};

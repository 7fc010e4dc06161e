#pragma once

// Draws the runways near the camera over the terrain: each runway a strip laid on the line
// between its ends' heights (where the elevation tiles were flattened to the same line), its
// surface coloured by type and, on paved runways, painted with threshold stripes, designators,
// aiming points, centre line and edge lines. The paint is computed per pixel from the runway's
// own coordinates, each marking box-filtered over the pixel's footprint (screen-space
// derivatives), so markings are crisp up close and fade to their average brightness instead of
// flickering from the air. Lit as the terrain is (terrain.vert / terrain.frag): sunlight and sky
// tint from the atmosphere's sky-light texels, aerial perspective from its scattering table, the
// aircraft's shadow from the shadow map.
//
// The strip is pulled towards the camera by a little more than the terrain grid's error over
// the flattened ground (GL_POLYGON_OFFSET_FILL and a distance-proportional offset along the view
// ray), so it is neither buried by a coarse grid nor fighting the flat ground at its own height.
//
// Render thread only.

#include <cstdint>
#include <filesystem>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "gfx/Shader.h"
#include "gfx/gl/gl.h"
#include "terrain/RunwayIndex.h"
#include "terrain/RunwayMesh.h"

// What a frame's terrain pass drew with: the runways must be drawn with the same matrices (the
// terrain lifts its near plane when the camera is high) and the same height scaling.
struct RunwayFrame {
    glm::mat4 view{1.0f};
    glm::mat4 projection{1.0f};
    glm::vec3 camera_position{0.0f}; // world
    float camera_far = 1.0f;
    float camera_altitude_m = 0.0f;
    float height_correction = 1.0f; // |cos latitude| at the camera (the terrain's u_height_correction_factor)
    float scaling_factor = 1.0f;    // world units per Mercator metre
    glm::vec3 sun_direction{0.0f, 1.0f, 0.0f};
    // Aerial perspective and sky light from the atmosphere's textures (both must be given);
    // without, white sunlight, a fixed sky tint and clear air.
    bool atmosphere = false;
    GLuint scattering_table = 0; // Atmosphere::get_precomputed_texture()
    GLuint sky_light = 0;        // Atmosphere::get_sky_light_texture()
    // The aircraft's shadow; 0: none.
    GLuint shadow_map = 0;
    glm::mat4 light_space{1.0f};
    float shadow_bias = 0.001f;
};

class RunwayRenderer {
public:
    // Builds the program from shader_dir/"runway.vert" and "runway.frag".
    explicit RunwayRenderer(const std::filesystem::path& shader_dir);
    ~RunwayRenderer();
    RunwayRenderer(const RunwayRenderer&) = delete;
    RunwayRenderer& operator=(const RunwayRenderer&) = delete;

    // Chooses the runways to draw: those of the index whose middle lies within range_m of the
    // camera and whose ends' heights are known (from the data, else from terrain, which should
    // answer as the flattening of the stored tiles did). The triangles are rebuilt only when
    // the choice, their heights or the world frame changed.
    void prepare(const RunwayIndex& index, const LatLon& camera, const TerrainHeightAt& terrain, const RunwayWorld& world);

    // Draws the prepared runways into the bound framebuffer with depth testing. Binds the
    // frame's textures to units 2 (table), 3 (shadow map) and 5 (sky light), as the terrain
    // does; afterwards the program, those units' 2D textures, the active texture unit (0) and
    // the vertex array binding are changed, while depth test, depth function, face culling and
    // polygon offset are as they were.
    void draw(const RunwayFrame& frame);

    bool reload_shaders() { return m_shader.reload(); }

    // Runways drawn by draw().
    size_t runway_count() const { return m_drawn.size(); }

    double range_m = 40000.0;

private:
    struct Drawn {
        uint32_t runway = 0;
        RunwayEndHeights heights;
        friend bool operator==(const Drawn& a, const Drawn& b)
        {
            return a.runway == b.runway && a.heights.low == b.heights.low && a.heights.high == b.heights.high;
        }
    };

    gfx::Shader m_shader;
    gfx::VertexArray m_vertex_array;
    gfx::Buffer m_vertex_buffer;
    GLsizei m_vertex_count = 0;
    std::vector<Drawn> m_drawn;
    RunwayWorld m_world{};
    bool m_built = false;
};

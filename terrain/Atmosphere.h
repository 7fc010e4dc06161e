#pragma once

// The sun and the scattering settings shared by the sky and the terrain, and the sky itself:
// a cube around the camera drawn after the terrain where the depth buffer still holds the far
// plane.
//
// The scattering model (single Rayleigh and Mie scattering in a spherical atmosphere) is
// integrated along each view ray with view_samples steps, and the optical depth towards the
// sun with light_samples steps per view step. Doing that for every pixel is far too slow for
// a software rasteriser, so it runs once into a small table (precomputed_texture): in-
// scattered light and transmittance for every view direction, relative to the sun's azimuth,
// as seen from the camera's altitude. The sky and the terrain's aerial perspective read that
// table. It is rebuilt when the sun, the altitude or the sample counts change, or every frame
// while always_compute is set.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>

#include <glm/vec3.hpp>

#include "gfx/Shader.h"
#include "gfx/gl/gl.h"

namespace gfx {
class Camera;
}

// Unit vector towards the sun in world axes (+x east, +y up, +z south) from elevation and
// azimuth in degrees; azimuth 0 points east, 90 south. Computed in single precision.
glm::vec3 sun_direction(double elevation_degrees, double azimuth_degrees);

// The range of sun elevations the Atmosphere settings offer, degrees: from well below the
// horizon, where the twilight has given way to the night, to the zenith. (A clock may set any
// elevation down to -90; the night just stays.)
inline constexpr double MIN_SUN_ELEVATION = -20.0;
inline constexpr double MAX_SUN_ELEVATION = 90.0;

// Whether a sun in direction sun (as sun_direction gives it) lights nothing a camera
// altitude_metres above sea level sees: its disc has set below that camera's horizon (the
// terrain's sunlight, sky_light.frag) and below the bodies' cut-off (scene_lighting.glsl, and
// the terrain's without scattering). Nothing then needs the shadow map.
bool sun_lights_nothing(const glm::vec3& sun, double altitude_metres);

// The sky cube: 36 positions (12 triangles, corners at ±1), every triangle counter-clockwise
// seen from inside.
using CubeVertices = std::array<glm::vec3, 36>;
const CubeVertices& cube_vertices();

class CubeMesh {
public:
    CubeMesh();
    ~CubeMesh();
    CubeMesh(const CubeMesh&) = delete;
    CubeMesh& operator=(const CubeMesh&) = delete;

    // Uses the shader, sets "u_model" to translate(position) × scale(scale) and draws.
    void draw(gfx::Shader& shader, glm::vec3 position, float scale) const;

private:
    std::unique_ptr<gfx::VertexArray> m_vertex_array;
    std::unique_ptr<gfx::Buffer> m_vertex_buffer;
};

// Size of the scattering table: azimuth relative to the sun across, view elevation down; the
// upper half holds in-scattered light, the lower half the transmittance of the same rays.
inline constexpr int SKY_TABLE_WIDTH = 64;
inline constexpr int SKY_TABLE_HALF_HEIGHT = 40;
// Texels per side of each face of the sky's cube map (about 1° each).
inline constexpr int SKY_CUBE_SIZE = 96;

// What the scattering table was computed for; a different key means a rebuild.
struct SkyTableKey {
    glm::vec3 sun{0.0f};
    float altitude = -1.0f;
    int32_t view_samples = 0;
    int32_t light_samples = 0;

    friend bool operator==(const SkyTableKey&, const SkyTableKey&) = default;
};

// Altitudes the table is computed for: the altitude rounded to steps that grow with height
// (about 1 % of it, at least 10 m), so a slowly climbing camera rebuilds now and then, not
// every frame. Negative altitudes count as 0.
float sky_table_altitude(double altitude_metres);

// What the atmosphere is built from.
struct AtmosphereSettings {
    std::filesystem::path shader_dir; // holds sky.*, sky_table.*, sky_cube.frag, sky_light.frag
};

class Atmosphere {
public:
    // Builds the sky program from shader_dir/"sky.{vert,frag}", the table program from
    // "sky_table.{vert,frag}", names precomputed_texture and builds the cube.
    explicit Atmosphere(const AtmosphereSettings& settings);
    ~Atmosphere();
    Atmosphere(const Atmosphere&) = delete;
    Atmosphere& operator=(const Atmosphere&) = delete;

    // The sun direction in double precision holding the single-precision values.
    glm::dvec3 get_sun_direction() const;

    // Fills precomputed_texture for the camera altitude unless it already holds that state
    // (always_compute forces it). Restores the framebuffer, viewport, polygon mode, enables
    // and active texture unit it changes; the program in use is changed (restoring it could
    // name a program that a shader reload has deleted). Called by the terrain before it binds
    // the table.
    void update_table(double altitude_metres);
    // Whether the last update_table call rebuilt the table.
    bool table_rebuilt() const { return m_table_rebuilt; }

    // Draws the sky; leaves cull face GL_FRONT and depth function GL_LESS.
    void render(const gfx::Camera& camera, double altitude_metres);

    // Rebuilds the sky, table, cube and sky light programs; true when all rebuilt. The table is recomputed at
    // its next update.
    bool reload();

    gfx::Texture& get_precomputed_texture() { return precomputed_texture; }
    // 2 × 1 texels: the sunlight at the camera's altitude and the sky's tint (sky_light.frag),
    // filled with the table.
    gfx::Texture& get_sky_light_texture() { return m_sky_light; }
    gfx::Shader& get_shader() { return shader; }

    double sun_elevation = 50.0;
    double sun_azimuth = 90.0;
    bool scattering = true;
    int32_t view_samples = 20;
    int32_t light_samples = 4;
    bool always_compute = false;

private:
    gfx::Shader shader;
    gfx::Texture precomputed_texture;
    CubeMesh cube;

    // Fills the sky's cube map from the table (after each rebuild of the table).
    // Fills the sky's cube map and the sky light texels from the table (after each rebuild of
    // the table).
    void fill_sky_cube(const glm::vec3& sun, float altitude_metres);

    gfx::Shader m_table_shader;
    gfx::Framebuffer m_table_framebuffer;
    // The sky's display colour per direction, for the sky's pixels: one lookup each.
    gfx::Shader m_cube_shader;
    gfx::Texture m_sky_cube;
    gfx::Framebuffer m_cube_framebuffer;
    bool m_cube_allocated = false;
    gfx::Shader m_light_shader;
    gfx::Texture m_sky_light;
    gfx::Framebuffer m_light_framebuffer;
    gfx::VertexArray m_empty_vertex_array; // core profile draws need a bound vertex array
    bool m_table_allocated = false;
    bool m_table_rebuilt = false;
    SkyTableKey m_table_key;
};

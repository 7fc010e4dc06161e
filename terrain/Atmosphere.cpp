#include "terrain/Atmosphere.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <glm/ext/matrix_transform.hpp>
#include <glm/mat4x4.hpp>

#include "core/Units.h"
#include "gfx/Camera.h"

glm::vec3 sun_direction(double elevation_degrees, double azimuth_degrees)
{
    const auto e = static_cast<float>(elevation_degrees * DEG_TO_RAD);
    const auto a = static_cast<float>(azimuth_degrees * DEG_TO_RAD);
    return {std::cos(e) * std::cos(a), std::sin(e), std::cos(e) * std::sin(a)};
}

const CubeVertices& cube_vertices()
{
    static const CubeVertices vertices = {{
        {-1, 1, -1}, {-1, -1, -1}, {1, -1, -1},
        {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
        {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1},
        {-1, 1, -1}, {-1, 1, 1}, {-1, -1, 1},
        {1, -1, -1}, {1, -1, 1}, {1, 1, 1},
        {1, 1, 1}, {1, 1, -1}, {1, -1, -1},
        {-1, -1, 1}, {-1, 1, 1}, {1, 1, 1},
        {1, 1, 1}, {1, -1, 1}, {-1, -1, 1},
        {-1, 1, -1}, {1, 1, -1}, {1, 1, 1},
        {1, 1, 1}, {-1, 1, 1}, {-1, 1, -1},
        {-1, -1, -1}, {-1, -1, 1}, {1, -1, -1},
        {1, -1, -1}, {-1, -1, 1}, {1, -1, 1},
    }};
    return vertices;
}

CubeMesh::CubeMesh()
    : m_vertex_array(std::make_unique<gfx::VertexArray>())
    , m_vertex_buffer(std::make_unique<gfx::Buffer>())
{
    const CubeVertices& corners = cube_vertices();
    const std::vector<glm::vec3> data(corners.begin(), corners.end());
    m_vertex_array->bind();
    m_vertex_buffer->bind();
    m_vertex_buffer->set_data(data, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glEnableVertexAttribArray(0);
    gfx::VertexArray::unbind();
}

CubeMesh::~CubeMesh() = default;

void CubeMesh::draw(gfx::Shader& shader, glm::vec3 position, float scale) const
{
    shader.use();
    const glm::mat4 model = glm::scale(glm::translate(glm::mat4(1.0f), position), glm::vec3(scale));
    shader.set_mat4("u_model", model);
    m_vertex_array->bind();
    glDrawArrays(GL_TRIANGLES, 0, 36);
    gfx::VertexArray::unbind();
}

float sky_table_altitude(double altitude_metres)
{
    // Mirrors table_altitude in assets/shaders/atmosphere.glsl: the shaders find the table's
    // rows with the same rounded altitude.
    const float h = std::max(static_cast<float>(altitude_metres), 0.0f);
    const float step = std::max(8.0f, std::exp2(std::floor(std::log2(std::max(h, 1.0f)))) / 64.0f);
    return std::max(std::floor(h / step + 0.5f) * step, 1.0f);
}

bool sun_lights_nothing(const glm::vec3& sun, double altitude_metres)
{
    // The shaders' constants: the planet's radius, the drawn disc's angular radius, the sine
    // of the elevation where the bodies' sunlight ends. A hundredth of a degree spare for
    // single precision.
    constexpr double PLANET_RADIUS = 6360000.0, SUN_ANGULAR_RADIUS = 0.0093, BODIES_CUT_OFF = -0.01;
    constexpr double SPARE = 0.01 * DEG_TO_RAD;
    const double table_altitude = std::max(static_cast<double>(sky_table_altitude(altitude_metres)), 1.0);
    const double horizon = -std::acos(PLANET_RADIUS / (PLANET_RADIUS + table_altitude));
    const double elevation = std::asin(std::clamp(static_cast<double>(sun.y), -1.0, 1.0));
    return elevation < horizon - SUN_ANGULAR_RADIUS - SPARE && elevation < std::asin(BODIES_CUT_OFF) - SPARE;
}

namespace {

std::string shader_path(const AtmosphereSettings& settings, const char* name)
{
    return (settings.shader_dir / name).string();
}

} // namespace

Atmosphere::Atmosphere(const AtmosphereSettings& settings)
    : shader(shader_path(settings, "sky.vert"), shader_path(settings, "sky.frag"))
    , precomputed_texture()
    , cube()
    , m_table_shader(shader_path(settings, "sky_table.vert"), shader_path(settings, "sky_table.frag"))
    , m_table_framebuffer()
    , m_cube_shader(shader_path(settings, "sky_table.vert"), shader_path(settings, "sky_cube.frag"))
    , m_sky_cube()
    , m_cube_framebuffer()
    , m_light_shader(shader_path(settings, "sky_table.vert"), shader_path(settings, "sky_light.frag"))
    , m_sky_light()
    , m_light_framebuffer()
    , m_empty_vertex_array()
{
    // Linear filtering across the cube map's face edges, so the sky shows no seams.
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
}

Atmosphere::~Atmosphere() = default;

glm::dvec3 Atmosphere::get_sun_direction() const
{
    return glm::dvec3(sun_direction(sun_elevation, sun_azimuth));
}

void Atmosphere::update_table(double altitude_metres)
{
    const SkyTableKey key{sun_direction(sun_elevation, sun_azimuth), sky_table_altitude(altitude_metres),
                          view_samples, light_samples};
    m_table_rebuilt = false;
    if (m_table_allocated && key == m_table_key && !always_compute) {
        return;
    }

    GLint previous_framebuffer = 0;
    GLint previous_viewport[4] = {0, 0, 0, 0};
    GLint previous_active_unit = 0;
    GLboolean depth_test = glIsEnabled(GL_DEPTH_TEST);
    GLboolean blend = glIsEnabled(GL_BLEND);
    GLboolean cull = glIsEnabled(GL_CULL_FACE);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_framebuffer);
    glGetIntegerv(GL_VIEWPORT, previous_viewport);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previous_active_unit);
    GLint previous_polygon_mode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, previous_polygon_mode);

    constexpr GLsizei width = SKY_TABLE_WIDTH;
    constexpr GLsizei height = 2 * SKY_TABLE_HALF_HEIGHT;
    if (!m_table_allocated) {
        // Storage starts zeroed, so the table never holds undefined texels, even if its
        // program failed to build.
        const std::vector<float> zeros(static_cast<size_t>(width) * height * 4, 0.0f);
        glActiveTexture(GL_TEXTURE0);
        precomputed_texture.bind();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, width, height, 0, GL_RGBA, GL_FLOAT, zeros.data());
        gfx::Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gfx::Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gfx::Texture::set_parameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        gfx::Texture::set_parameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        gfx::Texture::unbind();
        glBindFramebuffer(GL_FRAMEBUFFER, m_table_framebuffer.id());
        glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, precomputed_texture.id(), 0);
        const GLenum attachment = GL_COLOR_ATTACHMENT0;
        glDrawBuffers(1, &attachment);
        m_table_allocated = true;
    }

    if (m_table_shader.id() != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_table_framebuffer.id());
        glViewport(0, 0, width, height);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        m_table_shader.use();
        m_table_shader.set_float("u_camera_altitude", static_cast<float>(altitude_metres));
        m_table_shader.set_float("u_sun_elevation", static_cast<float>(std::asin(std::clamp(key.sun.y, -1.0f, 1.0f))));
        m_table_shader.set_int("u_view_samples", view_samples);
        m_table_shader.set_int("u_light_samples", light_samples);
        m_empty_vertex_array.bind();
        glDrawArrays(GL_TRIANGLES, 0, 3);
        gfx::VertexArray::unbind();
        m_table_rebuilt = true;
        fill_sky_cube(key.sun, static_cast<float>(altitude_metres));
    }
    m_table_key = key;

    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous_framebuffer));
    glViewport(previous_viewport[0], previous_viewport[1], previous_viewport[2], previous_viewport[3]);
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(previous_polygon_mode[0]));
    if (depth_test) glEnable(GL_DEPTH_TEST);
    if (blend) glEnable(GL_BLEND);
    if (cull) glEnable(GL_CULL_FACE);
    glActiveTexture(static_cast<GLenum>(previous_active_unit));
}

void Atmosphere::fill_sky_cube(const glm::vec3& sun, float altitude_metres)
{
    if (!m_cube_allocated) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_CUBE_MAP, m_sky_cube.id());
        // Zeroed storage: a face never holds undefined texels, even without its program.
        const std::vector<unsigned char> zeros(static_cast<size_t>(SKY_CUBE_SIZE) * SKY_CUBE_SIZE * 4, 0);
        for (GLenum face = 0; face < 6; ++face)
            glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, SKY_CUBE_SIZE, SKY_CUBE_SIZE, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, zeros.data());
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
        glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        // Sunlight and sky tint: white light until the program fills them.
        const float white[8] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
        m_sky_light.bind();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, 2, 1, 0, GL_RGBA, GL_FLOAT, white);
        gfx::Texture::set_parameter(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        gfx::Texture::set_parameter(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        gfx::Texture::unbind();
        glBindFramebuffer(GL_FRAMEBUFFER, m_light_framebuffer.id());
        glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, m_sky_light.id(), 0);
        m_cube_allocated = true;
    }
    precomputed_texture.bind(0);
    m_empty_vertex_array.bind();
    if (m_light_shader.id() != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_light_framebuffer.id());
        glViewport(0, 0, 2, 1);
        m_light_shader.use();
        m_light_shader.set_int("u_precomputed_texture", 0);
        m_light_shader.set_vec3("u_sun_direction", sun);
        m_light_shader.set_float("u_camera_altitude", altitude_metres);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    if (m_cube_shader.id() != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, m_cube_framebuffer.id());
        glViewport(0, 0, SKY_CUBE_SIZE, SKY_CUBE_SIZE);
        m_cube_shader.use();
        m_cube_shader.set_int("u_precomputed_texture", 0);
        m_cube_shader.set_vec3("u_sun_direction", sun);
        m_cube_shader.set_float("u_camera_altitude", altitude_metres);
        m_cube_shader.set_float("u_face_size", static_cast<float>(SKY_CUBE_SIZE));
        for (int face = 0; face < 6; ++face) {
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face,
                                   m_sky_cube.id(), 0);
            m_cube_shader.set_int("u_face", face);
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
    }
    gfx::VertexArray::unbind();
}

void Atmosphere::render(const gfx::Camera& camera, double altitude_metres)
{
    glCullFace(GL_BACK);
    glDepthFunc(GL_LEQUAL);
    precomputed_texture.bind(0);
    shader.use();

    glm::mat4 view = camera.get_view();
    view[3] = glm::vec4(0.0f, 0.0f, 0.0f, 1.0f);
    view[0][3] = 0.0f;
    view[1][3] = 0.0f;
    view[2][3] = 0.0f;
    const glm::vec3 sun = sun_direction(sun_elevation, sun_azimuth);
    shader.set_mat4("u_view", view);
    shader.set_mat4("u_proj", camera.get_projection());
    shader.set_vec3("u_camera_position", camera.get_world_position());
    shader.set_vec3("u_sun_direction", sun);
    shader.set_int("u_render_atmosphere", scattering ? 1 : 0);
    shader.set_float("u_camera_altitude", static_cast<float>(altitude_metres));
    shader.set_int("u_view_samples", view_samples);
    shader.set_int("u_light_samples", light_samples);
    shader.set_int("u_precomputed_texture", 0);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_CUBE_MAP, m_sky_cube.id());
    shader.set_int("u_sky_cube", 1);

    cube.draw(shader, glm::vec3(0.0f), 1.0f);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    glActiveTexture(GL_TEXTURE0);

    glDepthFunc(GL_LESS);
    glCullFace(GL_FRONT);
}

bool Atmosphere::reload()
{
    bool ok = shader.reload();
    ok = m_table_shader.reload() && ok;
    ok = m_cube_shader.reload() && ok;
    ok = m_light_shader.reload() && ok;
    m_table_key = SkyTableKey{};
    return ok;
}

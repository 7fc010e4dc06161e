#include "terrain/RunwayRenderer.h"

#include <cstddef>

RunwayRenderer::RunwayRenderer(const std::filesystem::path& shader_dir)
    : m_shader((shader_dir / "runway.vert").string(), (shader_dir / "runway.frag").string())
{
    m_vertex_array.bind();
    m_vertex_buffer.bind();
    constexpr GLsizei stride = sizeof(RunwayVertex);
    const auto floats = [](GLuint location, GLint count, size_t offset) {
        glVertexAttribPointer(location, count, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offset));
        glEnableVertexAttribArray(location);
    };
    floats(0, 3, offsetof(RunwayVertex, x));
    floats(1, 2, offsetof(RunwayVertex, along));
    floats(2, 3, offsetof(RunwayVertex, normal));
    floats(3, 4, offsetof(RunwayVertex, half_length));
    glVertexAttribIPointer(4, 4, GL_INT, stride, reinterpret_cast<const void*>(offsetof(RunwayVertex, surface)));
    glEnableVertexAttribArray(4);
    gfx::VertexArray::unbind();
}

RunwayRenderer::~RunwayRenderer() = default;

void RunwayRenderer::prepare(const RunwayIndex& index, const LatLon& camera, const TerrainHeightAt& terrain,
                             const RunwayWorld& world)
{
    std::vector<Drawn> chosen;
    for (const NearbyRunway& nearby : index.near(camera, range_m)) {
        const Runway& runway = index.runway(nearby.runway);
        // Seaplane lanes lie on water: nothing to draw.
        if (runway.surface == RunwaySurface::Water)
            continue;
        if (const std::optional<RunwayEndHeights> heights = end_heights(runway, index.shape(nearby.runway), terrain))
            chosen.push_back({nearby.runway, *heights});
    }
    const bool same_world = m_world.origin_mx == world.origin_mx && m_world.origin_my == world.origin_my &&
                            m_world.scaling_factor == world.scaling_factor;
    if (m_built && same_world && chosen == m_drawn)
        return;
    std::vector<RunwayVertex> vertices;
    for (const Drawn& drawn : chosen)
        append_runway_mesh(index.runway(drawn.runway), index.shape(drawn.runway), drawn.heights, world, vertices);
    m_vertex_array.bind();
    m_vertex_buffer.bind();
    m_vertex_buffer.set_data(vertices, GL_DYNAMIC_DRAW);
    gfx::VertexArray::unbind();
    m_vertex_count = static_cast<GLsizei>(vertices.size());
    m_drawn = std::move(chosen);
    m_world = world;
    m_built = true;
}

void RunwayRenderer::draw(const RunwayFrame& frame)
{
    if (m_vertex_count == 0 || m_shader.id() == 0)
        return;
    const GLboolean depth_test = glIsEnabled(GL_DEPTH_TEST);
    const GLboolean cull = glIsEnabled(GL_CULL_FACE);
    const GLboolean offset = glIsEnabled(GL_POLYGON_OFFSET_FILL);
    GLint depth_function = GL_LESS;
    glGetIntegerv(GL_DEPTH_FUNC, &depth_function);
    GLfloat offset_factor = 0.0f;
    GLfloat offset_units = 0.0f;
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, &offset_factor);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, &offset_units);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(-1.0f, -4.0f);

    const auto bind = [](GLuint unit, GLuint texture) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, texture);
    };
    const bool atmosphere = frame.atmosphere && frame.scattering_table != 0 && frame.sky_light != 0;
    bind(2, atmosphere ? frame.scattering_table : 0);
    bind(3, frame.shadow_map);
    bind(5, atmosphere ? frame.sky_light : 0);
    glActiveTexture(GL_TEXTURE0);

    m_shader.use();
    m_shader.set_mat4("u_view", frame.view);
    m_shader.set_mat4("u_proj", frame.projection);
    m_shader.set_vec3("u_camera_position", frame.camera_position);
    m_shader.set_float("u_camera_far", frame.camera_far);
    m_shader.set_float("u_camera_altitude", frame.camera_altitude_m);
    m_shader.set_float("u_height_correction_factor", frame.height_correction);
    m_shader.set_float("u_terrain_scaling_factor", frame.scaling_factor);
    m_shader.set_vec3("u_sun_direction", frame.sun_direction);
    m_shader.set_int("u_render_atmosphere", atmosphere ? 1 : 0);
    m_shader.set_int("u_precomputed_texture", 2);
    m_shader.set_int("u_sky_light", 5);
    m_shader.set_int("u_shadow_texture", 3);
    m_shader.set_int("u_receive_shadow", frame.shadow_map != 0 ? 1 : 0);
    m_shader.set_mat4("u_light_space", frame.light_space);
    m_shader.set_float("u_shadow_bias", frame.shadow_bias);

    m_vertex_array.bind();
    glDrawArrays(GL_TRIANGLES, 0, m_vertex_count);
    gfx::VertexArray::unbind();

    glPolygonOffset(offset_factor, offset_units);
    (offset ? glEnable : glDisable)(GL_POLYGON_OFFSET_FILL);
    (cull ? glEnable : glDisable)(GL_CULL_FACE);
    (depth_test ? glEnable : glDisable)(GL_DEPTH_TEST);
    glDepthFunc(static_cast<GLenum>(depth_function));
}

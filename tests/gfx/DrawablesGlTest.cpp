// Debug drawables: their geometry as the GPU holds it, what they draw, and which of them
// reach the shadow map.

#include "gfx/Cuboid.h"

#include <filesystem>
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <glm/gtc/type_ptr.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/Quad.h"
#include "gfx/ShaderSet.h"
#include "gfx/Transform.h"
#include "gfx/Vector.h"
#include "tests/gfx/GlTestContext.h"

namespace {

class DrawablesTest : public GlTest {
protected:
    static void SetUpTestSuite()
    {
        GlTest::SetUpTestSuite();
        if (context().ok()) {
            console::Capture quiet;
            shader_set() = std::make_unique<gfx::ShaderSet>(std::filesystem::path(WH_SOURCE_DIR) / "assets" / "shaders");
        }
    }
    static void TearDownTestSuite()
    {
        shader_set().reset();
    }

    void SetUp() override
    {
        GlTest::SetUp();
        ASSERT_NE(shader_set(), nullptr);
        glUseProgram(0);
        glBindVertexArray(0);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
    }

    static std::unique_ptr<gfx::ShaderSet>& shader_set()
    {
        static std::unique_ptr<gfx::ShaderSet> instance;
        return instance;
    }
    const gfx::ShaderSet& shaders() const { return *shader_set(); }

    // Camera 3 units in front of the origin on +Z, looking at it.
    static gfx::PerspectiveCamera front_camera()
    {
        gfx::PerspectiveCamera camera;
        camera.set_perspective(0.7853982f, 1.0f, 0.1f, 100.0f);
        camera.look_at({0.0f, 0.0f, 3.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
        return camera;
    }
};

GLint integer(GLenum name)
{
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

template <typename T>
std::vector<T> read_buffer(GLenum target, GLint buffer, size_t count)
{
    std::vector<T> values(count);
    glBindBuffer(target, static_cast<GLuint>(buffer));
    GLint size = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, static_cast<GLint>(count * sizeof(T)));
    glGetBufferSubData(target, 0, static_cast<GLsizeiptr>(count * sizeof(T)), values.data());
    glBindBuffer(target, 0);
    return values;
}

// Attribute 0 of the bound vertex array: enabled, 3 floats, not normalised, tightly packed.
void expect_position_attribute()
{
    GLint value = -1;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &value);
    EXPECT_EQ(value, GL_TRUE);
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_SIZE, &value);
    EXPECT_EQ(value, 3);
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_TYPE, &value);
    EXPECT_EQ(value, GL_FLOAT);
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_NORMALIZED, &value);
    EXPECT_EQ(value, GL_FALSE);
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_STRIDE, &value);
    EXPECT_EQ(value, 12);
}

bool is_background(const std::vector<uint8_t>& rgba) { return rgba[0] == 0 && rgba[1] == 0 && rgba[2] == 0; }

std::string to_text(const std::vector<uint8_t>& rgba)
{
    std::ostringstream out;
    out << "(" << int(rgba[0]) << ", " << int(rgba[1]) << ", " << int(rgba[2]) << ", " << int(rgba[3]) << ")";
    return out.str();
}

TEST_F(DrawablesTest, CuboidHoldsTheUnitCube)
{
    const gfx::Cuboid cuboid;
    EXPECT_EQ(integer(GL_VERTEX_ARRAY_BINDING), 0) << "construction leaves no vertex array bound";
    EXPECT_TRUE(cuboid.cast_shadow);
    EXPECT_EQ(cuboid.color, glm::vec3(247.0f / 255.0f, 0.0f, 247.0f / 255.0f));

    // Read the geometry back through the vertex array's own bindings.
    const gfx::Transform identity;
    const gfx::PerspectiveCamera camera = front_camera();
    cuboid.draw(identity, shaders(), camera); // binds the vertex array and leaves it bound
    ASSERT_NE(integer(GL_VERTEX_ARRAY_BINDING), 0);
    expect_position_attribute();
    GLint vertex_buffer = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &vertex_buffer);
    const GLint index_buffer = integer(GL_ELEMENT_ARRAY_BUFFER_BINDING);
    ASSERT_NE(vertex_buffer, 0);
    ASSERT_NE(index_buffer, 0) << "the index buffer binding is recorded in the vertex array";

    const std::vector<glm::vec3> expected_vertices = {
        {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f},
        {-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},
    };
    EXPECT_EQ(read_buffer<glm::vec3>(GL_ARRAY_BUFFER, vertex_buffer, 8), expected_vertices);
    const std::vector<uint32_t> expected_indices = {0, 1, 2, 2, 3, 0, 1, 5, 6, 6, 2, 1, 7, 6, 5, 5, 4, 7,
                                                    4, 0, 3, 3, 7, 4, 4, 5, 1, 1, 0, 4, 3, 2, 6, 6, 7, 3};
    // Reading through GL_ELEMENT_ARRAY_BUFFER would rebind the vertex array's own binding.
    glBindVertexArray(0);
    EXPECT_EQ(read_buffer<uint32_t>(GL_COPY_READ_BUFFER, index_buffer, 36), expected_indices);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DrawablesTest, CuboidFacesPointOutwardsAndCoverTheBox)
{
    // Every triangle's counter-clockwise normal points away from the centre, and the twelve
    // triangles cover all six faces twice.
    std::vector<int> per_face(6, 0);
    for (size_t t = 0; t < 12; ++t) {
        const glm::vec3 a = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t * 3]];
        const glm::vec3 b = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t * 3 + 1]];
        const glm::vec3 c = gfx::Cuboid::VERTICES[gfx::Cuboid::INDICES[t * 3 + 2]];
        const glm::vec3 normal = glm::normalize(glm::cross(b - a, c - a));
        const glm::vec3 centre = (a + b + c) / 3.0f;
        EXPECT_GT(glm::dot(normal, centre), 0.0f) << "triangle " << t;
        const int axis = std::abs(normal.x) > 0.5f ? 0 : std::abs(normal.y) > 0.5f ? 1 : 2;
        ++per_face[static_cast<size_t>(axis * 2 + (normal[axis] > 0.0f ? 1 : 0))];
    }
    EXPECT_EQ(per_face, std::vector<int>(6, 2));
}

TEST_F(DrawablesTest, QuadHoldsTheTopFace)
{
    const gfx::Quad quad;
    EXPECT_EQ(integer(GL_VERTEX_ARRAY_BINDING), 0);
    const gfx::Transform identity;
    quad.draw(identity, shaders(), front_camera());
    expect_position_attribute();
    GLint vertex_buffer = 0;
    glGetVertexAttribiv(0, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &vertex_buffer);
    EXPECT_EQ(integer(GL_ELEMENT_ARRAY_BUFFER_BINDING), 0) << "the quad has no index buffer";
    const std::vector<glm::vec3> expected = {{0.5f, 0.5f, 0.5f},  {0.5f, 0.5f, -0.5f},  {-0.5f, 0.5f, 0.5f},
                                             {0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f}, {-0.5f, 0.5f, 0.5f}};
    EXPECT_EQ(read_buffer<glm::vec3>(GL_ARRAY_BUFFER, vertex_buffer, 6), expected);
    glBindVertexArray(0);
}

TEST_F(DrawablesTest, CuboidDrawsWithTheModelProgramAndItsUniforms)
{
    OffscreenTarget target(32, 32);
    ASSERT_TRUE(target.complete());
    target.clear(0.0f, 0.0f, 0.0f);
    gfx::Cuboid cuboid;
    cuboid.color = {0.2f, 0.8f, 0.4f};
    const gfx::Transform transform({0.0f, 0.0f, 0.0f}, glm::quat(glm::vec3(0.4f, 0.6f, 0.0f)), glm::vec3(1.0f));
    const gfx::PerspectiveCamera camera = front_camera();
    cuboid.draw(transform, shaders(), camera);

    const GLuint model = shaders().model().id();
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), static_cast<GLint>(model));
    glm::vec3 color(0.0f);
    glGetUniformfv(model, glGetUniformLocation(model, "u_color"), glm::value_ptr(color));
    EXPECT_EQ(color, cuboid.color);
    glm::mat4 matrix(0.0f);
    glGetUniformfv(model, glGetUniformLocation(model, "u_model"), glm::value_ptr(matrix));
    EXPECT_EQ(matrix, transform.get_matrix());
    glGetUniformfv(model, glGetUniformLocation(model, "u_view"), glm::value_ptr(matrix));
    EXPECT_EQ(matrix, camera.get_view());
    glGetUniformfv(model, glGetUniformLocation(model, "u_proj"), glm::value_ptr(matrix));
    EXPECT_EQ(matrix, camera.get_projection());

    // The box covers the centre in a lit shade of its colour; the corners stay clear.
    const std::vector<uint8_t> centre = target.pixel(16, 16);
    EXPECT_FALSE(is_background(centre)) << to_text(centre);
    EXPECT_GT(centre[1], centre[0]) << "green dominates like u_color: " << to_text(centre);
    EXPECT_GT(centre[1], centre[2]) << to_text(centre);
    EXPECT_TRUE(is_background(target.pixel(0, 0))) << to_text(target.pixel(0, 0));
    EXPECT_TRUE(is_background(target.pixel(31, 31))) << to_text(target.pixel(31, 31));
    glBindVertexArray(0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DrawablesTest, QuadDrawsASquareSeenFromAbove)
{
    OffscreenTarget target(32, 32);
    target.clear(0.0f, 0.0f, 0.0f);
    gfx::Quad quad;
    quad.color = {1.0f, 1.0f, 0.0f};
    gfx::PerspectiveCamera camera;
    camera.set_perspective(0.7853982f, 1.0f, 0.1f, 100.0f);
    camera.look_at({0.0f, 3.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    quad.draw(gfx::Transform(), shaders(), camera);
    EXPECT_FALSE(is_background(target.pixel(16, 16))) << to_text(target.pixel(16, 16));
    EXPECT_TRUE(is_background(target.pixel(1, 1)));
    glBindVertexArray(0);
}

TEST_F(DrawablesTest, VectorDrawsALineFromTheOriginAlongItsVector)
{
    OffscreenTarget target(32, 32);
    target.clear(0.0f, 0.0f, 0.0f);
    gfx::Vector vector;
    EXPECT_EQ(vector.vector, glm::vec3(1.0f, 0.0f, 0.0f));
    vector.color = {1.0f, 0.0f, 0.0f};
    vector.vector = {0.0f, 0.75f, 0.0f};
    // Orthographic view of x, y in [-1, 1]: pixel (16 + 16x, 16 + 16y).
    gfx::OrthoCamera camera(-1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 10.0f);
    camera.set_position({0.0f, 0.0f, 5.0f});
    vector.draw(gfx::Transform(), shaders(), camera);
    EXPECT_EQ(integer(GL_CURRENT_PROGRAM), static_cast<GLint>(shaders().vector().id()));

    auto lit_in_row = [&](int y) {
        for (int x = 14; x <= 18; ++x) {
            if (target.pixel(x, y)[0] == 255)
                return true;
        }
        return false;
    };
    for (int y : {17, 20, 24, 26})
        EXPECT_TRUE(lit_in_row(y)) << "row " << y << " lies on the line";
    for (int y : {4, 12, 31})
        EXPECT_FALSE(lit_in_row(y)) << "row " << y << " lies beyond the line's ends";
    glBindVertexArray(0);
}

// Depth-only render target like the application's shadow map.
class ShadowTarget {
public:
    explicit ShadowTarget(int size = 16) : m_size(size)
    {
        glGenTextures(1, &m_texture);
        glBindTexture(GL_TEXTURE_2D, m_texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, m_size, m_size, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &m_framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
        glFramebufferTexture(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, m_texture, 0);
        glDrawBuffer(GL_NONE);
        m_complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glViewport(0, 0, m_size, m_size);
        glClearDepth(1.0);
        glClear(GL_DEPTH_BUFFER_BIT);
    }
    ~ShadowTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &m_framebuffer);
        glDeleteTextures(1, &m_texture);
    }
    ShadowTarget(const ShadowTarget&) = delete;
    ShadowTarget& operator=(const ShadowTarget&) = delete;

    bool complete() const { return m_complete; }
    GLuint texture() const { return m_texture; }

    float min_depth() const
    {
        std::vector<float> depth(static_cast<size_t>(m_size * m_size), -1.0f);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
        glReadPixels(0, 0, m_size, m_size, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        return *std::min_element(depth.begin(), depth.end());
    }

private:
    const int m_size;
    GLuint m_texture = 0;
    GLuint m_framebuffer = 0;
    bool m_complete = false;
};

// Runs one depth-pass draw and reports what reached the GPU: samples that passed, the nearest
// depth left in the map, and the program in use afterwards.
struct DepthPassResult {
    GLuint samples = 0;
    float min_depth = 1.0f;
    GLint program = -1;
};

DepthPassResult run_depth_pass(const gfx::Drawable& drawable, const gfx::ShaderSet& shaders)
{
    ShadowTarget target;
    EXPECT_TRUE(target.complete());
    // The light camera of the shadow pass: from above, looking down at the origin.
    gfx::OrthoCamera light(-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f);
    light.look_at({0.0f, 3.0f, 0.1f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
    const gfx::Transform transform;
    glUseProgram(0);
    GLuint query = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_SAMPLES_PASSED, query);
    drawable.draw_depth(transform, shaders, light);
    glEndQuery(GL_SAMPLES_PASSED);
    DepthPassResult result;
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &result.samples); // waits for the result
    glDeleteQueries(1, &query);
    result.program = integer(GL_CURRENT_PROGRAM);
    result.min_depth = target.min_depth();
    glBindVertexArray(0);
    glUseProgram(0);
    return result;
}

TEST_F(DrawablesTest, OnlyShadowCastingCuboidsReachTheShadowMap)
{
    gfx::Cuboid cuboid;
    const DepthPassResult cast = run_depth_pass(cuboid, shaders());
    EXPECT_GT(cast.samples, 0u);
    EXPECT_LT(cast.min_depth, 1.0f) << "the box is written into the map";
    EXPECT_EQ(cast.program, static_cast<GLint>(shaders().depth().id()));
    const GLuint depth = shaders().depth().id();
    glm::mat4 light_space(0.0f);
    glGetUniformfv(depth, glGetUniformLocation(depth, "u_light_space_matrix"), glm::value_ptr(light_space));
    EXPECT_NE(light_space, glm::mat4(0.0f));

    cuboid.cast_shadow = false;
    const DepthPassResult skipped = run_depth_pass(cuboid, shaders());
    EXPECT_EQ(skipped.samples, 0u);
    EXPECT_EQ(skipped.min_depth, 1.0f) << "the map stays cleared";
    EXPECT_EQ(skipped.program, 0) << "the depth program is not even bound";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(DrawablesTest, QuadAndVectorCastNoShadowWhateverTheFlagSays)
{
    gfx::Quad quad;
    gfx::Vector vector;
    for (bool flag : {true, false}) {
        quad.cast_shadow = flag;
        vector.cast_shadow = flag;
        for (const gfx::Drawable* drawable : {static_cast<const gfx::Drawable*>(&quad), static_cast<const gfx::Drawable*>(&vector)}) {
            const DepthPassResult result = run_depth_pass(*drawable, shaders());
            EXPECT_EQ(result.samples, 0u) << "cast_shadow " << flag;
            EXPECT_EQ(result.min_depth, 1.0f) << "cast_shadow " << flag;
            EXPECT_EQ(result.program, 0) << "cast_shadow " << flag;
        }
    }
}

TEST_F(DrawablesTest, ModelShadingDarkensWhatTheShadowMapHides)
{
    // A box hovers above the ground; the sun stands straight overhead.
    gfx::OrthoCamera light(-1.0f, 1.0f, -1.0f, 1.0f, 0.01f, 15.0f);
    light.look_at({0.0f, 3.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    const glm::vec3 towards_sun(0.0f, 1.0f, 0.0f);
    gfx::Cuboid occluder;
    const gfx::Transform occluder_place({0.0f, 1.0f, 0.0f}, glm::quat(glm::vec3(0.0f)), glm::vec3(0.5f));
    ShadowTarget shadow_map(64);
    ASSERT_TRUE(shadow_map.complete());
    occluder.draw_depth(occluder_place, shaders(), light);

    // The ground: the quad stretched to 2×2 at y = 0, seen from straight above.
    gfx::Quad ground;
    ground.color = {1.0f, 1.0f, 1.0f};
    const gfx::Transform ground_place({0.0f, -0.5f, 0.0f}, glm::quat(glm::vec3(0.0f)), {2.0f, 1.0f, 2.0f});
    gfx::OrthoCamera view(-1.0f, 1.0f, -1.0f, 1.0f, 0.1f, 10.0f);
    view.look_at({0.0f, 5.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});

    auto render = [&](bool shadows) {
        OffscreenTarget target(32, 32);
        target.clear(0.0f, 0.0f, 0.0f);
        glActiveTexture(GL_TEXTURE3);
        glBindTexture(GL_TEXTURE_2D, shadow_map.texture());
        glActiveTexture(GL_TEXTURE0);
        const gfx::Shader& model = shaders().model();
        model.use();
        model.set_int("u_shadows_enabled", shadows ? 1 : 0);
        model.set_mat4("u_light_space_matrix", light.get_view_projection());
        model.set_vec3("u_sun_direction", towards_sun);
        ground.draw(ground_place, shaders(), view);
        // Under the box (centre) and well outside its shadow (x = 0.75).
        std::pair<int, int> result{target.pixel(16, 16)[0], target.pixel(28, 16)[0]};
        model.set_int("u_shadows_enabled", 0);
        glActiveTexture(GL_TEXTURE3);
        glBindTexture(GL_TEXTURE_2D, 0);
        glActiveTexture(GL_TEXTURE0);
        glBindVertexArray(0);
        return result;
    };

    const auto [shadowed, lit] = render(true);
    EXPECT_GE(lit, 250) << "full sun on a white ground";
    EXPECT_LE(shadowed, 110) << "only ambient light under the box";
    const auto [centre_without, side_without] = render(false);
    EXPECT_EQ(centre_without, side_without) << "without the shadow map both are lit alike";
    EXPECT_GE(centre_without, 250);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace

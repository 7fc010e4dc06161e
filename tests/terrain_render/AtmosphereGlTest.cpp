#include "terrain/Atmosphere.h"

#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "gfx/PerspectiveCamera.h"
#include "tests/gfx/GlTestContext.h"

namespace {

constexpr int TABLE_WIDTH = SKY_TABLE_WIDTH;
constexpr int TABLE_HEIGHT = 2 * SKY_TABLE_HALF_HEIGHT;

Config source_tree_config()
{
    Config config;
    config.base_path = WH_SOURCE_DIR;
    return config;
}

struct Rgb {
    float r, g, b;
    float luminance() const { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }
};

class AtmosphereGl : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        atmosphere = std::make_unique<Atmosphere>(config);
        ASSERT_NE(atmosphere->get_shader().id(), 0u) << "the sky program builds";
    }

    std::vector<float> read_table()
    {
        std::vector<float> texels(static_cast<size_t>(TABLE_WIDTH) * TABLE_HEIGHT * 4, -1.0f);
        atmosphere->get_precomputed_texture().bind(0);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        return texels;
    }

    static Rgb texel(const std::vector<float>& table, int column, int row)
    {
        const size_t i = (static_cast<size_t>(row) * TABLE_WIDTH + column) * 4;
        return {table[i], table[i + 1], table[i + 2]};
    }

    Config config = source_tree_config();
    std::unique_ptr<Atmosphere> atmosphere;
};

// Rows of the in-scattering half: the top row looks straight up, the middle rows graze the
// horizon. Column TABLE_WIDTH / 2 looks about 90° away from the sun's azimuth.
constexpr int ZENITH_ROW = SKY_TABLE_HALF_HEIGHT - 1;
constexpr int HORIZON_ROW = SKY_TABLE_HALF_HEIGHT / 2;
constexpr int SIDE_COLUMN = TABLE_WIDTH / 2;

TEST_F(AtmosphereGl, TableHoldsABlueSkyBrighterAtTheHorizon)
{
    atmosphere->update_table(0.0);
    ASSERT_TRUE(atmosphere->table_rebuilt());
    const std::vector<float> table = read_table();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (float value : table) {
        ASSERT_TRUE(std::isfinite(value));
        ASSERT_GE(value, 0.0f) << "every texel was written";
    }
    const Rgb zenith = texel(table, SIDE_COLUMN, ZENITH_ROW);
    const Rgb horizon = texel(table, SIDE_COLUMN, HORIZON_ROW);
    EXPECT_GT(zenith.b, zenith.g) << "Rayleigh scattering favours blue";
    EXPECT_GT(zenith.g, zenith.r);
    EXPECT_GT(zenith.luminance(), 0.01f) << "the sky is lit";
    EXPECT_GT(horizon.luminance(), zenith.luminance()) << "a long path through the air brightens the horizon";

    const Rgb straight_up = texel(table, SIDE_COLUMN, SKY_TABLE_HALF_HEIGHT + ZENITH_ROW);
    const Rgb level = texel(table, SIDE_COLUMN, SKY_TABLE_HALF_HEIGHT + HORIZON_ROW);
    EXPECT_GT(straight_up.r, 0.8f) << "little extinction looking up";
    EXPECT_LE(straight_up.r, 1.0f);
    EXPECT_GT(straight_up.r, straight_up.b) << "blue is scattered out of the beam more than red";
    EXPECT_LT(level.b, straight_up.b) << "the horizontal path is longer";
}

TEST_F(AtmosphereGl, ZenithDarkensWithAltitude)
{
    atmosphere->update_table(0.0);
    const Rgb ground = texel(read_table(), SIDE_COLUMN, ZENITH_ROW);
    atmosphere->update_table(12000.0);
    const Rgb high = texel(read_table(), SIDE_COLUMN, ZENITH_ROW);
    EXPECT_LT(high.luminance(), 0.7f * ground.luminance())
        << "ground " << ground.luminance() << ", 12 km " << high.luminance();
}

TEST_F(AtmosphereGl, TheSunsSideIsBrighter)
{
    atmosphere->sun_elevation = 10.0;
    atmosphere->update_table(500.0);
    const std::vector<float> table = read_table();
    const int row = SKY_TABLE_HALF_HEIGHT * 3 / 5; // a little above the horizon
    EXPECT_GT(texel(table, 0, row).luminance(), 2.0f * texel(table, TABLE_WIDTH - 1, row).luminance())
        << "haze scatters forward: towards the sun the sky glows";
}

TEST_F(AtmosphereGl, TableIsRebuiltOnlyWhenItsInputsChange)
{
    struct Step {
        const char* what;
        double altitude;
        void (*change)(Atmosphere&);
        bool rebuilt;
    };
    const Step steps[] = {
        {"first use", 3000.0, [](Atmosphere&) {}, true},
        {"same state", 3000.0, [](Atmosphere&) {}, false},
        {"altitude within the same step", 3005.0, [](Atmosphere&) {}, false},
        {"altitude 100 m higher", 3100.0, [](Atmosphere&) {}, true},
        {"sun moved", 3100.0, [](Atmosphere& a) { a.sun_azimuth = 120.0; }, true},
        {"view samples", 3100.0, [](Atmosphere& a) { a.view_samples = 8; }, true},
        {"light samples", 3100.0, [](Atmosphere& a) { a.light_samples = 2; }, true},
        {"unchanged again", 3100.0, [](Atmosphere&) {}, false},
        {"always compute", 3100.0, [](Atmosphere& a) { a.always_compute = true; }, true},
        {"always compute, same state", 3100.0, [](Atmosphere&) {}, true},
    };
    for (const Step& step : steps) {
        step.change(*atmosphere);
        atmosphere->update_table(step.altitude);
        EXPECT_EQ(atmosphere->table_rebuilt(), step.rebuilt) << step.what;
    }
}

TEST_F(AtmosphereGl, TableUpdateRestoresTheStateItTouches)
{
    OffscreenTarget target(32, 32);
    ASSERT_TRUE(target.complete());
    GLint framebuffer_before = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer_before);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glActiveTexture(GL_TEXTURE3);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);

    atmosphere->update_table(1000.0);
    ASSERT_TRUE(atmosphere->table_rebuilt());

    GLint framebuffer = 0;
    GLint viewport[4] = {};
    GLint active = 0;
    GLint polygon_mode[2] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_POLYGON_MODE, polygon_mode);
    EXPECT_EQ(framebuffer, framebuffer_before);
    EXPECT_EQ(viewport[2], 32);
    EXPECT_EQ(viewport[3], 32);
    EXPECT_EQ(active, GL_TEXTURE3);
    EXPECT_EQ(polygon_mode[0], GL_LINE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

class SkyDraw : public AtmosphereGl {
protected:
    void draw_sky(OffscreenTarget& target)
    {
        gfx::PerspectiveCamera camera;
        camera.set_perspective(1.2f, 1.0f, 0.12f, 10000.0f);
        camera.set_position(glm::vec3(0.0f, 150.0f, 0.0f)); // looking north, level
        atmosphere->update_table(3000.0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        target.clear(0.0f, 0.0f, 0.0f);
        atmosphere->render(camera, 3000.0);
    }
};

TEST_F(SkyDraw, LeavesCullFrontAndDepthLessWhateverCameBefore)
{
    const GLenum cull_before[] = {GL_BACK, GL_FRONT};
    const GLenum depth_before[] = {GL_GREATER, GL_LEQUAL, GL_ALWAYS};
    for (GLenum cull : cull_before) {
        for (GLenum depth : depth_before) {
            OffscreenTarget target(32, 32);
            glEnable(GL_CULL_FACE);
            glEnable(GL_DEPTH_TEST);
            glCullFace(cull);
            glDepthFunc(depth);
            draw_sky(target);
            GLint cull_mode = 0;
            GLint depth_func = 0;
            glGetIntegerv(GL_CULL_FACE_MODE, &cull_mode);
            glGetIntegerv(GL_DEPTH_FUNC, &depth_func);
            EXPECT_EQ(cull_mode, GL_FRONT) << "cull before " << cull << ", depth before " << depth;
            EXPECT_EQ(depth_func, GL_LESS) << "cull before " << cull << ", depth before " << depth;
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SkyDraw, FillsOnlyWhereTheDepthBufferHoldsTheFarPlane)
{
    OffscreenTarget target(64, 64);
    ASSERT_TRUE(target.complete());
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glCullFace(GL_FRONT);
    gfx::PerspectiveCamera camera;
    camera.set_perspective(1.2f, 1.0f, 0.12f, 10000.0f);
    camera.set_position(glm::vec3(0.0f, 150.0f, 0.0f));
    atmosphere->update_table(3000.0);
    target.clear(1.0f, 0.0f, 1.0f);
    // Something nearer than the far plane covers the left half.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 32, 64);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearDepth(1.0);
    atmosphere->render(camera, 3000.0);

    const std::vector<uint8_t> covered = target.pixel(10, 50);
    const std::vector<uint8_t> sky_high = target.pixel(50, 60);
    const std::vector<uint8_t> sky_low = target.pixel(50, 34);
    EXPECT_EQ(covered[0], 255);
    EXPECT_EQ(covered[1], 0);
    EXPECT_EQ(covered[2], 255) << "the near surface keeps its colour";
    EXPECT_GT(sky_high[2], sky_high[0]) << "blue sky above";
    EXPECT_NE(sky_high[1], 0) << "the sky replaced the clear colour";
    const int high_sum = sky_high[0] + sky_high[1] + sky_high[2];
    const int low_sum = sky_low[0] + sky_low[1] + sky_low[2];
    EXPECT_GT(low_sum, high_sum) << "brighter toward the horizon";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SkyDraw, WithoutScatteringItIsAPlainGradientAndStillDrawn)
{
    OffscreenTarget target(32, 32);
    atmosphere->scattering = false;
    draw_sky(target);
    const std::vector<uint8_t> high = target.pixel(16, 30);
    EXPECT_GT(high[2], high[0]);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(AtmosphereGl, ReloadRebuildsBothPrograms)
{
    EXPECT_TRUE(atmosphere->reload());
    atmosphere->update_table(100.0);
    EXPECT_TRUE(atmosphere->table_rebuilt()) << "a reload recomputes the table";
}

} // namespace

namespace {

TEST_F(AtmosphereGl, TableUpdateAfterTheCurrentProgramWasDeletedRaisesNoError)
{
    // A shader reload deletes the program that may still be in use; the table pass must not
    // try to bring that name back.
    const GLuint doomed = glCreateProgram();
    const GLuint vertex = glCreateShader(GL_VERTEX_SHADER);
    const char* source = "#version 430 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    glShaderSource(vertex, 1, &source, nullptr);
    glCompileShader(vertex);
    glAttachShader(doomed, vertex);
    glLinkProgram(doomed);
    glDeleteShader(vertex);
    glUseProgram(doomed);
    glDeleteProgram(doomed);
    GlTestContext::drain_errors();

    atmosphere->update_table(2000.0);
    EXPECT_TRUE(atmosphere->table_rebuilt());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glUseProgram(0);
}

} // namespace

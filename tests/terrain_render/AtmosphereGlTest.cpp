#include "terrain/Atmosphere.h"

#include <cmath>

#include <gtest/gtest.h>

#include "gfx/PerspectiveCamera.h"
#include "tests/support/GlContext.h"

namespace {

class AtmosphereTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        Config config;
        config.base_path = WH_SOURCE_DIR;
        atmosphere = std::make_unique<Atmosphere>(config);
    }
    // The luminance of a texel of the table computed for the altitude: the upper half holds
    // in-scattered light (its top row looks straight up, its middle rows at the horizon), the
    // lower half the transmittance of the same rays; the middle column looks 90 degrees away
    // from the sun's azimuth.
    float luminance(double altitude, int column, int row, int channel = -1)
    {
        atmosphere->update_table(altitude);
        std::vector<float> texels(SKY_TABLE_WIDTH * SKY_TABLE_HALF_HEIGHT * 2 * 4);
        atmosphere->get_precomputed_texture().bind(0);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
        const float* p = &texels[(size_t(row) * SKY_TABLE_WIDTH + column) * 4];
        return channel >= 0 ? p[channel] : 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2];
    }
    std::unique_ptr<Atmosphere> atmosphere;
};

constexpr int UP = SKY_TABLE_HALF_HEIGHT - 1, LEVEL = SKY_TABLE_HALF_HEIGHT / 2, SIDE = SKY_TABLE_WIDTH / 2;

TEST_F(AtmosphereTest, TheTableHoldsABlueSkyBrighterAtTheHorizonAndDarkerHigherUp)
{
    EXPECT_GT(luminance(0.0, SIDE, UP, 2), luminance(0.0, SIDE, UP, 1)) << "Rayleigh blue";
    EXPECT_GT(luminance(0.0, SIDE, UP, 1), luminance(0.0, SIDE, UP, 0));
    EXPECT_GT(luminance(0.0, SIDE, LEVEL), luminance(0.0, SIDE, UP));
    EXPECT_LT(luminance(12000.0, SIDE, UP), 0.7f * luminance(0.0, SIDE, UP));
    const float up = luminance(0.0, SIDE, SKY_TABLE_HALF_HEIGHT + UP, 0);
    EXPECT_TRUE(up > 0.8f && up <= 1.0f && up > luminance(0.0, SIDE, SKY_TABLE_HALF_HEIGHT + UP, 2)) << "blue is scattered out";
    atmosphere->sun_elevation = 10.0;
    EXPECT_GT(luminance(500.0, 0, LEVEL + 4), 2.0f * luminance(500.0, SKY_TABLE_WIDTH - 1, LEVEL + 4)) << "haze glows toward the sun";
}

TEST_F(AtmosphereTest, TheTableIsRebuiltOnlyWhenItsInputsChangeAndRestoresTheState)
{
    struct Step { double altitude; void (*change)(Atmosphere&); bool rebuilt; };
    const Step steps[] = {
        {3000.0, [](Atmosphere&) {}, true},                        {3005.0, [](Atmosphere&) {}, false},
        {3100.0, [](Atmosphere&) {}, true},                        {3100.0, [](Atmosphere& a) { a.sun_azimuth = 120.0; }, true},
        {3100.0, [](Atmosphere& a) { a.sun_elevation = 20.0; }, true}, {3100.0, [](Atmosphere& a) { a.view_samples = 8; }, true},
        {3100.0, [](Atmosphere& a) { a.light_samples = 2; }, true}, {3100.0, [](Atmosphere& a) { a.reload(); }, true},
        {3100.0, [](Atmosphere&) {}, false},                       {3100.0, [](Atmosphere& a) { a.always_compute = true; }, true},
        {3100.0, [](Atmosphere&) {}, true},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].change(*atmosphere);
        atmosphere->update_table(steps[i].altitude);
        EXPECT_EQ(atmosphere->table_rebuilt(), steps[i].rebuilt) << "step " << i;
    }
    OffscreenTarget target(32, 32);
    GLint framebuffer = 0, after = 0, viewport[4] = {}, active = 0, mode[2] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    glActiveTexture(GL_TEXTURE3);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    const char* source = "#version 430 core\nvoid main() { gl_Position = vec4(0.0); }\n";
    const GLuint doomed = glCreateShaderProgramv(GL_VERTEX_SHADER, 1, &source); // a reload may delete the program in use
    glUseProgram(doomed);
    glDeleteProgram(doomed);
    atmosphere->update_table(1000.0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &after);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_POLYGON_MODE, mode);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    EXPECT_EQ(std::tuple(after, viewport[2], viewport[3], active, mode[0]), std::tuple(framebuffer, 32, 32, GL_TEXTURE3, GL_LINE));
}

TEST_F(AtmosphereTest, TheSkyFillsWhereTheDepthBufferHoldsTheFarPlane)
{
    OffscreenTarget target(64, 64);
    target.clear(1.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST); // something nearer than the far plane covers the left half
    glScissor(0, 0, 32, 64);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glCullFace(GL_BACK);
    glDepthFunc(GL_ALWAYS);
    gfx::PerspectiveCamera camera; // 150 units up, level, looking north
    camera.set_perspective(1.2f, 1.0f, 0.12f, 10000.0f);
    camera.set_position(glm::vec3(0.0f, 150.0f, 0.0f));
    atmosphere->update_table(3000.0);
    atmosphere->render(camera, 3000.0);
    GLint cull = 0, depth = 0;
    glGetIntegerv(GL_CULL_FACE_MODE, &cull);
    glGetIntegerv(GL_DEPTH_FUNC, &depth);
    EXPECT_EQ(std::pair(cull, depth), std::pair(GL_FRONT, GL_LESS)) << "whatever came before";
    EXPECT_EQ(target.pixel(10, 50), (std::vector<uint8_t>{255, 0, 255, 255})) << "the near surface stays";
    const std::vector<uint8_t> high = target.pixel(50, 60), low = target.pixel(50, 34);
    EXPECT_TRUE(high[2] > high[0] && high[1] != 0) << "blue sky above";
    EXPECT_GT(low[0] + low[1] + low[2], high[0] + high[1] + high[2]) << "brighter toward the horizon";
}

} // namespace

// The aircraft inside the running application, under a real X display: spawn, the simulation
// step, key X and the physics drawing passes.

#include <cmath>
#include <cstdlib>
#include <memory>

#include <btBulletDynamicsCommon.h>
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include "app/App.h"
#include "app/Config.h"
#include "console/Console.h"
#include "physics/PhysicsWorld.h"
#include "tests/physics/PhysicsTestSupport.h"
#include "tests/support/BaseDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using physics_test::vec_near;

// Height of the ground plane: the constant of the scene's one static plane.
float ground_plane_height()
{
    const btCollisionObjectArray& objects = PhysicsWorld::instance().get_scene().getCollisionObjectArray();
    for (int i = 0; i < objects.size(); ++i) {
        if (objects[i]->getCollisionShape()->getShapeType() == STATIC_PLANE_PROXYTYPE) {
            return static_cast<const btStaticPlaneShape*>(objects[i]->getCollisionShape())->getPlaneConstant();
        }
    }
    ADD_FAILURE() << "no ground plane in the scene";
    return 0.0f;
}

class AircraftGlTest : public ::testing::Test {
protected:
    support::TempDir dir{"wh-aircraft-gl"};
    support::TileServer server;
    std::unique_ptr<App> app;
    console::Capture capture;

    void SetUp() override
    {
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        // One application per process owns the world's scene; each test starts a fresh one.
        PhysicsWorld::instance().remove_all_bodies();
        // These tests hold the aircraft to what it always did: the flat ground plane, no
        // aerodynamic model.
        const std::filesystem::path base =
            support::make_base_dir(dir, server, [](nlohmann::json& config) { config["terrain_ground"] = false; });
        nlohmann::json model = nlohmann::json::parse(support::read_file(base / FLIGHT_MODEL_FILE));
        model.erase("aerodynamics");
        support::write_file(base / FLIGHT_MODEL_FILE, model.dump());
        app = std::make_unique<App>(load_config(base));
    }

    void TearDown() override
    {
        app.reset();
        PhysicsWorld::instance().remove_all_bodies();
    }

    glm::vec3 spawn() const { return glm::vec3(0.0f, ground_plane_height() + 5.0f, 0.0f); }

    void press(SDL_Keycode key)
    {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = key;
        app->handle_event(event);
    }
};

TEST_F(AircraftGlTest, StartsPausedFiveMetresAboveTheGroundPlane)
{
    EXPECT_TRUE(app->paused);
    ASSERT_NE(app->aircraft.body, nullptr);
    // The plane lies at the terrain's height under the start position, in Mercator metres.
    const double start_elevation = app->terrain->get_elevation(0.0, 0.0, true);
    EXPECT_GT(start_elevation, 1.0) << "the test world has ground above sea level at the start";
    EXPECT_NEAR(ground_plane_height(), start_elevation, 1e-3);
    EXPECT_TRUE(vec_near(app->aircraft.position(), spawn(), 1e-3f));
    EXPECT_EQ(app->aircraft.speed(), 0.0f);
    EXPECT_EQ(app->aircraft.engines.size(), 1u) << "the shipped flight model was read";
    EXPECT_NE(capture.out().find("Read flightmodel config from "), std::string::npos) << capture.out();
    // The scene holds the aircraft and the ground plane.
    EXPECT_EQ(PhysicsWorld::instance().get_scene().getNumCollisionObjects(), 2);

    // Frames while paused leave it hanging where it is.
    app->capture.exit_after_frames = 3;
    app->run();
    EXPECT_TRUE(vec_near(app->aircraft.position(), spawn(), 1e-3f));
}

TEST_F(AircraftGlTest, LongFrameAdvancesOneSixtiethOfASecond)
{
    app->step_simulation(0.5f);
    EXPECT_NEAR(app->aircraft.body->getLinearVelocity().y(), -9.81f / 60.0f, 1e-4f);
}

TEST_F(AircraftGlTest, KeyXPutsTheAircraftBackAtRestAndPauses)
{
    app->paused = false;
    app->aircraft.controls = ControlInputs{0.3f, -0.2f, 0.1f, 1.0f};
    for (int frame = 0; frame < 240; ++frame) {
        app->step_simulation(1.0f / 60.0f);
    }
    ASSERT_GT(app->aircraft.position().x, 5.0f) << "it moved under thrust";
    ASSERT_GT(app->aircraft.speed(), 1.0f);

    press(SDLK_x);

    EXPECT_TRUE(app->paused);
    EXPECT_TRUE(vec_near(app->aircraft.position(), spawn(), 1e-3f));
    EXPECT_EQ(app->aircraft.rotation(), glm::quat(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(app->aircraft.speed(), 0.0f);
    EXPECT_EQ(app->aircraft.body->getAngularVelocity().length(), 0.0f);
    EXPECT_EQ(app->aircraft.controls.throttle, 1.0f) << "controls keep their values";
    EXPECT_EQ(app->aircraft.controls.elevator, 0.3f);
    EXPECT_EQ(app->aircraft.controls.aileron, -0.2f);
    EXPECT_EQ(app->aircraft.controls.rudder, 0.1f);
}

TEST_F(AircraftGlTest, ScenePassKeepsTheAircraftTransformOnTheBody)
{
    btTransform pose(btQuaternion(btVector3(0.0f, 1.0f, 0.0f), 0.4f), btVector3(40.0f, 700.0f, -20.0f));
    app->aircraft.body->setWorldTransform(pose);
    while (glGetError() != GL_NO_ERROR) {
    }

    for (const bool depth_pass : {true, false}) {
        app->aircraft_transform = gfx::Transform();
        app->draw_physics_scene(depth_pass);
        EXPECT_TRUE(vec_near(app->aircraft_transform.get_world_position(), glm::vec3(2.0f, 35.0f, -1.0f), 1e-4f))
            << "depth pass " << depth_pass;
        EXPECT_NEAR(glm::dot(app->aircraft_transform.get_world_rotation(), app->aircraft.rotation()), 1.0f, 1e-6f);
    }
    app->render_debug_geometry = true;
    app->draw_flight_model();
    app->render_debug_geometry = false;
    app->draw_flight_model();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace

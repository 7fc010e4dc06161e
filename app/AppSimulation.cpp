// App: the physics world, the aircraft's spawn and reset, the simulation step, and the passes
// that draw the physics shapes and the flight model.

#include "app/App.h"

#include <btBulletDynamicsCommon.h>

#include "physics/DebugGeometry.h"
#include "physics/PhysicsWorld.h"
#include "tiles/WebMercator.h"

namespace {

// The aircraft appears this far above the ground under the start position, physics metres.
constexpr double SPAWN_HEIGHT = 5.0;

gfx::Transform to_transform(const BoxPlacement& placement)
{
    return gfx::Transform(placement.position, placement.rotation, placement.scale);
}

// The start position in the world frame; (0, 0), since the world is centred on it.
WorldXZ start_world_xz(const App& app)
{
    const WorldFrame frame = app.world_frame();
    return latlon_to_world(app.config.start_position, frame.origin_x, frame.origin_y, frame.scaling_factor);
}

} // namespace

void App::setup_physics()
{
    PhysicsWorld& world = PhysicsWorld::instance();

    const WorldXZ start = start_world_xz(*this);
    const double h = terrain->get_elevation(start.x, start.z, true);
    aircraft.create_body(glm::vec3(float(start.x), float(h + SPAWN_HEIGHT), float(start.z)));
    // The physics frame is Mercator metres around the start position: its latitude gives the
    // aerodynamic model the factor to true metres.
    aircraft.set_latitude(config.start_position.lat);
    aircraft.load_flight_model(config.base_path / FLIGHT_MODEL_FILE);
    flight = std::make_unique<FlightSimulation>(aircraft, config.start_position);
    if (config.log_flight) {
        flight_log = std::make_unique<FlightLog>(config.pref_path);
        flight->on_step = [this](const FlightData& data) { flight_log->write(data); };
    }
    reset();
    world.add_ground_plane(glm::vec3(0.0f, float(h), 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

void App::reset()
{
    // Non-blocking: a reset never waits on the network; a coarser tile's height will do.
    const WorldXZ start = start_world_xz(*this);
    const double h = terrain->get_elevation(start.x, start.z, false);
    aircraft.place_body(glm::vec3(float(start.x), float(h + SPAWN_HEIGHT), float(start.z)));
}

void App::step_simulation(float dt)
{
    bool stopped = false;
    flight->advance(dt, stopped);
    if (stopped)
        paused = true;
    if (flight_log)
        flight_log->flush();
}

void App::draw_physics_scene(bool depth_pass)
{
    const float s = SCALING_FACTOR;
    if (aircraft.body) {
        // What the orbit camera follows: the body's pose as drawn.
        const BoxPlacement body = body_placement(aircraft.position(), aircraft.rotation(), s);
        aircraft_transform = gfx::Transform(body.position, body.rotation, body.scale);
    }
    for (const BoxPlacement& box : scene_box_placements(PhysicsWorld::instance().get_scene(), s)) {
        const gfx::Transform transform = to_transform(box);
        if (depth_pass) {
            cuboid.draw_depth(transform, shaders, light_camera);
        } else {
            cuboid.draw(transform, shaders, active_camera());
        }
    }
}

void App::draw_flight_model()
{
    if (!render_debug_geometry) {
        return;
    }
    for (const BoxPlacement& box : flight_model_placements(aircraft, SCALING_FACTOR)) {
        cuboid.draw(to_transform(box), shaders, active_camera());
    }
}

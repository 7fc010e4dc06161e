// App: the physics world, the aircraft's spawn and reset, the simulation step, the ground
// (the flat plane, or the terrain around the aircraft), and the passes that draw the physics
// shapes and the flight model.

#include "app/App.h"

#include <cmath>

#include <btBulletDynamicsCommon.h>

#include "console/Console.h"
#include "physics/DebugGeometry.h"
#include "physics/PhysicsWorld.h"
#include "tiles/WebMercator.h"

namespace {

// The aircraft appears this far above the ground under the start position, physics metres.
constexpr double SPAWN_HEIGHT = 5.0;

// The terrain ground: 129 × 129 heights 8 physics metres apart (1024 m square), sampled anew
// once the aircraft is more than 128 m from its centre, so it reaches at least 384 m ahead
// in every direction, and twice a second for finer tiles that arrived meanwhile.
constexpr int GROUND_SIZE = 129;
constexpr float GROUND_SPACING = 8.0f;
constexpr float GROUND_REACH = 0.5f * (GROUND_SIZE - 1) * GROUND_SPACING - 128.0f;
constexpr float GROUND_REFRESH_SECONDS = 0.5f;
// An aircraft lower than this above the ground (physics metres: standing, or hanging at its
// spawn height) moves with the ground when finer heights change it.
constexpr float RESEAT_HEIGHT = 10.0f;
// Where samples lack a tile, the tile under the aircraft is asked for at this zoom.
constexpr uint32_t MISSING_TILE_ZOOM = 12;
// The free camera stays this far above the ground, world units (10 m).
constexpr float CAMERA_CLEARANCE = 0.5f;

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
    flight->detect_crashes = config.terrain_ground;
    if (config.log_flight) {
        flight_log = std::make_unique<FlightLog>(config.pref_path);
        flight->on_step = [this](const FlightData& data) { flight_log->write(data); };
    }
    ground_fill = float(h);
    ground_plane_height = float(h);
    if (config.terrain_ground)
        ground = std::make_unique<TerrainGround>();
    reset();
    if (!config.terrain_ground)
        world.add_ground_plane(glm::vec3(0.0f, float(h), 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

void App::reset()
{
    pending_placement.reset();
    const WorldXZ start = start_world_xz(*this);
    double h = 0.0;
    if (ground) {
        // On the heightfield, built around the start now if the aircraft took it elsewhere.
        if (!ground->covers(start.x, start.z, GROUND_REACH))
            rebuild_ground(float(start.x), float(start.z));
        h = ground_height(float(start.x), float(start.z));
    } else {
        // Non-blocking: a reset never waits on the network; a coarser tile's height will do.
        h = terrain->get_elevation(start.x, start.z, false);
    }
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

GroundSampler App::ground_sampler()
{
    const WorldFrame frame = world_frame();
    GroundSampler sampler;
    sampler.origin_mx = frame.origin_x;
    sampler.origin_my = frame.origin_y;
    sampler.max_zoom = uint32_t(std::max(config.elevation_server.max_zoom, 0));
    TextureCache* cache = &terrain->texture_cache;
    sampler.lookup = [cache](TileId tile) { return cache->find_heights(tile); };
    return sampler;
}

float App::ground_height(float x, float z)
{
    if (ground) {
        if (const std::optional<float> h = ground->height_at(x, z))
            return *h;
        return ground_sampler().height(x, z).value_or(ground_fill);
    }
    return ground_plane_height;
}

void App::rebuild_ground(float x, float z)
{
    ground_age = 0.0f;
    const GroundSampler sampler = ground_sampler();
    if (const std::optional<float> here = sampler.height(x, z))
        ground_fill = *here;
    GroundGrid grid = sample_ground(sampler, x, z, GROUND_SPACING, GROUND_SIZE, ground_fill);
    if (grid.missing > 0) {
        // Nothing at all is on hand there yet (the cameras are elsewhere): ask for it.
        const LatLon where = world_frame().world_to_latlon(x * SCALING_FACTOR, z * SCALING_FACTOR);
        terrain->texture_cache.get_texture(tile_at(where, MISSING_TILE_ZOOM), TileKind::ELEVATION);
    }
    if (ground->holds(grid.x0, grid.z0, grid.heights))
        return; // nothing new

    ground->set_heights(grid.x0, grid.z0, grid.spacing, grid.size, std::move(grid.heights), aircraft.body,
                        RESEAT_HEIGHT);
}

void App::update_ground(float dt)
{
    if (!ground)
        return;
    if (pending_placement) {
        Placement& place = *pending_placement;
        const LatLon where = world_frame().world_to_latlon(place.x * SCALING_FACTOR, place.z * SCALING_FACTOR);
        // The finest heights there, asked for until they are on hand.
        const TileId tile = tile_at(where, ground_sampler().max_zoom);
        if (terrain->texture_cache.find_heights(tile) == nullptr &&
            terrain->texture_cache.get_texture(tile, TileKind::ELEVATION) == nullptr) {
            if (!place.announced)
                console::print("Waiting for elevation data at {} to place the aircraft\n", to_string(where));
            place.announced = true;
        } else {
            rebuild_ground(place.x, place.z);
            aircraft.place_body(glm::vec3(place.x, ground_height(place.x, place.z) + float(SPAWN_HEIGHT), place.z),
                                place.yaw);
            console::print("Aircraft placed at {}\n", to_string(where));
            pending_placement.reset();
        }
    }

    ground_age += dt;
    const glm::vec3 p = aircraft.position();
    if (ground->empty() || !ground->covers(p.x, p.z, GROUND_REACH) || ground_age >= GROUND_REFRESH_SECONDS)
        rebuild_ground(p.x, p.z);

    // The free camera above the ground, whatever moved it.
    if (!cameras.empty()) {
        BaseCamera& camera = *cameras[0];
        glm::vec3 eye = camera.get_position();
        const float s = SCALING_FACTOR;
        if (const std::optional<float> h = ground_sampler().height(eye.x / s, eye.z / s)) {
            if (eye.y < *h * s + CAMERA_CLEARANCE) {
                eye.y = *h * s + CAMERA_CLEARANCE;
                camera.set_position(eye);
            }
        }
    }
}

void App::place_aircraft_at_camera()
{
    if (cameras.empty())
        return;
    paused = true;
    BaseCamera& camera = *cameras[0];
    const glm::vec3 eye = camera.get_world_position() / SCALING_FACTOR;
    // The nose where the camera looks, levelled; straight up or down keeps it east.
    const glm::vec3 look = -camera.get_z_axis();
    const float yaw = std::hypot(look.x, look.z) > 1e-4f ? std::atan2(-look.z, look.x) : 0.0f;
    pending_placement = Placement{eye.x, eye.z, yaw, false};
    if (!ground) {
        aircraft.place_body(glm::vec3(eye.x, ground_plane_height + float(SPAWN_HEIGHT), eye.z), yaw);
        pending_placement.reset();
        return;
    }
    update_ground(0.0f);
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

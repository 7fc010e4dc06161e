#include "app/Flight.h"

#include <algorithm>
#include <cmath>

#include <btBulletDynamicsCommon.h>

#include "core/Units.h"
#include "physics/FlightInterpolation.h"
#include "tiles/WebMercator.h"

namespace {

// Mercator metres above sea level at position, waiting for the finest tile there: the start's
// height, once, before the first frame.
float start_height(HeightStore& heights, LatLon position)
{
    heights.load(tile_at(position, heights.max_zoom()));
    const std::optional<HeightSample> sample = heights.height_at(position, heights.max_zoom());
    return sample ? mercator_height(sample->metres, position.lat) : 0.0f;
}

} // namespace

Flight::Flight(const FlightSettings& settings, HeightStore& heights)
    : aircraft(world)
    , wind(settings.wind)
    , m_settings(settings)
    , m_ground(world, heights, WorldFrame::centred_on(settings.start, settings.scaling_factor), settings.terrain_ground,
               start_height(heights, settings.start))
{
    aircraft.create_body(glm::vec3(0.0f, m_ground.height(0.0f, 0.0f) + FlightGround::SPAWN_HEIGHT, 0.0f));
    // The physics frame is Mercator metres around the start position: its latitude gives the
    // aerodynamic model the factor to true metres.
    aircraft.set_latitude(settings.start.lat);
    aircraft.load_flight_model(settings.flight_model_file);
    if (aircraft.model)
        model = AircraftModel::load(*aircraft.model, settings.assets_dir);
    m_simulation = std::make_unique<FlightSimulation>(aircraft, settings.start);
    m_simulation->detect_crashes = settings.terrain_ground;
    m_simulation->wind = &wind;
    if (settings.log_flight) {
        m_log = std::make_unique<FlightLog>(settings.log_directory);
        m_simulation->on_step = [this](const FlightData& data) { m_log->write(data); };
    }
    reset();
}

// The simulation and the log go before the aircraft, the aircraft's body before the world.
Flight::~Flight() = default;

void Flight::update(float dt)
{
    m_ground.update(aircraft, dt);
    m_crashed = false;
    if (model)
        model->update(aircraft.controls, paused ? 0.0f : dt);
    if (paused) {
        m_real_time_share = 1.0;
        m_simulation->update_air_motion();
        return;
    }
    m_crashed = m_simulation->advance(dt, paused);
    if (m_simulation->diverged())
        reset();
    if (m_log)
        m_log->flush();
    // Averaged over about a second of frames, so that one long frame shows and then fades.
    if (dt > 0.0f) {
        const double kept = std::clamp(1.0 - m_simulation->dropped_seconds() / double(dt), 0.0, 1.0);
        const double weight = std::min(1.0, double(dt));
        m_real_time_share += (kept - m_real_time_share) * weight;
    }
}

void Flight::show(const FlightData& pose, const FlightData& before)
{
    // Physics metres around the start: Mercator metres east and south, heights in true metres
    // times the start's scale (as FlightSimulation reads them back).
    const WorldFrame origin = WorldFrame::centred_on(m_settings.start, 1.0);
    const auto place = [&](const FlightData& d) {
        const WorldXZ xz = latlon_to_world(d.position, origin.origin_x, origin.origin_y, 1.0);
        return glm::vec3(float(xz.x), float(d.altitude_m * aircraft.true_scale()), float(xz.z));
    };
    const double seconds = pose.time_s - before.time_s;
    const glm::vec3 velocity = seconds > 0.0 ? (place(pose) - place(before)) / float(seconds) : glm::vec3(0.0f);
    aircraft.set_pose(place(pose), body_rotation({pose.heading_deg, pose.pitch_deg, pose.roll_deg}), velocity);
    aircraft.controls = pose.controls;
    // The moving parts (the propeller's spin-up among them) move on with the replay's time; a
    // seek is taken as a moment's step.
    const double advanced = m_shown ? std::clamp(pose.time_s - m_shown->time_s, 0.0, 0.25) : 0.0;
    if (model)
        model->update(aircraft.controls, float(advanced));
    const bool moved = !m_shown || m_shown->time_s != pose.time_s;
    m_shown = pose;
    // Not in the log: the motion over the ground, from the positions (the wind is unknown).
    const double ground_speed = std::hypot(double(velocity.x), double(velocity.z)) / aircraft.true_scale();
    m_shown->ground_speed_m_s = ground_speed;
    m_shown->track_deg = ground_speed > 0.05 ? std::fmod(std::atan2(velocity.x, -velocity.z) * RAD_TO_DEG + 360.0, 360.0)
                                             : pose.heading_deg;
    if (m_log && moved) {
        m_log->write(pose);
        m_log->flush();
    }
}

void Flight::reset()
{
    // The start is the world's origin.
    m_ground.reset(aircraft, 0.0f, 0.0f, m_settings.start_yaw);
    if (model)
        model->reset();
}

void Flight::place_at(float x, float z, float yaw)
{
    paused = true;
    m_ground.place(aircraft, x, z, yaw);
}

gfx::Transform Flight::pose() const
{
    const BoxPlacement body =
        body_placement(aircraft.position(), aircraft.rotation(), static_cast<float>(m_settings.scaling_factor));
    return gfx::Transform(body.position, body.rotation, body.scale);
}

std::vector<BoxPlacement> Flight::scene_boxes() const
{
    return scene_box_placements(world.get_scene(), static_cast<float>(m_settings.scaling_factor));
}

std::vector<BoxPlacement> Flight::flight_model_boxes() const
{
    return flight_model_placements(aircraft, static_cast<float>(m_settings.scaling_factor));
}

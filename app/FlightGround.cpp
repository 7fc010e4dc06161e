#include "app/FlightGround.h"

#include <cmath>

#include <glm/vec3.hpp>

#include "console/Console.h"
#include "physics/Aircraft.h"
#include "physics/PhysicsWorld.h"
#include "tiles/WebMercator.h"

namespace {

// 129 × 129 heights 8 physics metres apart (1024 m square), sampled anew once the aircraft is
// more than 128 m from the centre, so it reaches at least 384 m ahead in every direction, and
// twice a second for finer tiles that arrived meanwhile.
constexpr int GROUND_SIZE = 129;
constexpr float GROUND_SPACING = 8.0f;
constexpr float GROUND_REACH = 0.5f * (GROUND_SIZE - 1) * GROUND_SPACING - 128.0f;
constexpr float GROUND_REFRESH_SECONDS = 0.5f;
// An aircraft lower than this above the ground (physics metres: standing, or hanging at its
// spawn height) moves with the ground when finer heights change it.
constexpr float RESEAT_HEIGHT = 10.0f;
// Where samples lack a tile, the tile there is asked for at this zoom.
constexpr uint32_t MISSING_TILE_ZOOM = 12;

} // namespace

FlightGround::FlightGround(PhysicsWorld& world, HeightStore& heights, const WorldFrame& frame, bool terrain,
                           float start_height)
    : m_heights(&heights)
    , m_frame(frame)
    , m_plane_height(start_height)
    , m_fill(start_height)
{
    if (terrain)
        m_terrain = std::make_unique<TerrainGround>(world);
    else
        world.add_ground_plane(glm::vec3(0.0f, start_height, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

GroundSampler FlightGround::sampler() const
{
    GroundSampler sampler;
    sampler.origin_mx = m_frame.origin_x;
    sampler.origin_my = m_frame.origin_y;
    sampler.max_zoom = m_heights->max_zoom();
    const HeightStore* heights = m_heights;
    sampler.lookup = [heights](TileId tile) { return heights->find(tile); };
    sampler.failed = [heights](TileId tile) { return heights->failed_for_good(tile); };
    return sampler;
}

LatLon FlightGround::latlon(float x, float z) const
{
    const double s = m_frame.scaling_factor;
    return m_frame.world_to_latlon(x * s, z * s);
}

std::optional<float> FlightGround::held_height(double x, double z) const
{
    return sampler().height(x, z);
}

float FlightGround::height(float x, float z) const
{
    if (!m_terrain)
        return m_plane_height;
    if (const std::optional<float> h = m_terrain->height_at(x, z))
        return *h;
    return held_height(x, z).value_or(m_fill);
}

void FlightGround::rebuild(float x, float z, Aircraft* rider)
{
    m_age = 0.0f;
    const GroundSampler heights = sampler();
    if (const std::optional<float> here = heights.height(x, z))
        m_fill = *here;
    GroundGrid grid = sample_ground(heights, x, z, GROUND_SPACING, GROUND_SIZE, m_fill);
    if (grid.missing > 0) {
        // Nothing at all is held there yet (the cameras are elsewhere): ask for it.
        m_heights->get(tile_at(latlon(x, z), MISSING_TILE_ZOOM));
    }
    if (m_terrain->holds(grid.x0, grid.z0, grid.heights))
        return; // nothing new
    m_terrain->set_heights(grid.x0, grid.z0, grid.spacing, grid.size, std::move(grid.heights),
                           rider != nullptr ? rider->body : nullptr, RESEAT_HEIGHT);
}

void FlightGround::try_placement(Aircraft& aircraft)
{
    Placement& place = *m_pending;
    const LatLon where = latlon(place.x, place.z);
    // The finest heights there that can be had: the server's finest tile, or, where it failed
    // for good (a server whose real deepest zoom is below max_zoom), the finest that came.
    const FinestHeights finest = finest_heights(sampler(), place.x, place.z);
    if (!finest.ready && finest.wanted && m_heights->get(*finest.wanted) == nullptr) {
        if (!place.announced)
            console::print("Waiting for elevation data at {} to place the aircraft\n", to_string(where));
        place.announced = true;
        return;
    }
    rebuild(place.x, place.z, &aircraft);
    aircraft.place_body(glm::vec3(place.x, height(place.x, place.z) + SPAWN_HEIGHT, place.z), place.yaw);
    if (finest.ready || finest.wanted)
        console::print("Aircraft placed at {} on heights of zoom {}\n", to_string(where),
                       finest.ready ? finest.zoom : finest.wanted->zoom);
    else
        console::print("Aircraft placed at {} at the last known height: no elevation data can be had there\n",
                       to_string(where));
    m_pending.reset();
}

void FlightGround::update(Aircraft& aircraft, float dt)
{
    if (!m_terrain)
        return;
    if (m_pending)
        try_placement(aircraft);
    m_age += dt;
    const glm::vec3 p = aircraft.position();
    if (m_terrain->empty() || !m_terrain->covers(p.x, p.z, GROUND_REACH) || m_age >= GROUND_REFRESH_SECONDS)
        rebuild(p.x, p.z, &aircraft);
}

void FlightGround::place(Aircraft& aircraft, float x, float z, float yaw)
{
    m_pending = Placement{x, z, yaw, false};
    if (!m_terrain) {
        aircraft.place_body(glm::vec3(x, m_plane_height + SPAWN_HEIGHT, z), yaw);
        m_pending.reset();
        return;
    }
    update(aircraft, 0.0f);
}

void FlightGround::reset(Aircraft& aircraft, float x, float z, float yaw)
{
    m_pending.reset();
    // On the heightfield, built around the spot now if the aircraft took it elsewhere.
    if (m_terrain && !m_terrain->covers(x, z, GROUND_REACH))
        rebuild(x, z, nullptr);
    aircraft.place_body(glm::vec3(x, height(x, z) + SPAWN_HEIGHT, z), yaw);
}

#pragma once

// The ground the flight stands on. With the terrain as the ground, a heightfield of the height
// store's heights around the aircraft, sampled anew as the aircraft travels and as finer tiles
// arrive, with the aircraft riding along when the ground under it changes; without it, one flat
// plane at the start's height. Also carries out key T's placement, which waits until the
// finest heights under the chosen spot are on hand.
//
// Positions are physics metres (x east, z south of the world's origin); heights Mercator
// metres.

#include <cstdint>
#include <memory>
#include <optional>

#include "physics/TerrainGround.h"
#include "terrain/GroundHeights.h"
#include "terrain/HeightStore.h"
#include "terrain/WorldFrame.h"

class Aircraft;
class PhysicsWorld;

class FlightGround {
public:
    // The aircraft appears this far above the ground, physics metres.
    static constexpr float SPAWN_HEIGHT = 5.0f;

    // terrain: the terrain is the ground; otherwise a plane at start_height. frame: the
    // world's frame (its scale turns world units into physics metres). world and heights must
    // outlive the ground.
    FlightGround(PhysicsWorld& world, HeightStore& heights, const WorldFrame& frame, bool terrain, float start_height);

    // Once a frame, paused or not: the heightfield follows the aircraft and takes finer heights
    // as they arrive, and a waiting placement is carried out once its heights are there.
    void update(Aircraft& aircraft, float dt);

    // The aircraft SPAWN_HEIGHT above the ground at (x, z), turned by yaw (radians, 0 nose east,
    // positive toward north): on the plane at once; on the terrain once the finest heights
    // there are on hand (printing "Waiting for elevation data at …" meanwhile, then "Aircraft
    // placed at …").
    void place(Aircraft& aircraft, float x, float z, float yaw);
    // The aircraft at rest at its spawn height above (x, z) now, turned by yaw, with whatever
    // heights are on hand; a waiting placement is dropped.
    void reset(Aircraft& aircraft, float x, float z, float yaw = 0.0f);

    // The ground's height at (x, z): the heightfield's, else the finest held tile's, else the
    // last known height; the plane's without the terrain.
    float height(float x, float z) const;
    // The finest held tile's height at (x, z), if any tile there is held.
    std::optional<float> held_height(double x, double z) const;
    bool waiting() const { return m_pending.has_value(); }

private:
    struct Placement {
        float x = 0.0f;
        float z = 0.0f;
        float yaw = 0.0f;
        bool announced = false;
    };

    GroundSampler sampler() const;
    LatLon latlon(float x, float z) const;
    // Samples the heightfield around (x, z); a rider standing on the ground moves with it by the
    // height the ground changed under it.
    void rebuild(float x, float z, Aircraft* rider);
    void try_placement(Aircraft& aircraft);

    HeightStore* m_heights;
    WorldFrame m_frame;
    std::unique_ptr<TerrainGround> m_terrain; // null: the plane
    float m_plane_height;
    float m_age = 0.0f;  // seconds since the heightfield was last sampled
    float m_fill;        // given to samples no held tile covers
    std::optional<Placement> m_pending;
};

#pragma once

// Per-frame level-of-detail selection as plain arithmetic: where the LOD centre goes, how
// fine the tiles get, and which grid vertex the quadtree is built around. The terrain
// renderer owns the settings and the resulting fields; these functions take values and
// return values.

#include "terrain/WorldFrame.h"
#include "tiles/TileId.h"

#include <cstdint>

#include <glm/vec3.hpp>

// The automatic zoom never goes finer than this.
inline constexpr uint32_t LOD_AUTOMATIC_ZOOM_LIMIT = 17;

// The renderer's settings that steer the selection.
struct LodSettings {
    bool manual_zoom = false;
    bool smart_lod_center = true;
    double max_horizon = 20000.0; // metres
    double lod_selection = 0.1;
    uint32_t min_zoom = 7;
    uint32_t max_zoom = 17;       // used as is when manual_zoom is on
};

struct LodSelection {
    LatLon camera;        // camera latitude/longitude
    double altitude = 0;  // camera altitude, metres
    LatLon center_coord;  // the LOD centre
    uint32_t max_zoom = 0;
    TileId center_tile{}; // grid vertex nearest the centre at min_zoom
};

// Heading in degrees [0, 360) of the view direction −z_axis, clockwise from north (−z).
float view_heading(glm::vec3 z_axis);

// How far ahead of the camera the centre moves, metres: none when looking straight down,
// 500 m at the ground, max_horizon from 10000 m up, linear in between.
double lod_push_distance(double altitude, float downward_look, double max_horizon);

// Destination after travelling distance metres from start along the great circle with
// the initial bearing (degrees clockwise from north).
LatLon great_circle_destination(LatLon start, double bearing_degrees, double distance);

// The centre pushed ahead of the camera along its heading (the "Smart LOD Center").
LatLon smart_lod_center(LatLon camera, double altitude, glm::vec3 camera_z_axis, double max_horizon);

// max_zoom derived from the altitude: log2(C / (lod_selection × altitude)) truncated, at
// most 17, at least min_zoom + 1; min_zoom + 1 when the product is not positive.
uint32_t automatic_max_zoom(double lod_selection, double altitude, uint32_t min_zoom);

// Steps 1 to 4 of a frame: camera position and its local +Z axis in world space → camera
// position on the globe, altitude, LOD centre, max_zoom (settings.max_zoom when manual)
// and the centre tile.
LodSelection select_lod(const WorldFrame& frame, const LodSettings& settings, glm::vec3 camera_position,
                        glm::vec3 camera_z_axis);

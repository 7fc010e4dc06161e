#pragma once

// A geographic position, the input of every tile and Mercator computation.

#include <string>

struct LatLon {
    double lat = 0.0; // degrees, north positive
    double lon = 0.0; // degrees, east positive
};

// "lat=47.257600, lon=11.351300"; the longitude wrapped into [-180, 180), as a position past
// the antimeridian is reported west of it.
std::string to_string(const LatLon& position);

#include "tiles/LatLon.h"

#include <fmt/format.h>

#include "tiles/WebMercator.h"

std::string to_string(const LatLon& position)
{
    // Fixed notation with six decimals, the printf "%f" form.
    return fmt::format("lat={:f}, lon={:f}", position.lat, wrap_longitude(position.lon));
}

#include "terrain/WorldFrame.h"

#include "tiles/WebMercator.h"

WorldFrame WorldFrame::centred_on(LatLon origin, double scaling_factor)
{
    return {scaling_factor, mercator_x(origin.lon), mercator_y(origin.lat)};
}

LatLon WorldFrame::world_to_latlon(double x, double z) const
{
    return ::world_to_latlon(x, z, origin_x, origin_y, scaling_factor);
}

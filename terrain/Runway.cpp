#include "terrain/Runway.h"

#include <cctype>
#include <utility>

namespace {

char upper(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool starts_with_upper(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (upper(text[i]) != prefix[i])
            return false;
    return true;
}

// Leading letters of the codes seen in the data set, checked in order: gravel before grass,
// since both begin with "GR".
constexpr std::pair<std::string_view, RunwaySurface> SURFACE_PREFIXES[] = {
    {"ASP", RunwaySurface::Asphalt},   {"BIT", RunwaySurface::Asphalt},  {"TAR", RunwaySurface::Asphalt},
    {"PEM", RunwaySurface::Asphalt},   {"MAC", RunwaySurface::Asphalt},  {"PAVED", RunwaySurface::Asphalt},
    {"SEAL", RunwaySurface::Asphalt},  {"TRTD", RunwaySurface::Asphalt}, {"CON", RunwaySurface::Concrete},
    {"COP", RunwaySurface::Concrete},  {"PCC", RunwaySurface::Concrete}, {"GRV", RunwaySurface::Gravel},
    {"GRAV", RunwaySurface::Gravel},   {"GRE", RunwaySurface::Gravel},   {"GRS", RunwaySurface::Grass},
    {"GRA", RunwaySurface::Grass},     {"TURF", RunwaySurface::Grass},   {"DIRT", RunwaySurface::Dirt},
    {"EARTH", RunwaySurface::Dirt},    {"CLAY", RunwaySurface::Dirt},    {"SAND", RunwaySurface::Dirt},
    {"SOIL", RunwaySurface::Dirt},     {"LAT", RunwaySurface::Dirt},     {"CORAL", RunwaySurface::Dirt},
    {"LOAM", RunwaySurface::Dirt},     {"UNPAVED", RunwaySurface::Dirt}, {"WAT", RunwaySurface::Water},
    {"SNOW", RunwaySurface::Snow},     {"ICE", RunwaySurface::Snow},
};

// Upper-case designator without the leading zeros of its number.
std::string normal_designator(std::string_view designator)
{
    size_t first = 0;
    while (first + 1 < designator.size() && designator[first] == '0' &&
           std::isdigit(static_cast<unsigned char>(designator[first + 1])))
        ++first;
    std::string result;
    for (size_t i = first; i < designator.size(); ++i)
        result += upper(designator[i]);
    return result;
}

} // namespace

RunwaySurface runway_surface(std::string_view code)
{
    while (!code.empty() && code.front() == ' ')
        code.remove_prefix(1);
    for (const auto& [prefix, surface] : SURFACE_PREFIXES)
        if (starts_with_upper(code, prefix))
            return surface;
    return RunwaySurface::Unknown;
}

bool is_paved(RunwaySurface surface)
{
    return surface == RunwaySurface::Asphalt || surface == RunwaySurface::Concrete;
}

std::string runway_name(const Runway& runway)
{
    return runway.airport + " " + runway.ends[LOW_END].ident + "/" + runway.ends[HIGH_END].ident;
}

bool same_designator(std::string_view a, std::string_view b)
{
    return normal_designator(a) == normal_designator(b);
}

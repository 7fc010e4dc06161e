#include "physics/FlightLog.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <system_error>

#include <fmt/format.h>

#include "console/Console.h"
#include "physics/FlightSimulation.h"

namespace {

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace

FlightLog::FlightLog(const std::filesystem::path& directory)
{
    const std::string stem = "flight-" + timestamp();
    m_path = directory / (stem + ".csv");
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        fail(error.message());
        return;
    }
    for (int n = 2; std::filesystem::exists(m_path, error); ++n) {
        m_path = directory / (stem + "-" + std::to_string(n) + ".csv");
    }
    m_file.open(m_path, std::ios::out | std::ios::trunc);
    if (!m_file.is_open()) {
        fail(std::strerror(errno));
        return;
    }
    m_file << HEADER << '\n';
    m_file.flush();
    if (!m_file) {
        fail("the header cannot be written");
        return;
    }
    console::print("Flight log: {}\n", console::quoted(m_path));
}

void FlightLog::write(const FlightData& d)
{
    if (!m_file.is_open()) {
        return;
    }
    m_file << fmt::format("{:.4f},{:.7f},{:.7f},{:.2f},{:.2f},{:.2f},{:.2f},{:.1f},{:.2f},{:.2f},{:.3f},{:.3f},{:.3f},{:.3f}\n",
                          d.time_s, d.position.lat, d.position.lon, d.altitude_m, d.height_above_ground_m,
                          d.airspeed_m_s, d.vertical_speed_m_s, d.heading_deg, d.pitch_deg, d.roll_deg,
                          d.controls.elevator, d.controls.aileron, d.controls.rudder, d.controls.throttle);
    if (!m_file) {
        fail("a row cannot be written");
    }
}

void FlightLog::flush()
{
    if (!m_file.is_open()) {
        return;
    }
    m_file.flush();
    if (!m_file) {
        fail("the rows cannot be written");
    }
}

void FlightLog::fail(const std::string& reason)
{
    console::eprint("Could not write the flight log {}: {}\n", console::quoted(m_path), reason);
    if (m_file.is_open()) {
        m_file.close();
    }
}

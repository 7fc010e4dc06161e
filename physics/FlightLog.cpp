#include "physics/FlightLog.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

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
    // The name is claimed by creating the file exclusively: another run starting in the same
    // second (or anything else of that name, a dangling link included) makes this one take
    // the next suffix instead of writing into the other's file.
    for (int n = 2;; ++n) {
        const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST || n > MAX_SUFFIX) {
            fail(std::strerror(errno));
            return;
        }
        m_path = directory / (stem + "-" + std::to_string(n) + ".csv");
    }
    // The file is this run's own now; the stream opens what was created.
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
    // A row is a position, speeds and an attitude: without them it is no row. (The height
    // above the ground is "nan" by design where there is no ground below.)
    for (const double value : {d.time_s, d.position.lat, d.position.lon, d.altitude_m, d.airspeed_m_s,
                               d.vertical_speed_m_s, d.heading_deg, d.pitch_deg, d.roll_deg}) {
        if (!std::isfinite(value)) {
            return;
        }
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

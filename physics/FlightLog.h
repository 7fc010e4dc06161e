#pragma once

// The flight-data log: one CSV file per run with a row per physics step (see FlightSimulation)
// in true units. A log that cannot be written says so once and stops; the flight goes on.

#include <filesystem>
#include <fstream>
#include <string>

struct FlightData;

class FlightLog {
public:
    static constexpr const char* HEADER =
        "time_s,lat,lon,altitude_m,height_above_ground_m,airspeed_m_s,vertical_speed_m_s,heading_deg,pitch_deg,"
        "roll_deg,elevator,aileron,rudder,throttle";

    // Creates directory (with its parents) and in it a new file "flight-YYYYMMDD-HHMMSS.csv" of
    // the local time (with "-2", "-3", … before ".csv" when that name is taken: the file is
    // created exclusively, so two runs never share one), writes the header and prints
    // `Flight log: "<path>"`. When any of that fails it prints one line,
    // `Could not write the flight log "<path>": <reason>`, and stays closed.
    explicit FlightLog(const std::filesystem::path& directory);

    // The highest suffix tried before giving up on a directory full of logs of one second.
    static constexpr int MAX_SUFFIX = 1000;

    FlightLog(const FlightLog&) = delete;
    FlightLog& operator=(const FlightLog&) = delete;

    bool is_open() const { return m_file.is_open(); }
    const std::filesystem::path& path() const { return m_path; }

    // One row. Rows are buffered; flush() hands them to the file. A failed write closes the
    // log with the one line above. Data whose time, position, speeds or attitude are not
    // finite are left out.
    void write(const FlightData& data);
    void flush();

private:
    void fail(const std::string& reason);

    std::filesystem::path m_path;
    std::ofstream m_file;
};

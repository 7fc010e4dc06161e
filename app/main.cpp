#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/App.h"
#include "app/CaptureSettings.h"
#include "app/Config.h"
#include "console/Console.h"
#include "gfx/ShaderError.h"
#include "physics/FlightRecording.h"

namespace {

// Where SDL_GetPrefPath puts the per-user data on this platform, worked out without calling
// it: SDL creates the directory, and asking for help should not leave anything behind.
std::string tile_cache_location()
{
    const char* data_home = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string root = data_home != nullptr && *data_home != '\0' ? data_home
                       : home != nullptr                          ? std::string(home) + "/.local/share"
                                                                  : std::string("~/.local/share");
    return root + "/Windhollow/Windhollow/tiles/";
}

// The usage text, on standard output when asked for, on standard error after a mistake.
void print_usage(console::Stream stream)
{
    console::write(stream, fmt::format(
        "Usage: windhollow [BASE_DIR]\n"
        "       windhollow --replay FLIGHT.csv [BASE_DIR]\n"
        "       windhollow --help | --version\n"
        "\n"
        "A flight simulator over map tiles streamed from two XYZ tile servers.\n"
        "\n"
        "BASE_DIR is the directory that holds assets/. Without it the program uses its own\n"
        "directory when assets/ is there, else {} from there (an installed copy).\n"
        "Read under BASE_DIR:\n"
        "  {:<33}tile servers, elevation encoding, start position, window\n"
        "  {:<33}engines, wings and wheels of the aircraft\n"
        "  {:<33}shaders (R reloads them)\n"
        "\n"
        "--replay FLIGHT.csv plays back a flight log (the program's own, e.g. written with\n"
        "\"log_flight\": true) from where it starts: P pauses, Left / Right seek 10 s,\n"
        "Up / Down change the rate, X goes back to the start.\n"
        "\n"
        "Capture mode (unattended runs), from the environment:\n"
        "  WINDHOLLOW_EXIT_AFTER_FRAMES=N   end after N frames\n"
        "  WINDHOLLOW_SCREENSHOT=FILE.png   write the last frame as a PNG when the run ends\n"
        "  WINDHOLLOW_EXIT_WHEN_SETTLED=1   end once the terrain is complete (no tile pending)\n"
        "  WINDHOLLOW_FRAME_TIMES=FILE      write each frame's duration in ms, one per line\n"
        "  WINDHOLLOW_FRAME_STATS=FILE      write each frame's statistics as CSV: frame, time_s,\n"
        "                                   dt_ms, leaves, sharp_share, pending_tiles\n"
        "  WINDHOLLOW_CAMERA=free|orbit|cockpit   the camera looked through at start\n"
        "Also from the environment:\n"
        "  WINDHOLLOW_VERBOSE=1             print a line per tile request (GET <url>)\n"
        "\n"
        "Tile cache: {}\n"
        "  one folder per tile server; delete it to fetch everything again.\n"
        "\n"
        "  -h, --help   print this text and exit\n"
        "  --version    print the version and exit\n"
        "Any other argument starting with - is refused (exit status 2); a directory of such a\n"
        "name is reached as ./-name.\n",
        INSTALLED_DATA_DIR.string(), CONFIG_FILE.string(), FLIGHT_MODEL_FILE.string(), SHADER_DIR.string() + "/",
        tile_cache_location()));
}

// WINDHOLLOW_VERBOSE: "1" on, "0" or unset off; anything else is said and ignored.
void read_verbose_switch()
{
    const char* value = std::getenv("WINDHOLLOW_VERBOSE");
    if (value == nullptr || *value == '\0')
        return;
    const std::string_view text(value);
    if (text == "1" || text == "0")
        console::set_verbose(text == "1");
    else
        console::eprint("Ignoring WINDHOLLOW_VERBOSE={}: expected 1 or 0\n", console::quoted(text));
}

} // namespace

int main(int argc, char** argv)
{
    // Only the first argument is looked at, as for the base directory: a directory that
    // happens to be called like an option is still reachable as ./--help.
    if (argc > 1) {
        const std::string_view first = argv[1];
        if (first == "--help" || first == "-h") {
            print_usage(console::Stream::Out);
            return 0;
        }
        if (first == "--version") {
            console::print("Windhollow {} (Compiled {} {})\n", WH_VERSION, __DATE__, __TIME__);
            return 0;
        }
        if (first == "--replay" && argc < 3) {
            console::eprint("--replay needs a flight log\n");
            print_usage(console::Stream::Err);
            return 2;
        }
        // A mistyped option would otherwise be taken for a base directory and end in a
        // puzzling "Could not open" of a configuration under it.
        if (first.starts_with("-") && first != "--replay") {
            console::eprint("Unknown option {}\n", console::quoted(first));
            print_usage(console::Stream::Err);
            return 2;
        }
    }
    read_verbose_switch();

    // --replay FLIGHT.csv [BASE_DIR]: the log is read before anything else, so that a file
    // that cannot be played ends the program without a window.
    std::optional<FlightRecording> replay;
    int base_argument = 1;
    if (argc > 2 && std::string_view(argv[1]) == "--replay") {
        FlightLogRead read = read_flight_log(argv[2]);
        if (!read.recording) {
            console::eprint("Could not replay {}: {}\n", console::quoted(std::filesystem::path(argv[2])), read.error);
            return 1;
        }
        replay = std::move(read.recording);
        base_argument = 3;
    }

    console::print("Windhollow (Compiled {} {})\n", __DATE__, __TIME__);

    std::filesystem::path base;
    if (argc > base_argument)
        base = std::filesystem::path(argv[base_argument]);

    bool capture_failed = false;
    try {
        Config config = load_config(base);
        if (replay) {
            // The world is centred where the flight starts, wherever the configuration starts.
            config.start_position = replay->rows.front().position;
            config.start_runway.reset();
            console::print("Replay: {}, {} rows, {:.1f} s", console::quoted(std::filesystem::path(argv[2])),
                           replay->rows.size(), replay->end_s() - replay->start_s());
            if (replay->garbage_rows + replay->out_of_order_rows > 0)
                console::print(" ({} unreadable and {} out-of-order lines skipped)", replay->garbage_rows,
                               replay->out_of_order_rows);
            console::print("\n");
        }
        CaptureSettings capture = CaptureSettings::from_environment();
        App app(config);
        app.capture().settings = capture;
        if (replay)
            app.start_replay(std::move(*replay));
        if (capture.camera)
            app.cameras().choose(*capture.camera);
        app.run();
        capture_failed = app.capture().failed;
    } catch (const ConfigError& error) {
        console::eprint("{}\n", error.what());
        if (!error.detail().empty())
            console::eprint("{}\n", error.detail());
        return 1;
    } catch (const gfx::ShaderError& error) {
        // At start there is no working program to keep drawing with.
        console::eprint("{}\n", error.what());
        return 1;
    } catch (const WindowError& error) {
        console::eprint("{}\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        console::eprint("Windhollow stopped: {}\n", error.what());
        return 1;
    }
    return capture_failed ? 1 : 0;
}

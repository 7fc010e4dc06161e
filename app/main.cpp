#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/App.h"
#include "app/CaptureSettings.h"
#include "app/Config.h"
#include "console/Console.h"
#include "gfx/ShaderError.h"

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
        "Capture mode (unattended runs), from the environment:\n"
        "  WINDHOLLOW_EXIT_AFTER_FRAMES=N   end after N frames\n"
        "  WINDHOLLOW_SCREENSHOT=FILE.png   write the last frame as a PNG when the run ends\n"
        "  WINDHOLLOW_EXIT_WHEN_SETTLED=1   end once the terrain is complete (no tile pending)\n"
        "  WINDHOLLOW_FRAME_TIMES=FILE      write each frame's duration in ms, one per line\n"
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
        // A mistyped option would otherwise be taken for a base directory and end in a
        // puzzling "Could not open" of a configuration under it.
        if (first.starts_with("-")) {
            console::eprint("Unknown option {}\n", console::quoted(first));
            print_usage(console::Stream::Err);
            return 2;
        }
    }
    read_verbose_switch();

    console::print("Windhollow (Compiled {} {})\n", __DATE__, __TIME__);

    std::filesystem::path base;
    if (argc > 1)
        base = std::filesystem::path(argv[1]);

    bool capture_failed = false;
    try {
        Config config = load_config(base);
        CaptureSettings capture = CaptureSettings::from_environment();
        App app(config);
        app.capture().settings = capture;
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

#include <exception>
#include <filesystem>

#include "app/App.h"
#include "app/CaptureSettings.h"
#include "app/Config.h"
#include "console/Console.h"

int main(int argc, char** argv)
{
    console::print("Windhollow (Compiled {} {})\n", __DATE__, __TIME__);

    std::filesystem::path base;
    if (argc > 1)
        base = std::filesystem::path(argv[1]);

    bool capture_failed = false;
    try {
        Config config = load_config(base);
        CaptureSettings capture = CaptureSettings::from_environment();
        App app(config);
        app.capture = capture;
        app.run();
        capture_failed = app.capture_failed;
    } catch (const ConfigError& error) {
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

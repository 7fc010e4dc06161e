// wh_tileserver: the local tile server. Serves a procedural world on 127.0.0.1 for the
// program's default run, the tests and the benchmarks.

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <thread>

#include "console/Console.h"
#include "tools/Airfields.h"
#include "tools/TileHttpServer.h"

namespace {

constexpr std::string_view USAGE =
    "Usage: wh_tileserver [--port N] [--latency-ms N] [--flaky-first P] [--drop-first P]\n"
    "                     [--retry-after S] [--incompressible-imagery] [--help]\n"
    "       wh_tileserver --write-runways FILE\n"
    "Serves a procedural world as XYZ map tiles on 127.0.0.1.\n"
    "  --port N        port to listen on (default 8765; 0 picks a free port)\n"
    "  --latency-ms N  wait N milliseconds before every tile answer (default 0)\n"
    "  --flaky-first P answer the first request of P percent of the tile paths with 503\n"
    "                  (the same paths every run; later requests are served)\n"
    "  --drop-first P  close the first connection of P percent of the tile paths before\n"
    "                  the answer is complete\n"
    "  --retry-after S send \"Retry-After: S\" (seconds) with those 503 answers\n"
    "  --incompressible-imagery\n"
    "                  imagery with a fine grain of noise that PNG and JPEG cannot\n"
    "                  compress, so tiles are as large as detailed aerial photographs\n"
    "  --help          print this text and exit\n"
    "  --write-runways FILE  write the world's runways as a runways.csv file and exit\n"
    "Once listening it prints \"Listening on http://127.0.0.1:<port>\".\n"
    "Routes (rows counted from the north):\n"
    "  /imagery/{z}/{x}/{y}.png and .jpg          RGB imagery\n"
    "  /elevation/rg/{z}/{x}/{y}.png              heights: 32 * R + G / 8 metres\n"
    "  /elevation/byte/{z}/{x}/{y}.png            heights: R / 255 * 3795 metres\n"
    "  /elevation/terrarium/{z}/{x}/{y}.png       heights: R * 256 + G + B / 256 - 32768 metres\n"
    "  /elevation/terrain-rgb/{z}/{x}/{y}.png     heights: -10000 + (R * 65536 + G * 256 + B) / 10 metres\n"
    "  Tiles are 256 pixels; {y}@2x.png (or @2x.jpg) gives the same tile in 512 pixels.\n"
    "  /stats, /stats/reset                request counts and paths as JSON\n"
    "Failure prefixes before a route: /status/{code}/ /slow/{ms}/ /corrupt/ /huge/\n"
    "  /bigimage/ /redirect/{n}/ /size/{n}/ (an n x n PNG)\n";

std::optional<int> parse_int(std::string_view text, int max)
{
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > max) {
        return std::nullopt;
    }
    return value;
}

// The field a failure-injection option sets, or null for any other argument.
int* flaky_option(tileserver::FlakyOptions& flaky, std::string_view arg)
{
    if (arg == "--flaky-first")
        return &flaky.fail_first_percent;
    if (arg == "--drop-first")
        return &flaky.drop_first_percent;
    if (arg == "--retry-after")
        return &flaky.retry_after_seconds;
    return nullptr;
}

int flaky_limit(std::string_view arg) { return arg == "--retry-after" ? 86400 : 100; }

// The world's runways.csv, written whole; the exit status.
int write_runways(const char* path)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << tileserver::airfields_csv();
    file.close();
    if (!file) {
        console::eprint("wh_tileserver: could not write {}\n", console::quoted(std::string_view(path)));
        return 1;
    }
    console::print("Wrote {} runways to {}\n", tileserver::airfield_runways().size(),
                   console::quoted(std::string_view(path)));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    tileserver::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            console::out(USAGE);
            return 0;
        }
        if (arg == "--write-runways") {
            if (i + 1 >= argc) {
                console::eprint("wh_tileserver: {} needs a value\n{}", arg, USAGE);
                return 2;
            }
            return write_runways(argv[i + 1]);
        }
        if (arg == "--incompressible-imagery") {
            options.incompressible_imagery = true;
            continue;
        }
        bool is_port = arg == "--port";
        bool is_latency = arg == "--latency-ms";
        int* flaky = flaky_option(options.flaky, arg);
        if (!is_port && !is_latency && flaky == nullptr) {
            console::eprint("wh_tileserver: unknown option {}\n{}", console::quoted(arg), USAGE);
            return 2;
        }
        if (i + 1 >= argc) {
            console::eprint("wh_tileserver: {} needs a value\n{}", arg, USAGE);
            return 2;
        }
        std::string_view value = argv[++i];
        std::optional<int> number = parse_int(value, is_port ? 65535 : flaky != nullptr ? flaky_limit(arg) : 600000);
        if (!number) {
            console::eprint("wh_tileserver: invalid value {} for {}\n", console::quoted(value), arg);
            return 2;
        }
        (flaky != nullptr ? *flaky : is_port ? options.port : options.latency_ms) = *number;
    }

    // SIGINT and SIGTERM go to one thread that stops the server, so no handler runs inside
    // httplib's code; the mask is set before any thread starts so that every thread inherits it.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    // A client that goes away mid-answer must not end the server.
    std::signal(SIGPIPE, SIG_IGN);

    tileserver::TileHttpServer server(options);
    int port = server.bind();
    if (port < 0) {
        console::eprint("wh_tileserver: could not listen on 127.0.0.1:{}\n", options.port);
        return 1;
    }

    std::thread stopper([&server, &stop_signals] {
        int received = 0;
        sigwait(&stop_signals, &received);
        server.stop();
    });

    console::print("Listening on http://127.0.0.1:{}\n", port);
    bool served = server.serve();

    // If serving ended on its own, wake the stopper with the signal it waits for.
    ::kill(::getpid(), SIGTERM);
    stopper.join();
    if (!served) {
        console::eprint("wh_tileserver: the server stopped with an error\n");
        return 1;
    }
    return 0;
}

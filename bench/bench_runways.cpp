// The runways: loading a file the size of the public runways.csv (45,000 rows, in its layout and
// quoting, about half without both ends' positions as there) and building the index, then the
// per-frame work at a busy place: the runways near the camera, those reaching into the tiles a
// frame selects, the drawer's triangles, and flattening an elevation tile as it is stored.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include <unistd.h>

#include "console/Console.h"
#include "terrain/RunwayFile.h"
#include "terrain/RunwayGround.h"
#include "terrain/RunwayIndex.h"
#include "terrain/RunwayMesh.h"
#include "tiles/WebMercator.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

template <typename Work>
double time_ms(Work work)
{
    const auto begin = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

// 45,000 rows: two thirds on a busy continent (about 10 million km², as North America or
// Europe), the rest anywhere; of all, 45 % without positions (helipads, small strips), 3 %
// closed, a few with broken numbers.
std::string public_like_file(int rows)
{
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const char* surfaces[] = {"ASPH-G", "CONC", "TURF", "GRVL", "ASP", "Grass", "DIRT", "WATER"};
    std::string text = "\"id\",\"airport_ref\",\"airport_ident\",\"length_ft\",\"width_ft\",\"surface\",\"lighted\",\"closed\","
                       "\"le_ident\",\"le_latitude_deg\",\"le_longitude_deg\",\"le_elevation_ft\",\"le_heading_degT\","
                       "\"le_displaced_threshold_ft\",\"he_ident\",\"he_latitude_deg\",\"he_longitude_deg\","
                       "\"he_elevation_ft\",\"he_heading_degT\",\"he_displaced_threshold_ft\"\n";
    for (int i = 0; i < rows; ++i) {
        const bool busy = unit(random) < 0.67;
        const double lat = busy ? 30.0 + 20.0 * unit(random) : -60.0 + 130.0 * unit(random);
        const double lon = busy ? -120.0 + 45.0 * unit(random) : -180.0 + 360.0 * unit(random);
        const int number = 1 + int(unit(random) * 18);
        const double heading = number * 10.0 - 5.0 + 10.0 * unit(random);
        const double length_ft = 1500.0 + 9000.0 * unit(random) * unit(random);
        const double half_deg = length_ft * 0.3048 / 2.0 / 111320.0;
        const double dlat = half_deg * std::cos(heading * DEG_TO_RAD);
        const double dlon = half_deg * std::sin(heading * DEG_TO_RAD) / std::cos(lat * DEG_TO_RAD);
        const int elevation = int(3000.0 * unit(random));
        const double kind = unit(random);
        text += fmt::format("{},{},\"K{:03}\",{:.0f},{:.0f},\"{}\",1,{},", 200000 + i, 3000 + i / 2, i / 2, length_ft,
                            60.0 + 100.0 * unit(random), surfaces[i % 8], kind < 0.03 ? 1 : 0);
        if (kind < 0.45) {
            text += fmt::format("\"H{}\",,,,,,\"\",,,,,\n", i % 3 + 1);
            continue;
        }
        const std::string broken = kind > 0.998 ? "n/a" : std::to_string(elevation);
        text += fmt::format("\"{:02}\",{:.4f},{:.4f},{},{:.1f},{},\"{:02}\",{:.4f},{:.4f},{},{:.1f},\n", number, lat - dlat,
                            lon - dlon, broken, heading, kind < 0.5 ? "300" : "", (number + 18 - 1) % 36 + 1, lat + dlat,
                            lon + dlon, elevation + 10, std::fmod(heading + 180.0, 360.0));
    }
    return text;
}

} // namespace

int main()
{
    constexpr int ROWS = 45000;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("wh-bench-runways-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(file, std::ios::binary);
        out << public_like_file(ROWS);
    }
    console::print("A runways.csv of {} rows, {:.1f} MiB\n", ROWS, std::filesystem::file_size(file) / 1048576.0);

    std::vector<double> load_ms, index_ms;
    RunwayIndex index;
    for (int run = 0; run < 9; ++run) {
        console::Capture quiet; // the load's line, once per run
        std::vector<Runway> runways;
        load_ms.push_back(time_ms([&] { runways = load_runways(file); }));
        index_ms.push_back(time_ms([&] { index = RunwayIndex(std::move(runways)); }));
    }
    std::filesystem::remove(file);
    console::print("Load (read, parse): median {:.1f} ms; index: median {:.1f} ms; {} runways\n", median(load_ms),
                   median(index_ms), index.size());

    // The busiest place: the camera at the runway with the most runways within 40 km.
    LatLon camera;
    size_t most = 0;
    for (uint32_t i = 0; i < index.size(); i += 97) {
        const LatLon at = index.runway(i).ends[LOW_END].position;
        const size_t count = index.near(at, 40000.0).size();
        if (count > most) {
            most = count;
            camera = at;
        }
    }
    constexpr int FRAMES = 2000;
    for (double radius : {40000.0, 100000.0}) {
        size_t found = 0;
        const double ms = time_ms([&] {
            for (int frame = 0; frame < FRAMES; ++frame)
                found = index.near(LatLon{camera.lat + frame * 1e-6, camera.lon}, radius).size();
        });
        console::print("Runways within {:.0f} km of the camera: {:.1f} us per query ({} runways)\n", radius / 1000.0,
                       ms * 1000.0 / FRAMES, found);
    }

    // A frame's tiles: the 2 × 2 block at each zoom from 8 to 16 around the camera, as the
    // height store would ask when they arrive.
    std::vector<TileId> tiles;
    for (uint32_t zoom = 8; zoom <= 16; ++zoom)
        for (const TileId& tile : corner_block(tile_corner_at(camera, zoom)))
            tiles.push_back(tile);
    size_t reaching = 0;
    const double tiles_ms = time_ms([&] {
        for (int frame = 0; frame < FRAMES; ++frame)
            for (const TileId& tile : tiles)
                reaching += index.reaching_into(tile).size();
    });
    console::print("Runways reaching into {} tiles (zoom 8 to 16): {:.1f} us for all ({} found)\n", tiles.size(),
                   tiles_ms * 1000.0 / FRAMES, reaching / FRAMES);

    std::vector<RunwayVertex> vertices;
    const std::vector<NearbyRunway> near = index.near(camera, 40000.0);
    const double mesh_ms = time_ms([&] {
        for (int frame = 0; frame < FRAMES; ++frame) {
            vertices.clear();
            for (const NearbyRunway& n : near)
                if (const auto heights = end_heights(index.runway(n.runway), index.shape(n.runway), nullptr))
                    append_runway_mesh(index.runway(n.runway), index.shape(n.runway), *heights,
                                       RunwayWorld{mercator_x(camera.lon), mercator_y(camera.lat), 0.05}, vertices);
        }
    });
    console::print("Drawer's triangles for the {} runways within 40 km: {:.1f} us ({} vertices)\n", near.size(),
                   mesh_ms * 1000.0 / FRAMES, vertices.size());

    for (int size : {256, 512}) {
        for (uint32_t zoom : {3u, 12u, 15u}) {
            const TileId tile = tile_at(camera, zoom);
            std::vector<float> metres(size_t(size) * size, 500.0f);
            int changed = 0;
            std::vector<double> ms;
            for (int run = 0; run < 50; ++run)
                ms.push_back(time_ms([&] { changed = flatten_tile(index, tile, size, size, metres.data(), nullptr); }));
            console::print("Flattening a {} px tile of zoom {} under {} runways: median {:.3f} ms\n", size, zoom, changed,
                           median(ms));
        }
    }
    return 0;
}

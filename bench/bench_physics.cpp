// CPU cost of the flight: one physics step of the shipped aircraft in cruise over the ground
// plane, with the aerodynamic model (forces, tyres, a 1/120 s step) and without it (thrust
// and suspension only, a 1/60 s step); and with the terrain as the ground, one rebuild of the
// heightfield from resident elevation tiles and a step over it.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <cmath>
#include <vector>

#include <btBulletDynamicsCommon.h>
#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "console/Console.h"
#include "physics/Aircraft.h"
#include "physics/FlightSimulation.h"
#include "physics/PhysicsWorld.h"
#include "physics/TerrainGround.h"
#include "terrain/GroundHeights.h"
#include "tiles/WebMercator.h"

namespace {

constexpr LatLon START{47.2576, 11.3513};
constexpr float GROUND = 600.0f;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// Median microseconds per call of work over batches of count calls.
double time_per_call(int batches, int count, const std::function<void()>& work)
{
    std::vector<double> per_call;
    for (int batch = 0; batch < batches; ++batch) {
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < count; ++i)
            work();
        const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - begin;
        per_call.push_back(spent.count() / count);
    }
    return median(per_call);
}

// The shipped aircraft, with or without the aerodynamic model, flying level at 33 m/s 300 m
// above the ground plane (the wheels' rays reach nothing) or rolling on its wheels.
void measure(bool aerodynamic, bool on_ground)
{
    PhysicsWorld world;
    world.add_ground_plane(glm::vec3(0.0f, GROUND, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    Aircraft aircraft(world);
    aircraft.create_body(glm::vec3(0.0f, GROUND + 2.0f, 0.0f));
    aircraft.set_latitude(START.lat);
    {
        console::Capture quiet;
        aircraft.load_flight_model(std::filesystem::path(WH_SOURCE_DIR) / FLIGHT_MODEL_FILE);
        if (!aerodynamic) {
            // The same file without its "aerodynamics" member.
            const std::filesystem::path copy = std::filesystem::temp_directory_path() / "wh-bench-physics.json";
            nlohmann::json model = nlohmann::json::parse(std::ifstream(std::filesystem::path(WH_SOURCE_DIR) / FLIGHT_MODEL_FILE));
            model.erase("aerodynamics");
            std::ofstream(copy) << model.dump();
            aircraft.load_flight_model(copy);
            std::filesystem::remove(copy);
        }
    }
    FlightSimulation flight(aircraft, START);
    const float k = aircraft.true_scale();
    const float height = on_ground ? 1.8f : 300.0f * k;

    const float step = aerodynamic ? static_cast<float>(FlightSimulation::sub_step) : PhysicsWorld::max_step;
    bool paused = false;
    int steps = 0;
    const auto reset = [&] {
        aircraft.place_body(glm::vec3(0.0f, GROUND + height, 0.0f));
        aircraft.body->setLinearVelocity(btVector3((on_ground ? 10.0f : 33.0f) * k, 0.0f, 0.0f));
        aircraft.controls.throttle = on_ground ? 0.2f : 0.6f;
    };
    reset();
    const double us = time_per_call(15, 2000, [&] {
        // Back to the start now and then, so that each batch flies the same way.
        if (++steps % 120 == 0)
            reset();
        flight.advance(step, paused);
    });
    console::print("  {:<28} {:>7.2f} us per step ({:.0f} steps per second of flight)\n",
                   std::string(aerodynamic ? "aerodynamic, " : "without the model, ") + (on_ground ? "rolling" : "flying"),
                   us, aerodynamic ? 1.0 / FlightSimulation::sub_step : 60.0);
}

// Elevation tiles of 256 x 256 pixels with rolling hills, made when first asked for, standing
// in for the texture cache's resident tiles (only zoom 13 and below are "resident", so every
// sample also looks for the two finer zooms first, as in the program with a camera high up).
class HillTiles {
public:
    const ElevationSamples* find(TileId tile)
    {
        if (tile.zoom > 13)
            return nullptr;
        auto [it, added] = m_tiles.try_emplace(tile);
        if (added) {
            it->second.width = 256;
            it->second.height = 256;
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x)
                    it->second.metres.push_back(600.0f + 80.0f * std::sin(0.05f * float(x + tile.x * 256)) *
                                                             std::cos(0.04f * float(y + tile.y * 256)));
        }
        return &it->second;
    }

private:
    std::map<TileId, ElevationSamples> m_tiles;
};

void measure_terrain()
{
    PhysicsWorld world;
    HillTiles tiles;
    GroundSampler sampler{mercator_x(START.lon), mercator_y(START.lat), 15, [&](TileId tile) { return tiles.find(tile); }};
    TerrainGround ground(world);
    // As the program does: 129 x 129 heights 8 m apart, around a point that moves on.
    float centre = 0.0f;
    const double rebuild = time_per_call(15, 20, [&] {
        GroundGrid grid = sample_ground(sampler, centre, 0.0, 8.0, 129, 0.0f);
        ground.set_heights(grid.x0, grid.z0, grid.spacing, grid.size, std::move(grid.heights));
        centre += 136.0f;
    });
    const double sampling = time_per_call(15, 20, [&] { sample_ground(sampler, 0.0, 0.0, 8.0, 129, 0.0f); });
    console::print("Terrain ground: one rebuild of the 129 x 129 heightfield (1 km square) {:.0f} us, of which "
                   "sampling the tiles {:.0f} us\n",
                   rebuild, sampling);

    GroundGrid grid = sample_ground(sampler, 0.0, 0.0, 8.0, 129, 0.0f);
    ground.set_heights(grid.x0, grid.z0, grid.spacing, grid.size, std::move(grid.heights));
    Aircraft aircraft(world);
    aircraft.create_body(glm::vec3(0.0f));
    aircraft.set_latitude(START.lat);
    {
        console::Capture quiet;
        aircraft.load_flight_model(std::filesystem::path(WH_SOURCE_DIR) / FLIGHT_MODEL_FILE);
    }
    FlightSimulation flight(aircraft, START);
    flight.detect_crashes = true;
    const float k = aircraft.true_scale();
    for (const bool on_ground : {false, true}) {
        bool paused = false;
        int steps = 0;
        const auto reset = [&] {
            const float height = on_ground ? 1.5f : 30.0f * k;
            aircraft.place_body(glm::vec3(-300.0f, *ground.height_at(-300.0, 0.0) + height, 0.0f));
            aircraft.body->setLinearVelocity(btVector3((on_ground ? 10.0f : 33.0f) * k, 0.0f, 0.0f));
            aircraft.controls.throttle = on_ground ? 0.2f : 0.6f;
            paused = false;
        };
        reset();
        const double us = time_per_call(15, 2000, [&] {
            if (++steps % 120 == 0)
                reset();
            flight.advance(static_cast<float>(FlightSimulation::sub_step), paused);
        });
        console::print("  {:<28} {:>7.2f} us per step\n", on_ground ? "over the heightfield, rolling" : "over the heightfield, 30 m up", us);
    }
}

} // namespace

int main()
{
    console::print("One physics step of the shipped aircraft (update and world step), median of 15 batches of "
                   "2000 steps\n");
    for (const bool on_ground : {false, true}) {
        measure(false, on_ground);
        measure(true, on_ground);
    }
    measure_terrain();
    return 0;
}

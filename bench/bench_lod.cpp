// CPU cost of one frame's tile selection: LOD centre, automatic zoom, quadtree build, leaf
// sort and tree destruction, at three camera heights with the default settings; and of one
// prediction of the tiles a camera flying at 90 m/s will want in the next 4 s.

#include "app/Config.h"
#include "console/Console.h"
#include "core/Units.h"
#include "terrain/LodSelection.h"
#include "terrain/QuadTree.h"
#include "terrain/TilePrediction.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

struct FrameResult {
    size_t leaves = 0;
    uint32_t max_zoom = 0;
    uint32_t finest_zoom = 0;
};

FrameResult select_frame(const WorldFrame& frame, const LodSettings& settings, glm::vec3 position, glm::vec3 z_axis)
{
    const LodSelection selection = select_lod(frame, settings, position, z_axis);
    const QuadTree tree(selection.center_coord, settings.min_zoom, selection.max_zoom, 1.0, frame);
    const std::vector<const Node*> leaves = tree.sorted_leaves();
    return {leaves.size(), selection.max_zoom, leaves.empty() ? 0u : leaves.back()->tile.zoom};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

} // namespace

int main()
{
    const LatLon start{47.2576, 11.3513};
    const double scale = static_cast<double>(0.05f);
    const WorldFrame frame = WorldFrame::centred_on(start, scale);
    const LodSettings settings; // smart centre on, automatic zoom, min zoom 7

    constexpr int FRAMES = 2000;
    constexpr int BATCHES = 15;

    console::print("LOD selection per frame (centre, zoom, quadtree build, leaf sort, destroy), "
                   "{} batches of {} frames, camera pitched 20 degrees down\n",
                   BATCHES, FRAMES);
    for (double altitude : {100.0, 1000.0, 10000.0}) {
        const glm::vec3 position{0.0f, static_cast<float>(altitude * scale), 0.0f};
        std::vector<double> per_frame_us;
        FrameResult last;
        size_t sink = 0;
        for (int batch = 0; batch < BATCHES; ++batch) {
            const auto begin = std::chrono::steady_clock::now();
            for (int i = 0; i < FRAMES; ++i) {
                // Turn a little every frame so consecutive frames are not identical.
                const float yaw = static_cast<float>(i) * 0.0005f;
                const float pitch = 20.0f * DEG_TO_RAD_F;
                const glm::vec3 view{std::sin(yaw) * std::cos(pitch), -std::sin(pitch), -std::cos(yaw) * std::cos(pitch)};
                last = select_frame(frame, settings, position, -view);
                sink += last.leaves;
            }
            const auto end = std::chrono::steady_clock::now();
            per_frame_us.push_back(std::chrono::duration<double, std::micro>(end - begin).count() / FRAMES);
        }
        const auto [lo, hi] = std::minmax_element(per_frame_us.begin(), per_frame_us.end());
        console::print("altitude {:>6.0f} m: median {:7.2f} us/frame (min {:.2f}, max {:.2f}), {} leaves, "
                       "max_zoom {}, finest tile zoom {} (checksum {})\n",
                       altitude, median(per_frame_us), *lo, *hi, last.leaves, last.max_zoom, last.finest_zoom, sink);
    }

    // Eight poses half a second apart, straight and in a turn: the work of one frame's
    // prefetch (a selection per pose, the tiles' sets, their order).
    constexpr int PREDICTIONS = 200;
    for (double altitude : {300.0, 1000.0}) {
        for (double turn : {0.0, 18.0}) {
            const ViewPose now = view_pose(frame, start, altitude, 90.0, -10.0, 0.0);
            const glm::vec3 velocity{static_cast<float>(90.0 * scale / std::cos(start.lat * DEG_TO_RAD)), 0.0f, 0.0f};
            const std::vector<ViewPose> coming = extrapolate_poses(now, velocity, turn, 4.0, 0.5);
            PrefetchSettings prefetch;
            size_t tiles = 0;
            const auto begin = std::chrono::steady_clock::now();
            for (int i = 0; i < PREDICTIONS; ++i)
                tiles += tiles_to_prefetch(frame, prefetch, now, coming).size();
            const auto end = std::chrono::steady_clock::now();
            console::print("prediction at {:>4.0f} m, turning {:>2.0f} deg/s: {:7.1f} us per frame, {} tiles\n", altitude,
                           turn, std::chrono::duration<double, std::micro>(end - begin).count() / PREDICTIONS,
                           tiles / PREDICTIONS);
        }
    }
    return 0;
}

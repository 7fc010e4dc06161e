// Transforms and projection cameras, judged by where they put points, and the include
// expansion of shader sources.

#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>

#include "console/Console.h"
#include "gfx/Cuboid.h"
#include "gfx/Mipmaps.h"
#include "gfx/OrthoCamera.h"
#include "gfx/PerspectiveCamera.h"
#include "gfx/ShaderLog.h"
#include "gfx/ShaderSource.h"
#include "gfx/Transform.h"
#include "tests/support/Support.h"

namespace {

using support::write_file;

constexpr float PI = 3.14159265f;

::testing::AssertionResult near(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-4f)
{
    if (glm::length(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << glm::to_string(actual) << " instead of " << glm::to_string(expected);
}

// Normalised device coordinates of a point of the camera's view space, or the world point as
// a transform places the local one.
glm::vec3 ndc(const gfx::Camera& camera, const glm::vec3& p)
{
    const glm::vec4 clip = camera.get_projection() * glm::vec4(p, 1.0f);
    return glm::vec3(clip) / clip.w;
}
glm::vec3 placed(const glm::mat4& matrix, const glm::vec3& p) { return glm::vec3(matrix * glm::vec4(p, 1.0f)); }

// Each level halves the one above (an odd edge rounds down, never below 1) and is the mean of
// the 2 x 2 block above it, down to 1 x 1.
TEST(Mipmaps, EachLevelAveragesTheBlocksAboveItDownToOnePixel)
{
    const uint8_t base[4 * 2 * 2] = {0, 100, 10, 30, 20, 40, 200, 0, // two channels, 4 x 2 pixels
                                     4, 100, 14, 30, 24, 40, 204, 0};
    const std::vector<gfx::MipLevel<uint8_t>> levels = gfx::build_mip_chain(base, 4, 2, 2);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(std::tuple(levels[0].width, levels[0].height, levels[0].values),
              std::tuple(2, 1, std::vector<uint8_t>{7, 65, 112, 20}));
    EXPECT_EQ(std::tuple(levels[1].width, levels[1].height, levels[1].values), std::tuple(1, 1, std::vector<uint8_t>{60, 43}));
    const float heights[3] = {1.0f, 2.0f, 4.5f}; // 3 x 1: the odd edge repeats
    EXPECT_EQ(gfx::build_mip_chain(heights, 3, 1, 1).at(0).values, std::vector<float>{1.5f});
    EXPECT_TRUE(gfx::build_mip_chain(heights, 1, 1, 1).empty());
}

TEST(Transform, CamerasProjectAndTransformsPlaceScaleThenRotationThenPosition)
{
    gfx::PerspectiveCamera camera;
    const auto expect_edges = [&](float fov, float aspect, float near_plane, float far_plane) {
        const float t = std::tan(fov / 2.0f);
        EXPECT_TRUE(near(ndc(camera, {0.0f, 0.0f, -near_plane}), {0.0f, 0.0f, -1.0f})) << fov;
        EXPECT_TRUE(near(ndc(camera, {far_plane * t * aspect, far_plane * t, -far_plane}), glm::vec3(1.0f), 1e-3f)) << fov;
    };
    expect_edges(0.7853982f, 16.0f / 9.0f, 0.1f, 1000.0f); // the defaults
    camera.set_perspective(1.2f, 1.0f, 1.0f, 10.0f);
    static_cast<gfx::Camera&>(camera).set_aspect_ratio(0.5f); // as the application resizes its cameras
    camera.set_near(0.01f);
    camera.set_far(15.0f);
    expect_edges(1.2f, 0.5f, 0.01f, 15.0f);

    gfx::OrthoCamera box(-10.0f, -2.0f, 5.0f, 7.0f, -5.0f, 5.0f);
    static_cast<gfx::Camera&>(box).set_aspect_ratio(3.0f); // changes nothing
    box.set_far(15.0f);
    EXPECT_TRUE(near(ndc(box, {-10.0f, 5.0f, 5.0f}), glm::vec3(-1.0f)) && near(ndc(box, {-2.0f, 7.0f, -15.0f}), glm::vec3(1.0f)));
    const gfx::Transform t({1.0f, 2.0f, 3.0f}, glm::quat(glm::vec3(0.0f, PI / 2, 0.0f)), {2.0f, 3.0f, 4.0f});
    EXPECT_TRUE(near(placed(t.get_matrix(), {1.0f, 0.0f, 0.0f}), {1.0f, 2.0f, 1.0f}));
    gfx::Transform turned;
    turned.set_rotation(glm::vec3(0.0f, -PI / 2, 0.0f)); // heading 90: the view (-Z) turns east
    EXPECT_TRUE(near(-turned.get_z_axis(), {1.0f, 0.0f, 0.0f}) && near(turned.get_x_axis(), {0.0f, 0.0f, 1.0f}));
    turned.set_rotation(glm::vec3(0.3f, -1.2f, 2.5f)); // pitch about X, yaw about Y, roll about Z
    EXPECT_TRUE(near(glm::eulerAngles(turned.get_rotation()), {0.3f, -1.2f, 2.5f}, 1e-5f));
    for (size_t i = 0; i < 36; i += 3) { // the cuboid drawn for the aircraft: counter-clockwise seen from outside
        const std::array<glm::vec3, 8>& v = gfx::Cuboid::VERTICES;
        const glm::vec3 a = v[gfx::Cuboid::INDICES[i]], b = v[gfx::Cuboid::INDICES[i + 1]], c = v[gfx::Cuboid::INDICES[i + 2]];
        EXPECT_GT(glm::dot(glm::cross(b - a, c - a), a + b + c), 0.0f) << "triangle " << i / 3 << " faces inward";
    }
    camera.set_rotation(glm::vec3(0.3f, -1.1f, 0.2f)); // its view is the inverse of its placement
    camera.set_position({3.0f, -2.0f, 5.0f});
    EXPECT_TRUE(near(placed(camera.get_view(), {3.0f, -2.0f, 5.0f}), glm::vec3(0.0f)));
    struct Case { glm::vec3 eye, target, up; };
    for (const Case c : {Case{{0, 0, 0}, {0, 0, -1}, {0, 1, 0}}, Case{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, Case{{3, 4, 5}, {}, {0, 1, 0}},
                         Case{{-2, 1, 7}, {4, -3, 0}, {0, 0, 1}}}) {
        gfx::OrthoCamera looking;
        looking.look_at(c.eye, c.target, c.up);
        EXPECT_TRUE(near(looking.get_world_position(), c.eye) && near(-looking.get_z_axis(), glm::normalize(c.target - c.eye)));
        EXPECT_TRUE(near(placed(looking.get_view(), c.target), {0.0f, 0.0f, -glm::length(c.target - c.eye)}));
        EXPECT_LT(std::abs(glm::dot(looking.get_x_axis(), c.up)), 1e-5f) << "no roll about the view";
        EXPECT_EQ(looking.get_view_projection(), looking.get_projection() * looking.get_view());
    }
}

class ShaderSourceTest : public ::testing::Test {
protected:
    std::string d() const { return dir.path().string(); }
    support::TempDir dir{"wh-shader-source"};
};

TEST_F(ShaderSourceTest, DirectivesAreRecognisedExactlyAndNestedIncludesResolveAgainstTheTopLevelDirectory)
{
    write_file(dir / "x.glsl", "X\n");
    write_file(dir / "noeol.glsl", "N");
    const std::pair<std::string, std::string> cases[] = {
        {"a\n#include \"x.glsl\"\nb\n", "a\nX\n\nb\n"},     {"a\n#include \"x.glsl\"", "a\nX\n"}, // the line break stays
        {"#include \"noeol.glsl\"\nb", "N\nb"},                 {" \t#  \tinclude \"x.glsl\"\n", "X\n\n"},
        {"#include\t\"x.glsl\" // shared\nb", "X\n\nb"},        {"#includes \"x.glsl\"\n", "#includes \"x.glsl\"\n"},
        {"#include\"x.glsl\"\n", "#include\"x.glsl\"\n"},       {"#include <x.glsl>\n", "#include <x.glsl>\n"},
        {"#include \"x.glsl\nb\n", "#include \"x.glsl\nb\n"},   {"a #include \"x.glsl\"\n", "a #include \"x.glsl\"\n"},
        {"a\r\n#include \"x.glsl\"\r\nb\r\n", "a\r\nX\n\r\nb\r\n"}, {"a\r#include \"x.glsl\"\rb", "a\rX\n\rb"},
        {"a\n  # inject  \nb", "a\nINJ\nb"},                  {"a\n#inject", "a\nINJ"},
        {"#injected\n", "#injected\n"},                         {"#include \"x.glsl\"\n#include \"x.glsl\"\n", "X\n\nX\n\n"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(gfx::expand_includes(input, "INJ", d()).text, expected) << ::testing::PrintToString(input);
    for (const auto& [path, dir_part] : {std::pair{"assets/shaders//model.vert", "assets/shaders"}, std::pair{"/a.frag", "/"},
                                         std::pair{"a.frag", ""}, std::pair{"", ""}})
        EXPECT_EQ(gfx::include_dir_of(path), dir_part) << path;
    write_file(dir / "shaders/main.vert", "main\n#include \"sub/a.glsl\"\n#include \"b.glsl\"\n");
    write_file(dir / "shaders/sub/a.glsl", "a\n#include \"b.glsl\"\n");
    write_file(dir / "shaders/b.glsl", "top-level b\n");
    write_file(dir / "shaders/sub/b.glsl", "decoy b\n"); // beside the including file
    console::Capture capture;
    EXPECT_EQ(gfx::load_source(d() + "/shaders/main.vert"), "main\na\ntop-level b\n\n\ntop-level b\n\n");
    EXPECT_EQ(capture.err(), "");
}

// Each line of the expanded text knows the file and line it came from, so that a compiler's
// line number can be told as the file's own.
TEST_F(ShaderSourceTest, ExpandedLinesKnowTheirFileAndLine)
{
    write_file(dir / "lib.glsl", "l1\nl2\n");
    write_file(dir / "top.frag", "t1\n#include \"lib.glsl\"\nt3\r\nt4\n#inject\nt6");
    const gfx::ExpandedSource expanded = gfx::expand_include_file(d() + "/top.frag", "INJ", d());
    ASSERT_EQ(expanded.text, "t1\nl1\nl2\n\nt3\r\nt4\nINJ\nt6");
    const std::string top = d() + "/top.frag", lib = d() + "/lib.glsl";
    const std::vector<std::pair<std::string, int>> expected = {{top, 1}, {lib, 1}, {lib, 2}, {top, 2}, {top, 3}, {top, 4}, {top, 5}, {top, 6}};
    std::vector<std::pair<std::string, int>> lines;
    for (const gfx::SourceLine& line : expanded.lines)
        lines.emplace_back(line.file, line.line);
    EXPECT_EQ(lines, expected);
}

// A compiler's log names lines of the expanded text; each entry is told as "file" line n.
TEST(ShaderLog, EntriesNameTheFileAndLineTheyMean)
{
    const std::vector<gfx::SourceLine> lines = {{"a.frag", 1}, {"lib.glsl", 1}, {"lib.glsl", 2}, {"a.frag", 2}};
    const std::pair<std::string, std::string> cases[] = {
        {"0:3(12): error: `x' undeclared", "\"lib.glsl\" line 2: error: `x' undeclared"},            // Mesa
        {"0(4) : error C1008: undefined variable \"y\"", "\"a.frag\" line 2: error C1008: undefined variable \"y\""}, // NVIDIA
        {"ERROR: 0:2: 'z' : undeclared identifier", "\"lib.glsl\" line 1: error: 'z' : undeclared identifier"}, // AMD, Intel
        {"WARNING: 0:1: unused", "\"a.frag\" line 1: warning: unused"},
        {"0:99(1): error: past the end", "\"a.frag\": 0:99(1): error: past the end"},               // no such line
        {"error: main() missing", "\"a.frag\": error: main() missing"},
    };
    for (const auto& [entry, told] : cases)
        EXPECT_EQ(gfx::describe_compile_log(entry + "\n", lines, "a.frag"), std::vector<std::string>{told}) << entry;
    EXPECT_EQ(gfx::describe_compile_log("0:1(1): a\r\n\n  \n0:4(1): b", lines, "a.frag"),
              (std::vector<std::string>{"\"a.frag\" line 1: a", "\"a.frag\" line 2: b"})) << "blank lines are left out";
}

TEST_F(ShaderSourceTest, FailuresNameTheFileAndReachStandardError)
{
    write_file(dir / "a.glsl", "#include \"b.glsl\"\n");
    write_file(dir / "b.glsl", "#include \"a.glsl\"\n");
    write_file(dir / "dot.glsl", "#include \"./dot.glsl\"\n");
    write_file(dir / "uses_missing.glsl", "ok\n#include \"missing.glsl\"\n");
    for (int i = 0; i <= gfx::MAX_INCLUDE_DEPTH; ++i) // deep0 includes deep1 ... includes deep33
        write_file(dir / ("deep" + std::to_string(i) + ".glsl"), "#include \"deep" + std::to_string(i + 1) + ".glsl\"\n");
    write_file(dir / "deep33.glsl", "end\n");
    for (const auto& [file, message] : {std::pair{"/nope.vert", "Error: couldn't load '" + d() + "/nope.vert'"},
                                        std::pair{"/uses_missing.glsl", "Error: couldn't load '" + d() + "/missing.glsl'"},
                                        std::pair{"/a.glsl", "Error: include cycle at '" + d() + "/a.glsl'"},
                                        std::pair{"/dot.glsl", "Error: include cycle at '" + d() + "/./dot.glsl'"},
                                        std::pair{"/deep0.glsl", "Error: includes nested too deep at '" + d() + "/deep33.glsl'"}}) {
        EXPECT_EQ(gfx::expand_include_file(d() + file, "", d()).error, message);
        console::Capture capture;
        EXPECT_FALSE(gfx::load_source(d() + file).has_value());
        EXPECT_EQ(capture.err(), message + "\n");
    }
    EXPECT_EQ(gfx::expand_include_file(d() + "/deep1.glsl", "", d()).text, "end\n" + std::string(32, '\n')) << "32 levels deep";
}

} // namespace

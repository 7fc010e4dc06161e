// Include expansion of shader sources.

#include "gfx/ShaderSource.h"

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/Support.h"

namespace {

using support::write_file;

class ShaderSourceTest : public ::testing::Test {
protected:
    std::string d() const { return dir.path().string(); }
    support::TempDir dir{"wh-shader-source"};
};

TEST_F(ShaderSourceTest, DirectivesAreRecognisedExactly)
{
    write_file(dir / "x.glsl", "X\n");
    write_file(dir / "noeol.glsl", "N");
    const std::pair<std::string, std::string> cases[] = {
        {"void main() {}\n", "void main() {}\n"},           {"a\n#include \"x.glsl\"\nb\n", "a\nX\n\nb\n"}, // the line break stays
        {"a\n#include \"x.glsl\"", "a\nX\n"},                {"#include \"noeol.glsl\"\nb", "N\nb"},
        {" \t#  \tinclude \"x.glsl\"\n", "X\n\n"},            {"#include\t\"x.glsl\" // shared\nb", "X\n\nb"},
        {"#includes \"x.glsl\"\n", "#includes \"x.glsl\"\n"}, {"#include_x \"x.glsl\"\n", "#include_x \"x.glsl\"\n"},
        {"#include\"x.glsl\"\n", "#include\"x.glsl\"\n"},     {"#include <x.glsl>\n", "#include <x.glsl>\n"},
        {"#include \"x.glsl\nb\n", "#include \"x.glsl\nb\n"}, {"#include\n\"x.glsl\"\n", "#include\n\"x.glsl\"\n"},
        {"a #include \"x.glsl\"\n", "a #include \"x.glsl\"\n"}, {"#version 430 core\n#define A 1\n", "#version 430 core\n#define A 1\n"},
        {"a\r\n#include \"x.glsl\"\r\nb\r\n", "a\r\nX\n\r\nb\r\n"}, {"a\n\r#include \"x.glsl\"\n\rb", "a\n\rX\n\n\rb"},
        {"a\r#include \"x.glsl\"\rb", "a\rX\n\rb"},           {"a\n  # inject  \nb", "a\nINJ\nb"},
        {"a\n#inject", "a\nINJ"},                             {"#inject\r\nb", "INJ\r\nb"},
        {"#injected\n", "#injected\n"},                       {"#include \"x.glsl\"\n#include \"x.glsl\"\n", "X\n\nX\n\n"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(gfx::expand_includes(input, "INJ", d()).text, expected) << ::testing::PrintToString(input);
    for (const auto& [path, dir_part] : {std::pair{"assets/shaders//model.vert", "assets/shaders"}, std::pair{"/a.frag", "/"},
                                         std::pair{"a.frag", ""}, std::pair{"", ""}})
        EXPECT_EQ(gfx::include_dir_of(path), dir_part) << path;
}

TEST_F(ShaderSourceTest, NestedIncludesResolveAgainstTheTopLevelDirectory)
{
    write_file(dir / "shaders/main.vert", "main\n#include \"sub/a.glsl\"\n#include \"b.glsl\"\n");
    write_file(dir / "shaders/sub/a.glsl", "a\n#include \"b.glsl\"\n");
    write_file(dir / "shaders/b.glsl", "top-level b\n");
    write_file(dir / "shaders/sub/b.glsl", "decoy b\n"); // beside the including file
    console::Capture capture;
    EXPECT_EQ(gfx::load_source(d() + "/shaders/main.vert"), "main\na\ntop-level b\n\n\ntop-level b\n\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir / "shaders"); // a file given without a directory looks beside it
    EXPECT_EQ(gfx::load_source("main.vert"), "main\na\ntop-level b\n\n\ntop-level b\n\n");
    std::filesystem::current_path(previous);
    EXPECT_EQ(capture.err(), "");
}

TEST_F(ShaderSourceTest, FailuresNameTheFileAndReachStandardError)
{
    write_file(dir / "self.glsl", "s\n#include \"self.glsl\"\n");
    write_file(dir / "a.glsl", "#include \"b.glsl\"\n");
    write_file(dir / "b.glsl", "#include \"a.glsl\"\n");
    write_file(dir / "dot.glsl", "#include \"./dot.glsl\"\n");
    write_file(dir / "uses_missing.glsl", "ok\n#include \"missing.glsl\"\n");
    for (int i = 0; i <= gfx::MAX_INCLUDE_DEPTH; ++i) // deep0 includes deep1 ... includes deep33
        write_file(dir / ("deep" + std::to_string(i) + ".glsl"), "#include \"deep" + std::to_string(i + 1) + ".glsl\"\n");
    write_file(dir / "deep33.glsl", "end\n");
    for (const auto& [file, message] : {std::pair{"/nope.vert", "Error: couldn't load '" + d() + "/nope.vert'"},
                                        std::pair{"/uses_missing.glsl", "Error: couldn't load '" + d() + "/missing.glsl'"},
                                        std::pair{"/self.glsl", "Error: include cycle at '" + d() + "/self.glsl'"},
                                        std::pair{"/a.glsl", "Error: include cycle at '" + d() + "/a.glsl'"},
                                        std::pair{"/dot.glsl", "Error: include cycle at '" + d() + "/./dot.glsl'"},
                                        std::pair{"", "Error: couldn't load '" + d() + "'"},
                                        std::pair{"/deep0.glsl", "Error: includes nested too deep at '" + d() + "/deep33.glsl'"}}) {
        EXPECT_EQ(gfx::expand_include_file(d() + file, "", d()).error, message);
        console::Capture capture;
        EXPECT_FALSE(gfx::load_source(d() + file).has_value());
        EXPECT_EQ(capture.err(), message + "\n");
    }
    EXPECT_EQ(gfx::expand_include_file(d() + "/deep1.glsl", "", d()).text, "end\n" + std::string(32, '\n')) << "32 levels deep";
}

} // namespace

// Include expansion of shader sources: directive recognition, line ends, nesting against the
// top-level directory, and the failures (missing files, cycles, deep nesting, long names).

#include "gfx/ShaderSource.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/Console.h"
#include "tests/support/TempDir.h"

namespace {

using support::write_file;

// Shows control characters, so a failed comparison of line ends is readable.
std::string visible(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

struct DirectiveCase {
    const char* name;
    std::string input;
    std::string expected;
};

class ShaderSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir / "x.glsl", "X\n");
        write_file(dir / "noeol.glsl", "N");
    }

    std::string dir_string() const { return dir.path().string(); }

    support::TempDir dir{"wh-shader-source"};
};

TEST_F(ShaderSourceTest, DirectivesAreRecognisedExactlyAsTheSourceFormatSays)
{
    const std::vector<DirectiveCase> cases = {
        {"plain text", "void main() {}\n", "void main() {}\n"},
        {"empty text", "", ""},
        {"include keeps its line break", "a\n#include \"x.glsl\"\nb\n", "a\nX\n\nb\n"},
        {"include on the last line", "a\n#include \"x.glsl\"", "a\nX\n"},
        {"included text without a line end", "#include \"noeol.glsl\"\nb", "N\nb"},
        {"blanks before and after #", " \t#  \tinclude \"x.glsl\"\n", "X\n\n"},
        {"tab before the name", "#include\t\"x.glsl\"\n", "X\n\n"},
        {"text after the closing quote is dropped", "#include \"x.glsl\" // shared\nb", "X\n\nb"},
        {"word continuing past include", "#includes \"x.glsl\"\n", "#includes \"x.glsl\"\n"},
        {"include_ prefix", "#include_x \"x.glsl\"\n", "#include_x \"x.glsl\"\n"},
        {"no blank before the name", "#include\"x.glsl\"\n", "#include\"x.glsl\"\n"},
        {"angle brackets", "#include <x.glsl>\n", "#include <x.glsl>\n"},
        {"missing closing quote", "#include \"x.glsl\nb\n", "#include \"x.glsl\nb\n"},
        {"name on the next line", "#include\n\"x.glsl\"\n", "#include\n\"x.glsl\"\n"},
        {"text before # on the line", "a #include \"x.glsl\"\n", "a #include \"x.glsl\"\n"},
        {"other preprocessor lines", "#version 430 core\n#define A 1\n", "#version 430 core\n#define A 1\n"},
        {"CR LF line ends", "a\r\n#include \"x.glsl\"\r\nb\r\n", "a\r\nX\n\r\nb\r\n"},
        {"LF CR line ends", "a\n\r#include \"x.glsl\"\n\rb", "a\n\rX\n\n\rb"},
        {"CR line ends", "a\r#include \"x.glsl\"\rb", "a\rX\n\rb"},
        {"inject line disappears, its break stays", "a\n#inject\nb\n", "a\n\nb\n"},
        {"inject with trailing blanks", "a\n  # inject  \nb", "a\n\nb"},
        {"inject at the end of the text", "a\n#inject", "a\n"},
        {"inject before CR LF", "#inject\r\nb", "\r\nb"},
        {"word continuing past inject", "#injected\n", "#injected\n"},
        {"two includes", "#include \"x.glsl\"\n#include \"x.glsl\"\n", "X\n\nX\n\n"},
    };
    for (const DirectiveCase& c : cases) {
        const gfx::ExpandedSource result = gfx::expand_includes(c.input, "", dir_string());
        ASSERT_TRUE(result.text.has_value()) << c.name << ": " << result.error;
        EXPECT_EQ(visible(*result.text), visible(c.expected)) << c.name;
    }
}

TEST_F(ShaderSourceTest, InjectDirectiveTakesTheInjectText)
{
    const gfx::ExpandedSource result = gfx::expand_includes("a\n#inject\nb", "INJ", dir_string());
    ASSERT_TRUE(result.text.has_value()) << result.error;
    EXPECT_EQ(visible(*result.text), visible("a\nINJ\nb"));
}

TEST_F(ShaderSourceTest, NestedIncludesResolveAgainstTheTopLevelDirectory)
{
    std::filesystem::create_directories(dir / "shaders" / "sub");
    write_file(dir / "shaders" / "main.vert", "main\n#include \"sub/a.glsl\"\nend\n");
    write_file(dir / "shaders" / "sub" / "a.glsl", "a\n#include \"b.glsl\"\n");
    write_file(dir / "shaders" / "b.glsl", "top-level b\n");
    // A decoy beside the including file: resolving against its directory would pick this.
    write_file(dir / "shaders" / "sub" / "b.glsl", "decoy b\n");

    console::Capture capture;
    const std::optional<std::string> source = gfx::load_source((dir / "shaders" / "main.vert").string());
    ASSERT_TRUE(source.has_value()) << capture.err();
    EXPECT_EQ(*source, "main\na\ntop-level b\n\n\nend\n");
    EXPECT_EQ(capture.err(), "");
}

TEST_F(ShaderSourceTest, SameFileIncludedTwiceSideBySideIsNoCycle)
{
    write_file(dir / "common.glsl", "C\n");
    write_file(dir / "left.glsl", "#include \"common.glsl\"\n");
    write_file(dir / "top.vert", "#include \"left.glsl\"\n#include \"common.glsl\"\n");
    const gfx::ExpandedSource result = gfx::expand_include_file((dir / "top.vert").string(), "", dir_string());
    ASSERT_TRUE(result.text.has_value()) << result.error;
    EXPECT_EQ(*result.text, "C\n\n\nC\n\n");
}

TEST_F(ShaderSourceTest, FailuresNameTheFileAndReachStandardError)
{
    write_file(dir / "self.glsl", "s\n#include \"self.glsl\"\n");
    write_file(dir / "a.glsl", "#include \"b.glsl\"\n");
    write_file(dir / "b.glsl", "#include \"a.glsl\"\n");
    write_file(dir / "dot.glsl", "#include \"./dot.glsl\"\n");
    write_file(dir / "uses_missing.glsl", "ok\n#include \"missing.glsl\"\n");
    write_file(dir / "top_self.vert", "#include \"top_self.vert\"\n");

    const std::string d = dir_string();
    struct FailureCase {
        const char* name;
        std::string path;
        std::string expected_error;
    };
    const std::vector<FailureCase> cases = {
        {"missing top-level file", d + "/nope.vert", "Error: couldn't load '" + d + "/nope.vert'"},
        {"missing included file", d + "/uses_missing.glsl", "Error: couldn't load '" + d + "/missing.glsl'"},
        {"file including itself", d + "/self.glsl", "Error: include cycle at '" + d + "/self.glsl'"},
        {"top-level file including itself", d + "/top_self.vert", "Error: include cycle at '" + d + "/top_self.vert'"},
        {"two files including each other", d + "/a.glsl", "Error: include cycle at '" + d + "/a.glsl'"},
        {"cycle through another spelling", d + "/dot.glsl", "Error: include cycle at '" + d + "/./dot.glsl'"},
        {"directory instead of a file", d, "Error: couldn't load '" + d + "'"},
    };
    for (const FailureCase& c : cases) {
        const gfx::ExpandedSource result = gfx::expand_include_file(c.path, "", d);
        EXPECT_FALSE(result.text.has_value()) << c.name;
        EXPECT_EQ(result.error, c.expected_error) << c.name;

        console::Capture capture;
        EXPECT_FALSE(gfx::load_source(c.path).has_value()) << c.name;
        EXPECT_EQ(capture.err(), c.expected_error + "\n") << c.name;
        EXPECT_EQ(capture.out(), "") << c.name;
    }
}

TEST_F(ShaderSourceTest, NestingDepthIsBounded)
{
    // chain_0 includes chain_1 ... includes chain_<n-1>, which holds the text "end".
    auto make_chain = [&](const std::string& prefix, int length) {
        for (int i = 0; i < length; ++i) {
            const std::string next = prefix + std::to_string(i + 1) + ".glsl";
            write_file(dir / (prefix + std::to_string(i) + ".glsl"),
                       i + 1 < length ? "#include \"" + next + "\"\n" : std::string("end\n"));
        }
    };
    make_chain("ok", gfx::MAX_INCLUDE_DEPTH);
    const gfx::ExpandedSource allowed = gfx::expand_include_file(dir_string() + "/ok0.glsl", "", dir_string());
    ASSERT_TRUE(allowed.text.has_value()) << allowed.error;
    EXPECT_EQ(allowed.text->substr(0, 4), "end\n");

    make_chain("deep", gfx::MAX_INCLUDE_DEPTH + 5);
    const gfx::ExpandedSource refused = gfx::expand_include_file(dir_string() + "/deep0.glsl", "", dir_string());
    EXPECT_FALSE(refused.text.has_value());
    const std::string expected_error = "Error: includes nested too deep at '" + dir_string() + "/deep" +
                                       std::to_string(gfx::MAX_INCLUDE_DEPTH + 1) + ".glsl'";
    EXPECT_EQ(refused.error, expected_error);
}

TEST_F(ShaderSourceTest, LongNamesAreNeitherTruncatedNorOverflowing)
{
    // The longest single name the file system accepts works like any other.
    const std::string long_name = std::string(250, 'n') + ".glsl";
    write_file(dir / long_name, "long\n");
    const gfx::ExpandedSource found =
        gfx::expand_includes("#include \"" + long_name + "\"\n", "", dir_string());
    ASSERT_TRUE(found.text.has_value()) << found.error;
    EXPECT_EQ(*found.text, "long\n\n");

    // Names far beyond any path limit (and beyond any fixed buffer) fail cleanly, and the
    // message carries the whole name.
    for (size_t length : {600u, 5000u, 100000u}) {
        const std::string huge_name(length, 'h');
        const gfx::ExpandedSource result = gfx::expand_includes("#include \"" + huge_name + "\"\n", "", dir_string());
        EXPECT_FALSE(result.text.has_value()) << length;
        EXPECT_EQ(result.error, "Error: couldn't load '" + dir_string() + "/" + huge_name + "'") << length;
    }

    // A very long include directory as well.
    const std::string long_dir = dir_string() + "/" + std::string(3000, 'd') + "/" + std::string(3000, 'e');
    const gfx::ExpandedSource result = gfx::expand_includes("#include \"x.glsl\"\n", "", long_dir);
    EXPECT_FALSE(result.text.has_value());
    EXPECT_EQ(result.error, "Error: couldn't load '" + long_dir + "/x.glsl'");
}

TEST(IncludeDirTest, DirectoryPartOfAPath)
{
    struct Case {
        std::string path;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"assets/shaders/model.vert", "assets/shaders"},
        {"assets/shaders//model.vert", "assets/shaders"},
        {"/abs/dir/a.frag", "/abs/dir"},
        {"/a.frag", "/"},
        {"a.frag", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gfx::include_dir_of(c.path), c.expected) << "path: " << c.path;
}

TEST_F(ShaderSourceTest, FileWithoutDirectoryFindsItsIncludesBesideIt)
{
    write_file(dir / "bare.vert", "#include \"x.glsl\"\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    console::Capture capture;
    const std::optional<std::string> source = gfx::load_source("bare.vert");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(source.has_value()) << capture.err();
    EXPECT_EQ(*source, "X\n\n");
}

} // namespace

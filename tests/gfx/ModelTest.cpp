// glTF models on the CPU: the loader on small files written here with the glTF library, the
// files it refuses, the moving parts, and the shipped aircraft's generator and its output.

#include <cmath>
#include <functional>
#include <sstream>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtx/string_cast.hpp>
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include "gfx/Model.h"
#include "gfx/ModelRig.h"
#include "tests/support/Support.h"
#include "tools/aircraft/AircraftBuilder.h"
#include "tools/aircraft/GltfBuffers.h"

namespace {

namespace fs = std::filesystem;

::testing::AssertionResult near(const glm::vec3& actual, const glm::vec3& expected, float tolerance = 1e-4f)
{
    if (glm::length(actual - expected) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << glm::to_string(actual) << " instead of " << glm::to_string(expected);
}
glm::vec3 placed(const glm::mat4& m, const glm::vec3& p) { return glm::vec3(m * glm::vec4(p, 1.0f)); }

int vec3s(tinygltf::Model& gltf, const std::vector<float>& xyz)
{
    return aircraft::append(gltf, xyz, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, xyz.size() / 3);
}

tinygltf::Primitive primitive(int material, int mode, int positions, int indices = -1, int normals = -1)
{
    tinygltf::Primitive p;
    p.material = material;
    p.mode = mode;
    p.attributes["POSITION"] = positions;
    if (normals >= 0)
        p.attributes["NORMAL"] = normals;
    p.indices = indices;
    return p;
}

// Two nodes: "body" (moved by (1, 2, 3), a quarter turn about Y) and its child "flap" (a matrix
// moving it by (0, 0, -2)). The body's mesh: an indexed triangle with normals and a
// triangle without indices or normals (material 0, a linear grey of 0.5), and a strip of four
// vertices (material 1, textured with a 2 x 1 image). The flap's mesh: a fan of four vertices
// without a material.
tinygltf::Model small_model()
{
    tinygltf::Model gltf;
    gltf.buffers.resize(1);
    const int corner = vec3s(gltf, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    const int up = vec3s(gltf, {0, 0, 1, 0, 0, 1, 0, 0, 1});
    const int index = aircraft::append(gltf, std::vector<uint16_t>{0, 1, 2}, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, 3);
    const int tilted = vec3s(gltf, {0, 0, 0, 0, 0, -1, 0, 1, 0}); // faces +x
    const int square = vec3s(gltf, {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
    const int uv = aircraft::append(gltf, std::vector<float>{0, 0, 1, 0, 0, 1, 1, 1}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, 4);
    tinygltf::Mesh body;
    body.primitives = {primitive(0, TINYGLTF_MODE_TRIANGLES, corner, index, up), primitive(0, TINYGLTF_MODE_TRIANGLES, tilted),
                       primitive(1, TINYGLTF_MODE_TRIANGLE_STRIP, square)};
    body.primitives[2].attributes["TEXCOORD_0"] = uv;
    tinygltf::Mesh flap;
    flap.primitives = {primitive(-1, TINYGLTF_MODE_TRIANGLE_FAN, square)};
    gltf.meshes = {body, flap};

    tinygltf::Material grey, textured;
    grey.pbrMetallicRoughness.baseColorFactor = {0.5, 0.5, 0.5, 1.0};
    textured.pbrMetallicRoughness.baseColorTexture.index = 0;
    textured.alphaMode = "BLEND";
    textured.doubleSided = true;
    gltf.materials = {grey, textured};
    tinygltf::Image image;
    image.width = 2;
    image.height = 1;
    image.component = 4;
    image.bits = 8;
    image.pixel_type = TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE;
    image.image = {255, 0, 0, 255, 0, 0, 255, 128};
    image.mimeType = "image/png";
    gltf.images = {image};
    tinygltf::Texture texture;
    texture.source = 0;
    gltf.textures = {texture};

    tinygltf::Node node;
    node.name = "body";
    node.mesh = 0;
    node.translation = {1, 2, 3};
    node.rotation = {0, std::sqrt(0.5), 0, std::sqrt(0.5)};
    node.children = {1};
    tinygltf::Node child;
    child.name = "flap";
    child.mesh = 1;
    child.matrix = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -2, 1};
    gltf.nodes = {node, child};
    tinygltf::Scene scene;
    scene.nodes = {0};
    gltf.scenes = {scene};
    gltf.defaultScene = 0;
    return gltf;
}

// The model written to dir/name: binary for .glb, JSON with everything embedded for .gltf.
fs::path write(const tinygltf::Model& gltf, const support::TempDir& dir, const std::string& name)
{
    std::ostringstream out;
    tinygltf::TinyGLTF writer;
    writer.WriteGltfSceneToStream(&gltf, out, false, name.ends_with(".glb"));
    support::write_file(dir / name, out.str());
    return dir / name;
}

TEST(ModelLoader, ReadsMeshesMaterialsTexturesAndTheHierarchyFromBothForms)
{
    const support::TempDir dir("wh-model");
    for (const std::string name : {"small.glb", "small.gltf"}) {
        SCOPED_TRACE(name);
        const gfx::ModelLoad load = gfx::load_model(write(small_model(), dir, name));
        ASSERT_TRUE(load.model) << load.error;
        const gfx::Model& model = *load.model;
        ASSERT_EQ(model.nodes.size(), 2u);
        EXPECT_EQ(std::tuple(model.nodes[0].name, model.nodes[0].parent, model.nodes[1].name, model.nodes[1].parent, model.find_node("flap"),
                             model.find_node("wing")),
                  std::tuple(std::string("body"), -1, std::string("flap"), 0, 1, -1));
        // The child's matrix is its parent's times its own: (0, 0, -2) turned a quarter about Y.
        const std::vector<glm::mat4> rest = model.rest_matrices();
        EXPECT_TRUE(near(placed(rest[0], {1, 0, 0}), {1, 2, 2}));
        EXPECT_TRUE(near(placed(rest[1], {0, 0, 0}), {-1, 2, 3}));

        // The body's two primitives of material 0 merged into one; the strip is two triangles
        // that keep its winding; the fan two as well.
        const gfx::ModelMesh& body = model.meshes[0];
        ASSERT_EQ(body.primitives.size(), 2u);
        EXPECT_EQ(std::tuple(body.primitives[0].material, body.primitives[0].indices.size(), body.primitives[1].material,
                             body.primitives[1].indices.size(), model.meshes[1].primitives[0].indices.size(), model.triangle_count()),
                  std::tuple(0, 6u, 1, 6u, 6u, 6u));
        const gfx::ModelPrimitive& merged = body.primitives[0];
        EXPECT_TRUE(near(merged.vertices[merged.indices[0]].normal, {0, 0, 1})) << "given normals";
        for (int k = 3; k < 6; ++k)
            EXPECT_TRUE(near(merged.vertices[merged.indices[k]].normal, {1, 0, 0})) << "flat normals made for the tilted triangle";
        const gfx::ModelPrimitive& strip = body.primitives[1];
        for (size_t t = 0; t < strip.indices.size(); t += 3) {
            const glm::vec3 a = strip.vertices[strip.indices[t]].position, b = strip.vertices[strip.indices[t + 1]].position,
                            c = strip.vertices[strip.indices[t + 2]].position;
            EXPECT_GT(glm::cross(b - a, c - a).z, 0.0f) << "triangle " << t / 3 << " faces +z";
        }
        for (const gfx::ModelVertex& v : strip.vertices)
            EXPECT_EQ(v.uv, glm::vec2(v.position)) << "each corner keeps its texture coordinates";

        // Linear 0.5 shown as sRGB 0.735; the texture decoded to RGBA as written.
        ASSERT_EQ(model.materials.size(), 2u);
        EXPECT_NEAR(model.materials[0].base_color.r, 0.7354f, 1e-3f);
        EXPECT_EQ(std::tuple(model.materials[0].texture, model.materials[1].texture, model.materials[1].alpha_mode, model.materials[1].double_sided),
                  std::tuple(-1, 0, gfx::AlphaMode::Blend, true));
        ASSERT_EQ(model.textures.size(), 1u);
        EXPECT_EQ(std::tuple(model.textures[0].width, model.textures[0].height, model.textures[0].rgba),
                  std::tuple(2, 1, std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 128}));
        const auto [low, high] = model.bounds();
        EXPECT_TRUE(near(low, {-1, 2, 2}) && near(high, {1, 3, 3})) << glm::to_string(low) << " " << glm::to_string(high);
    }
}

// What cannot be drawn is an error value with its reason, never a throw or a crash.
TEST(ModelLoader, RefusesWhatItCannotDrawWithTheReason)
{
    const support::TempDir dir("wh-model");
    struct Case {
        const char* what;
        std::function<fs::path()> file;
        const char* reason; // the error's beginning
    };
    const auto broken = [&](std::function<void(tinygltf::Model&)> edit) {
        return [&dir, edit] {
            tinygltf::Model gltf = small_model();
            edit(gltf);
            return write(gltf, dir, "broken.gltf");
        };
    };
    const Case cases[] = {
        {"missing", [&] { return dir / "absent.glb"; }, "no such file"},
        {"a directory", [&] { return dir.path(); }, "not a file"},
        {"not glTF", [&] { support::write_file(dir / "text.gltf", "hello"); return dir / "text.gltf"; }, "not a glTF file: "},
        {"a cut binary", [&] { support::write_file(dir / "cut.glb", "glTF\x02\x00\x00\x00"); return dir / "cut.glb"; },
         "not a usable glTF binary: "},
        {"points", broken([](tinygltf::Model& g) { g.meshes[1].primitives[0].mode = TINYGLTF_MODE_POINTS; }),
         "mesh 1 primitive 0 draws points, which is not supported (triangles only)"},
        {"lines", broken([](tinygltf::Model& g) { g.meshes[0].primitives[2].mode = TINYGLTF_MODE_LINE_STRIP; }),
         "mesh 0 primitive 2 draws line strips"},
        {"an index too far", broken([](tinygltf::Model& g) { g.buffers[0].data[g.bufferViews[2].byteOffset] = 9; }),
         "mesh 0 primitive 0 has index 9 beyond its 3 vertices"},
        {"an accessor too long", broken([](tinygltf::Model& g) { g.accessors[3].count = 400; }), "accessor 3 reaches beyond its buffer"},
        {"no positions", broken([](tinygltf::Model& g) { g.meshes[0].primitives[2].attributes.erase("POSITION"); }),
         "mesh 0 primitive 2 has no POSITION"},
        {"a loop", broken([](tinygltf::Model& g) { g.nodes[1].children = {0}; }), "node 0 appears twice in the hierarchy"},
        {"an extension", broken([](tinygltf::Model& g) { g.extensionsRequired = {"KHR_draco_mesh_compression"}; }),
         "it requires the extension KHR_draco_mesh_compression"},
    };
    for (const Case& c : cases) {
        const gfx::ModelLoad load = gfx::load_model(c.file());
        EXPECT_TRUE(!load.model && load.error.starts_with(c.reason) && load.error.find('\n') == std::string::npos)
            << c.what << ": " << load.error;
    }
}

// A hinge turns its node about the axis through the node's own origin, and what hangs below it;
// a hinge on a node the model lacks turns nothing.
TEST(ModelRig, AHingeTurnsItsNodeAboutItsOwnOrigin)
{
    const support::TempDir dir("wh-model");
    const gfx::ModelLoad load = gfx::load_model(write(small_model(), dir, "small.glb"));
    ASSERT_TRUE(load.model) << load.error;
    const gfx::ModelRig rig(*load.model, {{"flap", {1, 0, 0}}, {"absent", {0, 1, 0}}, {"body", {0, 0, 1}}});
    EXPECT_EQ(std::tuple(rig.node_of(0), rig.node_of(1), rig.node_of(2)), std::tuple(1, -1, 0));
    gfx::ModelPose pose;
    const float quarter = 1.5707963f;
    rig.pose(std::vector<float>{quarter, 1.0f}, pose); // the body's hinge gets no angle
    const std::vector<glm::mat4> rest = load.model->rest_matrices();
    EXPECT_EQ(pose.matrices[0], rest[0]);
    // The flap's (0, 1, 0) turns a quarter about its own x to (0, 0, 1), then goes where the
    // body puts the flap's frame.
    EXPECT_TRUE(near(placed(pose.matrices[1], {0, 1, 0}), placed(rest[1], {0, 0, 1})));
    EXPECT_TRUE(near(placed(pose.matrices[1], {0, 0, 0}), placed(rest[1], {0, 0, 0}))) << "the hinge stays put";
    EXPECT_EQ(pose.visible, (std::vector<uint8_t>{1, 1}));
    rig.pose(std::vector<float>{0.0f, 0.0f, quarter}, pose);
    EXPECT_TRUE(near(placed(pose.matrices[1], {0, 1, 0}), placed(rest[0] * glm::rotate(glm::mat4(1.0f), quarter, {0, 0, 1}),
                                                                 {0, 1, -2}))) << "children follow their parent's hinge";
}

// The generator writes the committed file byte for byte (regenerate with
// build/tools/aircraft/wh_make_aircraft assets/models/trainer.glb), a model of the flight
// model's size whose control surfaces hang behind hinges at their nodes' origins.
TEST(AircraftGenerator, WritesTheCommittedModel)
{
    const std::string made = aircraft::make_trainer_glb();
    const fs::path committed = fs::path(WH_SOURCE_DIR) / "assets/models/trainer.glb";
    const std::string file = support::read_file(committed);
    const auto differ = std::mismatch(made.begin(), made.end(), file.begin(), file.end());
    EXPECT_TRUE(made == file) << made.size() << " bytes made, " << file.size() << " committed; first difference at byte "
                              << (differ.first - made.begin());
    EXPECT_EQ(aircraft::make_trainer_glb(), made) << "the same bytes every time";

    const gfx::ModelLoad load = gfx::load_model(committed);
    ASSERT_TRUE(load.model) << load.error;
    const gfx::Model& model = *load.model;
    EXPECT_GE(model.triangle_count(), 1500u);
    const auto [low, high] = model.bounds();
    EXPECT_NEAR(high.z - low.z, 11.0f, 0.1f) << "span";
    EXPECT_NEAR(low.y, -1.46f, 0.01f) << "the tyres' lowest points";
    const std::vector<glm::mat4> rest = model.rest_matrices();
    for (const char* name : {"elevator", "aileron_left", "aileron_right", "rudder", "propeller", "propeller_disc", "nose_wheel"}) {
        const int node = model.find_node(name);
        ASSERT_GE(node, 0) << name;
        ASSERT_GE(model.nodes[size_t(node)].mesh, 0) << name;
        if (std::string(name).find("propeller") == 0 || std::string(name) == "nose_wheel")
            continue;
        // In the surface's own frame (x forward along the chord) everything lies behind the
        // hinge, and the surface reaches back at least a quarter of a metre.
        float front = -INFINITY, back = INFINITY;
        for (const gfx::ModelPrimitive& p : model.meshes[size_t(model.nodes[size_t(node)].mesh)].primitives) {
            for (const gfx::ModelVertex& v : p.vertices) {
                front = std::max(front, v.position.x);
                back = std::min(back, v.position.x);
            }
        }
        EXPECT_TRUE(front <= 0.0f && front > -0.03f && back < -0.25f) << name << " from " << front << " back to " << back;
    }
}

} // namespace

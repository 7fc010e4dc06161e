#include <memory>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "physics/Aircraft.h"
#include "physics/SceneShapes.h"
#include "tests/physics/PhysicsTestSupport.h"

namespace {

using physics_test::PhysicsFixture;
using physics_test::vec_near;

class SceneShapesTest : public PhysicsFixture {};

TEST_F(SceneShapesTest, PlanesAreNotDrawn)
{
    world().add_ground_plane(glm::vec3(0.0f, 3.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    EXPECT_TRUE(collect_shape_boxes(world().get_scene()).empty());
}

TEST_F(SceneShapesTest, BoxesAndSpheresBecomeBoxesOfTheirFullSize)
{
    world().add_ground_plane(glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    btRigidBody* box = world().add_dynamic_body(std::make_unique<btBoxShape>(btVector3(1.0f, 2.0f, 3.0f)), 1.0f, glm::vec3(5.0f, 6.0f, 7.0f));
    btRigidBody* sphere = world().add_dynamic_body(std::make_unique<btSphereShape>(0.75f), 1.0f, glm::vec3(-1.0f, 2.0f, 0.0f));
    world().add_dynamic_body(std::make_unique<btCapsuleShape>(0.5f, 2.0f), 1.0f, glm::vec3(0.0f));

    const std::vector<ShapeBox> boxes = collect_shape_boxes(world().get_scene());
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].actor, box);
    EXPECT_TRUE(vec_near(boxes[0].size, glm::vec3(2.0f, 4.0f, 6.0f), 1e-6f));
    EXPECT_TRUE(vec_near(boxes[0].actor_position, glm::vec3(5.0f, 6.0f, 7.0f), 0.0f));
    EXPECT_EQ(boxes[1].actor, sphere);
    EXPECT_TRUE(vec_near(boxes[1].size, glm::vec3(1.5f), 1e-6f));
    EXPECT_TRUE(vec_near(boxes[1].local_position, glm::vec3(0.0f), 0.0f));
}

TEST_F(SceneShapesTest, AircraftBodyIsItsSixByOneByOneBox)
{
    Aircraft aircraft;
    aircraft.create_body(glm::vec3(0.0f, 105.0f, 0.0f));
    const btQuaternion yawed(btVector3(0.0f, 1.0f, 0.0f), 0.5f);
    aircraft.body->setWorldTransform(btTransform(yawed, btVector3(1.0f, 105.0f, 2.0f)));

    const std::vector<ShapeBox> boxes = collect_shape_boxes(world().get_scene());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].actor, aircraft.body);
    EXPECT_TRUE(vec_near(boxes[0].size, glm::vec3(6.0f, 1.0f, 1.0f), 1e-6f));
    EXPECT_TRUE(vec_near(boxes[0].actor_position, glm::vec3(1.0f, 105.0f, 2.0f), 0.0f));
    EXPECT_NEAR(glm::dot(boxes[0].actor_rotation, physics::to_glm(yawed)), 1.0f, 1e-6f);
}

TEST_F(SceneShapesTest, CompoundChildrenKeepTheirLocalPoses)
{
    auto compound = std::make_unique<btCompoundShape>();
    btBoxShape child_box(btVector3(0.5f, 0.5f, 0.5f));
    btCapsuleShape child_capsule(0.25f, 1.0f);
    compound->addChildShape(btTransform(btQuaternion::getIdentity(), btVector3(0.0f, 2.0f, 0.0f)), &child_box);
    compound->addChildShape(btTransform::getIdentity(), &child_capsule);
    world().add_dynamic_body(std::move(compound), 1.0f, glm::vec3(0.0f));

    const std::vector<ShapeBox> boxes = collect_shape_boxes(world().get_scene());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(vec_near(boxes[0].local_position, glm::vec3(0.0f, 2.0f, 0.0f), 0.0f));
    EXPECT_TRUE(vec_near(boxes[0].size, glm::vec3(1.0f), 1e-6f));
    world().remove_all_bodies(); // before the children on this stack go
}

} // namespace

#pragma once

// Shared pieces of the physics tests: a fixture that gives every test an empty world, a
// temporary flight-model file, and a vector comparison that prints both sides.

#include <filesystem>
#include <string_view>

#include <btBulletDynamicsCommon.h>
#include <glm/vec3.hpp>
#include <gtest/gtest.h>

#include "physics/BulletMath.h"
#include "physics/PhysicsWorld.h"
#include "tests/support/Support.h"

namespace physics_test {

// Each test has a world of its own, built before anything the test puts into it.
class PhysicsFixture : public ::testing::Test {
protected:
    PhysicsWorld& world() { return m_world; }

    void step_for(float seconds, float dt = PhysicsWorld::max_step)
    {
        const int steps = static_cast<int>(seconds / dt + 0.5f);
        for (int i = 0; i < steps; ++i) {
            world().step(dt);
        }
    }

private:
    PhysicsWorld m_world;
};

// A flight-model file in a fresh temporary directory, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& contents)
        : m_path(m_dir / "FlightModel.json")
    {
        support::write_file(m_path, contents);
    }

    const std::filesystem::path& path() const { return m_path; }
    const std::filesystem::path& dir() const { return m_dir.path(); }

private:
    support::TempDir m_dir{"wh-physics"};
    std::filesystem::path m_path;
};

inline ::testing::AssertionResult vec_near(const btVector3& actual, const btVector3& expected, float tolerance)
{
    if ((actual - expected).length() <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "expected (" << expected.x() << ", " << expected.y() << ", " << expected.z()
                                         << ") but got (" << actual.x() << ", " << actual.y() << ", " << actual.z()
                                         << "), tolerance " << tolerance;
}

inline ::testing::AssertionResult vec_near(const glm::vec3& actual, const glm::vec3& expected, float tolerance)
{
    return vec_near(physics::to_bt(actual), physics::to_bt(expected), tolerance);
}

} // namespace physics_test

#pragma once

// The terrain as the physics world's ground: a Bullet heightfield over a square grid of
// heights around the aircraft, replaced as the aircraft travels or finer heights arrive. It
// owns its shape, its heights and its static body, and takes the body out of the world when it
// goes; the world must outlive it.

#include <memory>
#include <optional>
#include <vector>

class PhysicsWorld;
class btHeightfieldTerrainShape;
class btRigidBody;

class TerrainGround {
public:
    explicit TerrainGround(PhysicsWorld& world);
    ~TerrainGround();
    TerrainGround(const TerrainGround&) = delete;
    TerrainGround& operator=(const TerrainGround&) = delete;

    // Replaces the ground with size × size heights (physics metres) spacing apart, sample
    // (i, j) at (x0 + i spacing, z0 + j spacing): rows run east, one after the other
    // southward. Between samples the ground is two flat triangles per square.
    //
    // A rider (the aircraft) less than reseat_height above the old ground, standing on it or
    // about to, moves up or down with the ground under it: finer heights arriving under a
    // standing aircraft would otherwise rise through its wheels and launch it, or drop away.
    void set_heights(double x0, double z0, double spacing, int size, std::vector<float> heights,
                     btRigidBody* rider = nullptr, float reseat_height = 10.0f);

    bool empty() const { return m_size == 0; }
    // Whether the ground is exactly this grid already.
    bool holds(double x0, double z0, const std::vector<float>& heights) const
    {
        return m_size > 0 && x0 == m_x0 && z0 == m_z0 && heights == m_heights;
    }
    // Whether (x, z) lies at least margin inside the grid's edges.
    bool covers(double x, double z, double margin) const;
    // The ground's height at (x, z) as the heightfield has it; nothing outside the grid.
    std::optional<float> height_at(double x, double z) const;
    const btRigidBody* body() const { return m_body.get(); }

private:
    void replace(double x0, double z0, double spacing, int size, std::vector<float> heights);
    void remove();

    double m_x0 = 0.0;
    double m_z0 = 0.0;
    double m_spacing = 0.0;
    int m_size = 0;
    std::vector<float> m_heights; // the shape reads them in place
    std::unique_ptr<btHeightfieldTerrainShape> m_shape;
    std::unique_ptr<btRigidBody> m_body;
    PhysicsWorld* m_world;
};

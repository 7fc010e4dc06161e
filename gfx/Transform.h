#pragma once

// Places an object by position, rotation and scale, keeps its local and world matrices current
// and can form a hierarchy: a child's world matrix is its parent's world matrix times its own
// local matrix. Pure math, no GL.
//
// Ownership: parent and children are non-owning pointers. A child registered with add_child
// follows every later change of its parent; a transform given a parent only through the
// four-argument constructor is placed against it once and does not follow it. Destroying a
// parent before its children leaves them pointing at it: the users own their hierarchies.

#include <memory>
#include <vector>

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

namespace gfx {

class Drawable;

class Transform {
public:
    // Position 0, identity rotation, scale 1.
    Transform();
    Transform(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& scale);
    // Computed against parent once; not added to the parent's children.
    Transform(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& scale, Transform* parent);
    virtual ~Transform();

    // Copies take every field: the parent pointer, the children list and the drawable too.
    Transform(const Transform&) = default;
    Transform& operator=(const Transform&) = default;

    // Recomputes the local matrix, then the world matrix, then every child's, depth first.
    void update();
    // Makes this the child's parent, updates the child and appends it to the children.
    void add_child(Transform* child);

    glm::vec3 get_position() const { return m_position; }
    glm::quat get_rotation() const { return m_rotation; }
    glm::vec3 get_scale() const { return m_scale; }

    void set_position(const glm::vec3& position);
    // Euler angles in radians: pitch about X, yaw about Y, roll about Z.
    void set_rotation(const glm::vec3& euler);
    void set_rotation(const glm::quat& rotation);
    void set_scale(const glm::vec3& scale);

    // Places the transform at eye, looking along its local -Z towards target with up as +Y.
    // up parallel to the viewing direction has no defined result.
    void look_at(const glm::vec3& eye, const glm::vec3& target, const glm::vec3& up);

    // Translation column of the world matrix.
    glm::vec3 get_world_position() const;
    // Parent's world rotation times the local rotation, up the chain (scale ignored).
    glm::quat get_world_rotation() const;
    // Local +X and +Z rotated by the world rotation.
    glm::vec3 get_x_axis() const;
    glm::vec3 get_z_axis() const;

    // The world matrix.
    const glm::mat4& get_matrix() const { return m_world_matrix; }
    const glm::mat4& get_local_matrix() const { return m_local_matrix; }

    Transform* get_parent() const { return m_parent; }
    const std::vector<Transform*>& get_children() const { return m_children; }

    // Drawable attached to this transform; empty by default.
    std::shared_ptr<Drawable> drawable;

protected:
    glm::vec3 m_position{0.0f};
    glm::quat m_rotation{glm::vec3(0.0f)};
    glm::vec3 m_scale{1.0f};
    glm::mat4 m_local_matrix{1.0f};
    glm::mat4 m_world_matrix{1.0f};
    Transform* m_parent = nullptr;
    std::vector<Transform*> m_children;
};

} // namespace gfx

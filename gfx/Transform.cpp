#include "gfx/Transform.h"

#define GLM_ENABLE_EXPERIMENTAL
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtx/matrix_decompose.hpp>

#include "gfx/Drawable.h"

namespace gfx {

Transform::Transform() { update(); }

Transform::Transform(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& scale)
    : m_position(position), m_rotation(rotation), m_scale(scale)
{
    update();
}

Transform::Transform(const glm::vec3& position, const glm::quat& rotation, const glm::vec3& scale, Transform* parent)
    : m_position(position), m_rotation(rotation), m_scale(scale), m_parent(parent)
{
    update();
}

Transform::~Transform() = default;

void Transform::update()
{
    m_local_matrix = glm::translate(glm::mat4(1.0f), m_position) * glm::mat4_cast(m_rotation) *
                     glm::scale(glm::mat4(1.0f), m_scale);
    m_world_matrix = m_parent ? m_parent->get_matrix() * m_local_matrix : m_local_matrix;
    for (Transform* child : m_children)
        child->update();
}

void Transform::add_child(Transform* child)
{
    child->m_parent = this;
    child->update();
    m_children.push_back(child);
}

void Transform::set_position(const glm::vec3& position)
{
    m_position = position;
    update();
}

void Transform::set_rotation(const glm::vec3& euler)
{
    m_rotation = glm::quat(euler);
    update();
}

void Transform::set_rotation(const glm::quat& rotation)
{
    m_rotation = rotation;
    update();
}

void Transform::set_scale(const glm::vec3& scale)
{
    m_scale = scale;
    update();
}

void Transform::look_at(const glm::vec3& eye, const glm::vec3& target, const glm::vec3& up)
{
    const glm::mat4 placement = glm::inverse(glm::lookAtRH(eye, target, up));
    glm::vec3 scale;
    glm::quat orientation;
    glm::vec3 translation;
    glm::vec3 skew;
    glm::vec4 perspective;
    glm::decompose(placement, scale, orientation, translation, skew, perspective);
    m_position = translation;
    m_rotation = orientation;
    m_scale = scale;
    update();
}

glm::vec3 Transform::get_world_position() const { return glm::vec3(m_world_matrix[3]); }

glm::quat Transform::get_world_rotation() const
{
    return m_parent ? m_parent->get_world_rotation() * m_rotation : m_rotation;
}

glm::vec3 Transform::get_x_axis() const { return get_world_rotation() * glm::vec3(1.0f, 0.0f, 0.0f); }

glm::vec3 Transform::get_z_axis() const { return get_world_rotation() * glm::vec3(0.0f, 0.0f, 1.0f); }

} // namespace gfx

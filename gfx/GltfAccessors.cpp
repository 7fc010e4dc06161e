#include "gfx/GltfAccessors.h"

#include <algorithm>
#include <cstring>

#include <tiny_gltf.h>

namespace gfx::gltf {

void refuse(std::string reason)
{
    throw Refusal{std::move(reason)};
}

namespace {

// One accessor's elements as they lie in the buffer, bounds checked.
struct Elements {
    const unsigned char* data = nullptr;
    size_t stride = 0;
    size_t count = 0;
    int component_type = 0;
    int components = 0;
    bool normalized = false;
};

Elements elements_of(const tinygltf::Model& gltf, int index, const std::string& what)
{
    if (index < 0 || size_t(index) >= gltf.accessors.size())
        refuse(what + " names accessor " + std::to_string(index) + ", which does not exist");
    const tinygltf::Accessor& accessor = gltf.accessors[size_t(index)];
    const std::string name = "accessor " + std::to_string(index);
    if (accessor.sparse.isSparse)
        refuse(name + " is sparse, which is not supported");
    if (accessor.bufferView < 0 || size_t(accessor.bufferView) >= gltf.bufferViews.size())
        refuse(name + " has no buffer view");
    const tinygltf::BufferView& view = gltf.bufferViews[size_t(accessor.bufferView)];
    if (view.buffer < 0 || size_t(view.buffer) >= gltf.buffers.size())
        refuse(name + "'s buffer view has no buffer");
    const std::vector<unsigned char>& buffer = gltf.buffers[size_t(view.buffer)].data;
    const int component_size = tinygltf::GetComponentSizeInBytes(uint32_t(accessor.componentType));
    const int components = tinygltf::GetNumComponentsInType(uint32_t(accessor.type));
    if (component_size <= 0 || components <= 0)
        refuse(name + " has an unknown component type or type");
    const size_t element_size = size_t(component_size) * size_t(components);
    const size_t stride = view.byteStride != 0 ? view.byteStride : element_size;
    if (stride < element_size)
        refuse(name + "'s elements overlap (stride " + std::to_string(stride) + ")");
    // Checked in an order that cannot overflow: everything is bounded by the buffer's size.
    const bool inside = view.byteOffset <= buffer.size() && view.byteLength <= buffer.size() - view.byteOffset &&
                        accessor.byteOffset <= view.byteLength &&
                        (accessor.count == 0 ||
                         (accessor.count - 1 <= (view.byteLength - accessor.byteOffset) / stride &&
                          (accessor.count - 1) * stride + element_size <= view.byteLength - accessor.byteOffset));
    if (!inside)
        refuse(name + " reaches beyond its buffer");
    Elements elements;
    elements.data = buffer.data() + view.byteOffset + accessor.byteOffset;
    elements.stride = stride;
    elements.count = accessor.count;
    elements.component_type = accessor.componentType;
    elements.components = components;
    elements.normalized = accessor.normalized;
    return elements;
}

template <typename T>
T load_unaligned(const unsigned char* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

// Component c of element i as a float, integers scaled to [0, 1] or [-1, 1] when normalized.
float component(const Elements& e, size_t i, int c)
{
    const unsigned char* p = e.data + i * e.stride;
    switch (e.component_type) {
    case TINYGLTF_COMPONENT_TYPE_FLOAT:
        return load_unaligned<float>(p + 4 * c);
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: {
        const float v = float(p[c]);
        return e.normalized ? v / 255.0f : v;
    }
    case TINYGLTF_COMPONENT_TYPE_BYTE: {
        const float v = float(static_cast<signed char>(p[c]));
        return e.normalized ? std::max(v / 127.0f, -1.0f) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
        const float v = float(load_unaligned<uint16_t>(p + 2 * c));
        return e.normalized ? v / 65535.0f : v;
    }
    case TINYGLTF_COMPONENT_TYPE_SHORT: {
        const float v = float(load_unaligned<int16_t>(p + 2 * c));
        return e.normalized ? std::max(v / 32767.0f, -1.0f) : v;
    }
    case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        return float(load_unaligned<uint32_t>(p + 4 * c));
    default:
        return 0.0f;
    }
}

} // namespace

std::vector<glm::vec3> read_vec3(const tinygltf::Model& gltf, int index, const std::string& what)
{
    const Elements e = elements_of(gltf, index, what);
    if (e.components != 3 || e.component_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
        refuse(what + " must hold three-component vectors");
    std::vector<glm::vec3> values(e.count);
    for (size_t i = 0; i < e.count; ++i)
        values[i] = {component(e, i, 0), component(e, i, 1), component(e, i, 2)};
    return values;
}

std::vector<glm::vec2> read_vec2(const tinygltf::Model& gltf, int index, const std::string& what)
{
    const Elements e = elements_of(gltf, index, what);
    if (e.components != 2 || e.component_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)
        refuse(what + " must hold two-component vectors");
    std::vector<glm::vec2> values(e.count);
    for (size_t i = 0; i < e.count; ++i)
        values[i] = {component(e, i, 0), component(e, i, 1)};
    return values;
}

std::vector<uint32_t> read_indices(const tinygltf::Model& gltf, int index, const std::string& what)
{
    const Elements e = elements_of(gltf, index, what);
    const int type = e.component_type;
    if (e.components != 1 || (type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE && type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
                              type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT))
        refuse(what + " must hold unsigned integers");
    std::vector<uint32_t> values(e.count);
    for (size_t i = 0; i < e.count; ++i) {
        const unsigned char* p = e.data + i * e.stride;
        values[i] = type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE    ? p[0]
                    : type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? load_unaligned<uint16_t>(p)
                                                                     : load_unaligned<uint32_t>(p);
    }
    return values;
}

} // namespace gfx::gltf

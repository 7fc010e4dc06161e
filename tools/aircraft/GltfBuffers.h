#pragma once

// Values appended to a glTF model's one buffer, for whoever writes glTF files by hand (the
// aircraft's generator, the loader's tests).

#include <cstring>
#include <vector>

#include <tiny_gltf.h>

namespace aircraft {

// Appends the bytes as a buffer view (4-byte aligned) and an accessor on it; returns the
// accessor's index.
template <typename T>
inline int append(tinygltf::Model& gltf, const std::vector<T>& values, int component_type, int type, size_t count, int target = 0)
{
    std::vector<unsigned char>& data = gltf.buffers[0].data;
    while (data.size() % 4 != 0)
        data.push_back(0);
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = data.size();
    view.byteLength = values.size() * sizeof(T);
    view.target = target;
    const size_t at = data.size();
    data.resize(at + view.byteLength);
    std::memcpy(data.data() + at, values.data(), view.byteLength);
    gltf.bufferViews.push_back(view);

    tinygltf::Accessor accessor;
    accessor.bufferView = int(gltf.bufferViews.size() - 1);
    accessor.componentType = component_type;
    accessor.type = type;
    accessor.count = count;
    gltf.accessors.push_back(accessor);
    return int(gltf.accessors.size() - 1);
}

} // namespace aircraft

#pragma once

namespace gfx {

// Tag for building a GL wrapper in its empty state (name 0, no GL call, safe to destroy
// even without a context): for members that get their object later by move assignment.
struct NoCreateT {
    explicit constexpr NoCreateT() = default;
};
inline constexpr NoCreateT NoCreate{};

} // namespace gfx

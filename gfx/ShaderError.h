#pragma once

// A shader program that cannot be built when it is first made: at that point there is no
// working program to keep drawing with, so the program cannot go on. The message is one line
// naming the file and the reason.

#include <stdexcept>

namespace gfx {

class ShaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace gfx

// The glTF library's implementation, compiled once for the program, its tests and the model
// generator. Its image codecs are Debian's shared stb library (libstb), which is linked, so no
// STB_*_IMPLEMENTATION is defined here: that would put a second copy of stb's symbols beside
// libstb's.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>

// Little-endian fields, the byte order of the block, of PE files and of image files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tesmo::tools {

// The value of `size` bytes at `at`, least significant first; the caller checks the bounds.
std::uint64_t littleEndianAt(std::string_view bytes, std::uint64_t at, int size);

// The low `size` bytes of `value`, least significant first.
void appendLittleEndian(std::string& bytes, std::uint64_t value, int size);

}  // namespace tesmo::tools

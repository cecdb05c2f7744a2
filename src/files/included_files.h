// The files carried behind the configuration block: per file a signed 64-bit
// little-endian size, then that many bytes, each combined with one mask byte.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/text.h"

namespace tesmo {

constexpr unsigned char kIncludedFileMask = 0x96;

// Masks or unmasks the bytes of an included file in place: the transformation is its own
// inverse, so the builder and the launcher's extraction share it.
void maskIncludedBytes(unsigned char* bytes, std::size_t count);

// The names of key 2003 (";"-separated, empty pieces skipped), at most `count` of them.
std::vector<WideString> includedFileNames(WideView names, int count);

// A name stays inside the temporary directory: relative, no drive, no "..", at most one
// directory level, no empty parts.
bool isSafeIncludedName(WideView name);

}  // namespace tesmo

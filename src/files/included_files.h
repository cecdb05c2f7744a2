// The data format of the files carried behind the configuration block: per file a signed
// 64-bit little-endian size, then that many bytes, each combined with one mask byte.
#pragma once

namespace tesmo {

constexpr unsigned char kIncludedFileMask = 0x96;

}  // namespace tesmo

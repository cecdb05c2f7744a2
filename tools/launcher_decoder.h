// Taking a launcher apart again, as inspect and the round-trip checks need it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/block_writer.h"

namespace tesmo::tools {

// A launcher taken apart again: the block as written, record for record, and the included
// files the launcher would extract (as many as both key 2002 and key 2003 name).
struct DecodedLauncher {
    std::string error;  // empty when the launcher could be decoded
    std::size_t blockStart = 0;
    std::int32_t headerValue1 = 0;
    std::int32_t headerValue2 = 0;
    std::int64_t headerValue3 = 0;
    BlockDescription description;
    std::size_t blockEnd = 0;
    std::size_t filesEnd = 0;  // where data not read by the launcher begins
};
DecodedLauncher decodeLauncher(std::string_view bytes);

}  // namespace tesmo::tools

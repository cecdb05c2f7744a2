// What the fuzz targets share: a check that stops the run when a property breaks, and the
// cutting of the fuzzer's bytes into the pieces a target hands to the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/text.h"

// Aborts with the broken property on stderr, so that libFuzzer keeps the input and the
// report says what went wrong rather than only where.
#define FUZZ_REQUIRE(property) \
    ((property) ? static_cast<void>(0) : ::tesmo::fuzz::fail(#property, __FILE__, __LINE__))

namespace tesmo::fuzz {

[[noreturn]] void fail(const char* property, const char* file, int line);

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The pieces between separators, empty ones included, so that a seed file reads as lines.
std::vector<std::string_view> pieces(std::string_view text, char separator);

}  // namespace tesmo::fuzz

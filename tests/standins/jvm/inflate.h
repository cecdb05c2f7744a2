// Raw DEFLATE (RFC 1951) decoding, as jar and zip store most entries. Small and slow by
// design: it decodes class files of a test, bit by bit, checking every read and every
// back reference, and never writes more than the caller allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace standin::jvm {

struct InflateResult {
    bool ok = false;
    std::vector<std::uint8_t> data;
    // Input bytes the stream used, the last partial byte included.
    std::size_t consumed = 0;
    std::string error;
};

// Stops with an error instead of producing more than `outputLimit` bytes.
InflateResult inflate(std::span<const std::uint8_t> input, std::size_t outputLimit);

}  // namespace standin::jvm

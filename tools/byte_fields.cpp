#include "tools/byte_fields.h"

namespace tesmo::tools {

std::uint64_t littleEndianAt(std::string_view bytes, std::uint64_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void appendLittleEndian(std::string& bytes, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace tesmo::tools

// Expansion of the launcher's variables and of "${NAME}" references. Input lines: the value,
// the executable's directory, the launcher's temporary directory, the runtime's home, the system's
// temporary directory, then "NAME=value" entries; the last byte picks the buffer's capacity.
#include <algorithm>

#include "expansion/variable_expansion.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesmo {
namespace {

constexpr std::size_t kCapacities[] = {kPathCapacity, 2000, 200, 32, 16, 2, 1, 0};

std::vector<std::string_view> lines;

WideString systemTemp() {
    return fromUtf8(lines[4]);
}

std::vector<WideString> environment() {
    std::vector<WideString> entries;
    for (std::size_t i = 5; i < lines.size(); ++i) entries.push_back(fromUtf8(lines[i]));
    return entries;
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    lines = fuzz::pieces(fuzz::bytesOf(data, size), '\n');
    lines.resize(std::max<std::size_t>(lines.size(), 5));
    std::size_t capacity = kCapacities[size ? data[size - 1] % std::size(kCapacities) : 0];
    ExpansionValues values{fromUtf8(lines[1]), fromUtf8(lines[2]), fromUtf8(lines[3]), systemTemp,
                           environment};
    const WideString original = fromUtf8(lines[0]);
    WideString text = original;
    expandVariables(text, capacity, values);

    // A replacement that would not fit is refused, so the value grows only up to the buffer.
    FUZZ_REQUIRE(text.size() <= std::max(original.size(), capacity ? capacity - 1 : 0));
    FUZZ_REQUIRE(capacity != 0 || text == original);
    // Every reference has a '$' or a '%'.
    FUZZ_REQUIRE(original.find_first_of(u"$%") != WideString::npos || text == original);
    return 0;
}

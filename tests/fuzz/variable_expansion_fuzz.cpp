// Expansion of the launcher's variables and of "${NAME}" references in a configured value.
//
// Input, as UTF-8 lines: the value, the executable's directory, the launcher's temporary
// directory, the runtime's home, the system's temporary directory, then the entries of the
// environment block ("NAME=value"). The last byte picks the capacity of the value's buffer.
#include <algorithm>

#include "expansion/variable_expansion.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesmo {
namespace {

constexpr std::size_t kCapacities[] = {kPathCapacity, 2000, 200, 32, 16, 2, 1, 0};

WideString systemTemp;
std::vector<WideString> environment;
int systemTempCalls = 0;
int environmentCalls = 0;

WideString systemTempDirectory() {
    ++systemTempCalls;
    return systemTemp;
}

std::vector<WideString> environmentBlock() {
    ++environmentCalls;
    return environment;
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::vector<std::string_view> lines = fuzz::pieces(fuzz::bytesOf(data, size), '\n');
    lines.resize(std::max<std::size_t>(lines.size(), 5));
    std::size_t capacity = kCapacities[size ? data[size - 1] % std::size(kCapacities) : 0];

    ExpansionValues values{fuzz::wideText(lines[1]), fuzz::wideText(lines[2]),
                           fuzz::wideText(lines[3]), systemTempDirectory, environmentBlock};
    systemTemp = fuzz::wideText(lines[4]);
    environment.clear();
    for (std::size_t i = 5; i < lines.size(); ++i) environment.push_back(fuzz::wideText(lines[i]));
    systemTempCalls = environmentCalls = 0;

    const WideString original = fuzz::wideText(lines[0]);
    WideString text = original;
    expandVariables(text, capacity, values);

    // A replacement that would not fit is refused, so the value grows only up to the buffer.
    FUZZ_REQUIRE(text.size() <= std::max(original.size(), capacity ? capacity - 1 : 0));
    if (capacity == 0) FUZZ_REQUIRE(text == original);
    // Values are looked up only for a reference, and every reference has a '$' or a '%'.
    std::vector<WideView> sources = {original, values.executableDirectory,
                                     values.launcherTempDirectory, values.javaHome};
    bool dollar = std::any_of(sources.begin(), sources.end(),
                              [](WideView s) { return s.find(u'$') != WideView::npos; });
    if (!dollar) FUZZ_REQUIRE(systemTempCalls == 0 && environmentCalls == 0);
    if (original.find_first_of(u"$%") == WideString::npos) FUZZ_REQUIRE(text == original);
    FUZZ_REQUIRE(systemTempCalls <= 1 && environmentCalls <= 1);

    // The same value expanded again within the same buffer never grows beyond it either.
    WideString again = text;
    expandVariables(again, capacity, values);
    FUZZ_REQUIRE(again.size() <= std::max(text.size(), capacity ? capacity - 1 : 0));
    return 0;
}

// A runtime's "-version" banner and the comparison of versions with the configured limits.
//
// Input: the banner as a runtime prints it on its error stream. Its first three lines, as
// UTF-8, are also taken as a version (the banner's own when it has one), a lower and an
// upper limit.
#include <algorithm>

#include "runtime/java_version.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesmo {
namespace {

int sign(int value) {
    return (value > 0) - (value < 0);
}

// Over a length that neither side runs out within, the comparison is an order.
void checkOrder(WideView a, WideView b, WideView c) {
    std::size_t n = std::min({a.size(), b.size(), c.size()});
    for (std::size_t length : {std::size_t{0}, n / 2, n}) {
        FUZZ_REQUIRE(compareToLimit(a, a, length) == 0);
        FUZZ_REQUIRE(sign(compareToLimit(a, b, length)) == -sign(compareToLimit(b, a, length)));
        if (compareToLimit(a, b, length) <= 0 && compareToLimit(b, c, length) <= 0) {
            FUZZ_REQUIRE(compareToLimit(a, c, length) <= 0);
        }
    }
    // A version that ends where the limit goes on is below it.
    if (a.size() < b.size() && b.substr(0, a.size()) == a) {
        FUZZ_REQUIRE(compareToLimit(a, b, b.size()) < 0);
        FUZZ_REQUIRE(!versionAcceptable(a, b, u"", true, false));
    }
}

void checkLimits(WideView version, WideView lower, WideView upper) {
    FUZZ_REQUIRE(versionAcceptable(version, u"", u"", true, false));
    FUZZ_REQUIRE(versionAcceptable(version, version, version, true, false));
    FUZZ_REQUIRE(versionInLooseRange(version, version, version));
    FUZZ_REQUIRE(versionInLooseRange(version, u"", u""));
    bool strict = versionAcceptable(version, lower, upper, false, false);
    // Allowing prereleases can only widen what is accepted.
    FUZZ_REQUIRE(!strict || versionAcceptable(version, lower, upper, true, false));
    FUZZ_REQUIRE(versionAcceptable(version, lower, upper, true, false) ==
                 versionAcceptable(version, lower, upper, false, true));
    if (version.find(u"ea") != WideView::npos) FUZZ_REQUIRE(!strict);
}

void checkBanner(std::string_view output, const WideString& version) {
    // Only the first 99 bytes of the version line are read, 14 of them "java version \"".
    FUZZ_REQUIRE(version.find(u'"') == WideString::npos && version.size() <= 99 - 14 - 1);
    std::string narrow;
    for (char16_t c : version) {
        FUZZ_REQUIRE(c <= 0xFF);
        narrow.push_back(static_cast<char>(c));
    }
    FUZZ_REQUIRE(output.find("version \"" + narrow + "\"") != std::string_view::npos);
    FUZZ_REQUIRE(parseVersionOutput("java version \"" + narrow + "\"\n") == version);
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view output = fuzz::bytesOf(data, size);
    std::optional<WideString> banner = parseVersionOutput(output);
    if (banner) checkBanner(output, *banner);

    std::vector<std::string_view> lines = fuzz::pieces(output, '\n');
    lines.resize(3);
    WideString version = banner ? *banner : fuzz::wideText(lines[0]);
    WideString lower = fuzz::wideText(lines[1]);
    WideString upper = fuzz::wideText(lines[2]);
    checkOrder(version, lower, upper);
    checkOrder(upper, version, lower);
    checkLimits(version, lower, upper);

    WideString subkey = versionCacheSubkey(version + u"\\bin\\java.exe");
    FUZZ_REQUIRE(subkey.size() == version.size() + 13 && subkey.find(u'\\') == WideString::npos);
    return 0;
}

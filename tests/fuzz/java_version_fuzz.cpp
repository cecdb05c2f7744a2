// A runtime's "-version" banner (the input, as on its error stream) and the comparison of
// versions with limits: the input's first three lines, as UTF-8, are also taken as a version
// (the banner's own when it has one), a lower and an upper limit.
#include "runtime/java_version.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view output = fuzz::bytesOf(data, size);
    std::optional<WideString> banner = parseVersionOutput(output);
    if (banner) {
        // Only the first 99 bytes of the version line are read, 14 of them "java version \"".
        FUZZ_REQUIRE(banner->find(u'"') == WideString::npos && banner->size() <= 99 - 14 - 1);
        std::string narrow(banner->begin(), banner->end());
        FUZZ_REQUIRE(parseVersionOutput("java version \"" + narrow + "\"\n") == banner);
    }

    std::vector<std::string_view> lines = fuzz::pieces(output, '\n');
    lines.resize(3);
    WideString version = banner ? *banner : fromUtf8(lines[0]);
    WideString lower = fromUtf8(lines[1]);
    WideString upper = fromUtf8(lines[2]);
    // The comparison is an order, and a version is always within limits of its own.
    std::size_t length = std::min(version.size(), lower.size());
    FUZZ_REQUIRE((compareToLimit(version, lower, length) > 0) ==
                 (compareToLimit(lower, version, length) < 0));
    FUZZ_REQUIRE(versionAcceptable(version, u"", u"", true, false));
    FUZZ_REQUIRE(versionAcceptable(version, version, version, true, false));
    // Allowing prereleases can only widen what is accepted.
    FUZZ_REQUIRE(!versionAcceptable(version, lower, upper, false, false) ||
                 versionAcceptable(version, lower, upper, true, false));
    return 0;
}

#include "tools/stub_location.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "tests/support/fake_image.h"

namespace tesmo::tools {
namespace {

TEST(StubLocation, TheToolsFolderComesBeforeStubDirAndTheArchitectureNamesTheFile) {
    // The architecture, the stubs present, the one taken (none: the error names every place).
    using Row = std::tuple<const char*, std::set<std::string>, std::string>;
    for (const auto& [architecture, present, found] :
         std::vector<Row>{{"x86", {"/tool/tesmo32.exe", "/dir/tesmo32.exe"}, "/tool/tesmo32.exe"},
                          {"x64", {"/tool/tesmo32.exe", "/dir/tesmo64.exe"}, "/dir/tesmo64.exe"},
                          {"x86", {"/tool/tesmo64.exe", "/dir/tesmo64.exe"}, ""}}) {
        const std::set<std::string>& stubs = present;
        StubLocation got = locateStub(architecture, {"/tool", "/dir"}, [&stubs](const auto& path) {
            return stubs.count(path.generic_string()) > 0;
        });
        EXPECT_EQ(got.path.generic_string(), found);
        bool named = got.error.find("/tool") != std::string::npos &&
                     got.error.find("/dir") != std::string::npos;
        EXPECT_EQ(named, found.empty()) << got.error;
    }
}

TEST(StubLocation, AStubOfAnotherMachineIsRefused) {
    using Row = std::tuple<std::uint32_t, const char*, bool>;
    const Row rows[] = {{0x14C, "x86", false},
                        {0x8664, "x64", false},
                        {0x8664, "x86", true},
                        {0x14C, "x64", true},
                        {0xAA64, "x64", true}};
    for (auto [machine, architecture, refused] : rows) {
        std::string stub = fakeImage();
        put(stub, kPe + 4, machine, 2);
        EXPECT_EQ(stubArchitectureFault(stub, architecture).empty(), !refused)
            << std::hex << machine << " " << architecture;
    }
}

}  // namespace
}  // namespace tesmo::tools

#include <gtest/gtest.h>

#include "instance/single_instance.h"
#include "platform/text_windows.h"

namespace tesmo {
namespace {

// The hand-over itself is left to the native table and the end-to-end tests: it takes names
// formed from this executable's path, which a concurrent run of the same tests would share.
TEST(InstanceRegistry, APidValueOfAnotherSizeReadsAsNone) {
    // The value name, formed independently of the launcher's code.
    char path[MAX_PATH];
    std::string name(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\dravik-labs\\tesmo\\pids", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // The type is not looked at.
    const std::pair<std::string, unsigned long> cases[] = {{std::string("\7\0", 2), 0},
                                                           {std::string("90\0\0", 4), 12345},
                                                           {std::string("90\0\0\0\0\0\0", 8), 0}};
    for (const auto& [bytes, pid] : cases) {
        RegSetValueExA(key, name.c_str(), 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        EXPECT_EQ(readInstancePid(), pid) << bytes.size();
    }
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
    EXPECT_EQ(readInstancePid(), 0u);
}

}  // namespace
}  // namespace tesmo

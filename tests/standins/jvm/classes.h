// Classes as a VM finds them on its class path: entries in order, a directory holding
// name.class files below it, any other file read as a jar or zip archive. An entry that
// cannot be read is skipped, as the JDK's class loader skips it; why is kept for the record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::jvm {

constexpr std::uint16_t kAccPublic = 0x0001;
constexpr std::uint16_t kAccStatic = 0x0008;

struct MethodInfo {
    std::string name;
    std::string descriptor;
    std::uint16_t access = 0;
};

struct ClassFound {
    // The class path entry that held it.
    std::wstring entry;
    std::vector<MethodInfo> methods;
};

struct ClassSearch {
    std::optional<ClassFound> found;
    // Entries passed over, each with the reason.
    std::vector<std::pair<std::wstring, std::string>> problems;
};

// `classPath` is the value of -Djava.class.path; `internalName` as FindClass takes it.
ClassSearch findClass(const std::vector<std::wstring>& classPath, std::string_view internalName);

}  // namespace standin::jvm

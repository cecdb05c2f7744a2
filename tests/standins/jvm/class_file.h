// What a VM must know of a class file to find it and its methods: the class's own name,
// its super class and the methods it declares. The constant pool is read in full, all tag
// kinds, and every index the class uses is checked; fields and attributes are skipped by
// their lengths. Names stay in modified UTF-8, the form JNI hands to FindClass.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace standin::jvm {

constexpr std::uint16_t kAccPublic = 0x0001;
constexpr std::uint16_t kAccStatic = 0x0008;
constexpr std::uint16_t kAccInterface = 0x0200;

struct MethodInfo {
    std::string name;
    std::string descriptor;
    std::uint16_t access = 0;
};

struct ClassFile {
    std::uint16_t minorVersion = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t access = 0;
    std::string name;
    // Empty for java/lang/Object and module-info.
    std::string superName;
    std::vector<std::string> interfaces;
    std::size_t fieldCount = 0;
    std::vector<MethodInfo> methods;

    const MethodInfo* findMethod(std::string_view name, std::string_view descriptor) const;
};

struct ClassParse {
    std::optional<ClassFile> classFile;
    std::string error;
};

ClassParse parseClassFile(std::span<const std::uint8_t> bytes);

}  // namespace standin::jvm

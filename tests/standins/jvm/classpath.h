// The application class path as a VM searches it: entries in order, a directory holding
// name.class files below it, any other file read as a jar or zip archive. An entry that
// cannot be read as either is skipped, as the JDK's class loader skips it; what went wrong
// is kept for the record. The file system is reached through an interface so that the
// search can be tested without one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zip_reader.h"

namespace standin::jvm {

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    virtual bool isDirectory(const std::u16string& path) = 0;
    // Nothing when the path is no readable file.
    virtual std::optional<std::vector<std::uint8_t>> readFile(const std::u16string& path) = 0;
};

// Splits at ";" and drops empty entries.
std::vector<std::u16string> splitClassPath(std::u16string_view value);

struct ClassBytes {
    std::vector<std::uint8_t> bytes;
    // The class path entry that held the class.
    std::u16string entry;
};

struct ClassSearch {
    std::optional<ClassBytes> found;
    // Entries that were passed over because they could not be read, each with the reason.
    std::vector<std::pair<std::u16string, std::string>> problems;
};

class ClassPath {
  public:
    ClassPath(std::vector<std::u16string> entries, FileSystem& files);

    const std::vector<std::u16string>& entries() const { return entries_; }
    // `internalName` is as FindClass takes it: "com/example/Main".
    ClassSearch find(std::string_view internalName);

  private:
    struct Archive {
        std::optional<ZipArchive> zip;
        std::string error;
    };
    Archive& archive(const std::u16string& entry);

    std::vector<std::u16string> entries_;
    FileSystem& files_;
    std::map<std::u16string, Archive> archives_;
};

}  // namespace standin::jvm

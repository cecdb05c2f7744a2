// A host for the stand-in VM in the unit tests: files in memory, standard error and the
// record kept as strings, misuse thrown instead of ending the process.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "jvm/fixtures/fixtures.h"
#include "jvm/text.h"
#include "jvm/vm.h"

namespace standin::jvm::testing {

struct Fatal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class MemoryFiles : public FileSystem {
  public:
    bool isDirectory(const std::u16string& path) override { return directories.count(path) > 0; }
    std::optional<std::vector<std::uint8_t>> readFile(const std::u16string& path) override {
        ++reads[path];
        auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }

    // Every fixture below `prefix` ("classes/") as a file below `directory`.
    void addTree(const std::string& prefix, const std::u16string& directory) {
        directories.insert(directory);
        for (const auto& name : fixtures::fixtureNames(prefix)) {
            std::u16string path = directory + u"\\" + latin1ToUtf16(name.substr(prefix.size()));
            for (auto& c : path) c = c == u'/' ? u'\\' : c;
            files[path] = fixtures::fixture(name);
        }
    }

    std::map<std::u16string, std::vector<std::uint8_t>> files;
    std::set<std::u16string> directories;
    std::map<std::u16string, int> reads;
};

class TestHost : public Host {
  public:
    void persist(const std::string& json) override {
        persisted = json;
        ++persists;
    }
    void printError(const std::u16string& text) override { errors += text; }
    [[noreturn]] void fatal(const std::string& message) override { throw Fatal(message); }
    std::u16string decodeOption(std::string_view bytes) override { return latin1ToUtf16(bytes); }
    FileSystem& files() override { return memory; }

    MemoryFiles memory;
    std::string persisted;
    int persists = 0;
    std::u16string errors;
};

}  // namespace standin::jvm::testing

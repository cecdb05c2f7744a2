// Where tesmo-build takes the launcher stub from when no --stub names one: a release holds the
// stubs beside the tool, so the folder the tool runs from comes first, then --stub-dir. The
// stub's machine must be the one the configuration asks for, since the name of a file proves
// nothing about what it holds.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmo::tools {

// "tesmo32.exe" for "x86", "tesmo64.exe" for "x64".
std::string stubFileName(std::string_view architecture);

struct StubLocation {
    std::filesystem::path path;  // empty when no folder holds the stub
    std::string error;           // then: every place looked at
};

using FileExists = std::function<bool(const std::filesystem::path&)>;

// The first of `folders` that holds the stub for `architecture`.
StubLocation locateStub(std::string_view architecture,
                        const std::vector<std::filesystem::path>& folders,
                        const FileExists& exists);

// Why `stub` cannot become a launcher for `architecture`; empty when its machine is that one.
std::string stubArchitectureFault(std::string_view stub, std::string_view architecture);

// The folder of the running program; empty when the system does not tell.
std::filesystem::path toolFolder();

}  // namespace tesmo::tools

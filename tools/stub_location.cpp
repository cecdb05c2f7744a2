#include "tools/stub_location.h"

#include <optional>

#include "tools/file_io.h"
#include "tools/pe_layout.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tesmo::tools {

namespace fs = std::filesystem;

std::string stubFileName(std::string_view architecture) {
    return architecture == "x64" ? "tesmo64.exe" : "tesmo32.exe";
}

StubLocation locateStub(std::string_view architecture, const std::vector<fs::path>& folders,
                        const FileExists& exists) {
    std::string name = stubFileName(architecture);
    std::string looked;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        fs::path candidate = folders[i] / name;
        if (exists(candidate)) return {candidate, ""};
        looked += (i == 0 ? "" : i + 1 == folders.size() ? " and " : ", ") + utf8Path(candidate);
    }
    return {{},
            "no stub for architecture \"" + std::string(architecture) + "\": looked for " +
                (looked.empty() ? name + " in no folder" : looked) +
                "; name the stub with --stub, or the folder that holds it with --stub-dir"};
}

std::string stubArchitectureFault(std::string_view stub, std::string_view architecture) {
    std::optional<std::string> machine = imageArchitecture(stub);
    if (!machine) return "the stub is neither an x86 nor an x64 Windows executable";
    if (*machine == architecture) return "";
    return "the stub is an " + *machine + " executable, but the configuration asks for " +
           std::string(architecture) + " (" + stubFileName(architecture) + ")";
}

#ifdef _WIN32
fs::path toolFolder() {
    std::wstring name(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size()) return {};
    name.resize(length);
    return fs::path(name).parent_path();
}
#else
fs::path toolFolder() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}
#endif

}  // namespace tesmo::tools

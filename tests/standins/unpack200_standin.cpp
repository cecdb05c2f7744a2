// Stands in for a runtime's unpack200.exe: `unpack200 [-r] PACKED TARGET`. Our packed format
// is the header "TESMO-PACK\n" followed by the original bytes, so a test can check that a
// launcher restores archives exactly. unpack200.log beside it records every command line.
#include <windows.h>

#include <string>
#include <string_view>

#include "standin_io.h"

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitMalformed = 2;
constexpr int kExitRefused = 3;
constexpr int kExitWriteFailed = 4;
constexpr std::string_view kHeader = "TESMO-PACK\n";
// Lets a test make unpacking fail for one chosen archive.
constexpr std::string_view kRefusal = "FAIL";

bool writeFile(const std::wstring& path, std::string_view content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    if (!ok) DeleteFileW(path.c_str());
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    standin::appendLine(standin::moduleDirectory(nullptr) + L"unpack200.log",
                        standin::toUtf8(GetCommandLineW()));
    int first = 1;
    bool removePacked = argc > 1 && std::wstring_view(argv[1]) == L"-r";
    if (removePacked) ++first;
    if (argc - first != 2) {
        standin::writeHandle(STD_ERROR_HANDLE, "usage: unpack200 [-r] PACKED TARGET\r\n");
        return kExitUsage;
    }
    std::wstring packed = argv[first];
    std::wstring target = argv[first + 1];

    auto content = standin::readFile(packed);
    if (!content || std::string_view(*content).substr(0, kHeader.size()) != kHeader) {
        standin::writeHandle(STD_ERROR_HANDLE, "unpack200: not a packed file\r\n");
        return kExitMalformed;
    }
    std::string_view original = std::string_view(*content).substr(kHeader.size());
    if (original == kRefusal) {
        standin::writeHandle(STD_ERROR_HANDLE, "unpack200: refused\r\n");
        return kExitRefused;
    }
    if (!writeFile(target, original)) {
        standin::writeHandle(STD_ERROR_HANDLE, "unpack200: cannot write the target\r\n");
        return kExitWriteFailed;
    }
    if (removePacked) DeleteFileW(packed.c_str());
    return 0;
}

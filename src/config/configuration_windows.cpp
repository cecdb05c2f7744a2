#include "config/block_reader.h"
#include "config/configuration.h"
#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

bool handleRead(void* context, void* buffer, std::uint32_t size, std::uint32_t* delivered,
                std::uint32_t* error) {
    DWORD got = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(context), buffer, size, &got, nullptr);
    *delivered = got;
    *error = ok ? 0 : GetLastError();
    return ok != FALSE;
}

bool handleSeek(void* context, std::int64_t position) {
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(static_cast<HANDLE>(context), to, nullptr, FILE_BEGIN) != FALSE;
}

std::int64_t handlePosition(void* context) {
    LARGE_INTEGER zero, now;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(static_cast<HANDLE>(context), zero, &now, FILE_CURRENT)) return 0;
    return now.QuadPart;
}

std::int64_t handleSize(void* context) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(static_cast<HANDLE>(context), &size)) return 0;
    return size.QuadPart;
}

std::uint16_t userDefaultLanguage() {
    return static_cast<std::uint16_t>(GetUserDefaultLCID() & 0xFFFF);
}

// Looked up at run time: the launcher still starts on systems without the function.
bool userInterfaceLanguage(std::uint16_t* language) {
    HMODULE kernel = LoadLibraryA("Kernel32.DLL");
    if (!kernel) return false;
    using Function = LANGID(WINAPI*)();
    auto function = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultUILanguage")));
    if (!function) return false;
    *language = function();
    return true;
}

[[noreturn]] void failReading(HANDLE file, ReadFailure failure) {
    CloseHandle(file);
    fatalInternalError(readFailureMessage(failure));
}

}  // namespace

void* openLauncherFile() {
    const WideString& path = executablePathWide();
    HANDLE file = CreateFileW(asWindows(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError("Could not open %S", path);
        fatalInternalError(
            "Error opening media file. Please move this file to an ascii-only path like c:\\");
    }
    return file;
}

int readConfigurationBlock(const ArgumentList& arguments) {
    HANDLE file = static_cast<HANDLE>(openLauncherFile());
    FileReader reader{file, handleRead, handleSeek, handlePosition, handleSize};
    ReadFailure failure = locateBlock(reader);
    if (failure != ReadFailure::None) failReading(file, failure);

    ConfigurationBlock block;
    LocaleSource locale{userDefaultLanguage, userInterfaceLanguage};
    failure = parseBlock(reader, &arguments, locale, block);
    if (failure != ReadFailure::None) {
        // Messages raised part-way still get the title and texts read so far.
        narrowSettings = std::move(block.narrow);
        failReading(file, failure);
    }
    CloseHandle(file);

    return applyConfigurationBlock(std::move(block));
}

}  // namespace tesmo

#include <vector>

#include "config/configuration.h"
#include "config/file_reader.h"
#include "core/error_reporting.h"
#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "files/extraction.h"
#include "files/included_files.h"
#include "files/temp_directory.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

// Large enough that the calls per byte cost nothing next to the disk: a 256 MiB bundle
// comes out at the speed of a plain file copy.
constexpr DWORD kChunkBytes = 1 << 20;

int copyFileBytes(HANDLE source, HANDLE target, std::int64_t count, bool unscramble) {
    if (count <= 0) return 0;
    std::vector<unsigned char> buffer(
        static_cast<std::size_t>(count < kChunkBytes ? count : kChunkBytes));
    std::int64_t total = 0;
    while (total < count) {
        std::int64_t remaining = count - total;
        DWORD wanted = remaining < static_cast<std::int64_t>(buffer.size())
                           ? static_cast<DWORD>(remaining)
                           : static_cast<DWORD>(buffer.size());
        DWORD got = 0;
        if (!ReadFile(source, buffer.data(), wanted, &got, nullptr) || got == 0) {
            logError("ReadFile failed %d %d %I64d", static_cast<int>(got),
                     static_cast<int>(GetLastError()), static_cast<long long>(total));
            return 1;
        }
        if (unscramble) maskIncludedBytes(buffer.data(), got);
        DWORD offset = 0;
        while (offset < got) {
            DWORD written = 0;
            if (!WriteFile(target, buffer.data() + offset, got - offset, &written, nullptr)) {
                logError("WriteFile failed %d %d", static_cast<int>(got - offset),
                         static_cast<int>(GetLastError()));
                return 2;
            }
            offset += written;
        }
        total += got;
    }
    return 0;
}

bool handleRead(void* context, void* buffer, std::uint32_t size, std::uint32_t* delivered,
                std::uint32_t* error) {
    DWORD got = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(context), buffer, size, &got, nullptr);
    *delivered = got;
    *error = ok ? 0 : GetLastError();
    return ok != FALSE;
}

int extractEntry(void* file, const WideString& target) {
    FileReader reader{file, handleRead, nullptr, nullptr, nullptr};
    std::int64_t size = 0;
    if (readLong(reader, size) != ReadFailure::None) {
        fatalInternalError(readFailureMessage(ReadFailure::ReadLong));
    }
    logMessage("extracting %S (size: %I64d)", target, static_cast<long long>(size));
    if (size <= 0) return 0;
    HANDLE output = CreateFileW(asWindows(target), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        fatalMessage(kMessageInternalError, internal_error::kIncludedFile);
    int result = copyFileBytes(static_cast<HANDLE>(file), output, size, true);
    CloseHandle(output);
    return result;
}

bool createDirectory(const WideString& path) {
    return CreateDirectoryW(asWindows(path), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

int extractIncludedFiles() {
    logMessage("extracting files");
    int count = getSettingInt(kKeyIncludedFileCount);
    logMessage("Included files: %d", count);
    if (count == 0) {
        launcherTempDirectory.clear();
        return 0;
    }
    std::vector<WideString> names =
        includedFileNames(getSettingWideString(kKeyIncludedFileNames), count);
    // A name from the block must not write outside the temporary directory; refuse before
    // anything is written.
    for (const WideString& name : names) {
        if (!isSafeIncludedName(name)) {
            logError("included file name %S leaves the temporary directory", name);
            fatalMessage(kMessageInternalError, internal_error::kIncludedFile);
        }
    }
    LauncherTempDirectory made = createLauncherTempDirectory();
    if (made == LauncherTempDirectory::NoSystemTemp) {
        fatalMessageWide(kMessageNotPoweruser, nullptr);
    }
    if (made == LauncherTempDirectory::NotCreated) {
        fatalMessage(kMessageInternalError, internal_error::kTempDirectory);
    }

    HANDLE file = static_cast<HANDLE>(openLauncherFile());
    LARGE_INTEGER position;
    position.QuadPart = blockEndPosition;
    SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    int result =
        extractInOrder(launcherTempDirectory, names, {createDirectory, extractEntry, file});
    if (result != 0) {
        CloseHandle(file);
        return result;
    }
    LARGE_INTEGER zero, now;
    zero.QuadPart = 0;
    SetFilePointerEx(file, zero, &now, FILE_CURRENT);
    unextractedPosition = now.QuadPart;
    CloseHandle(file);
    logMessage("extracting files done");
    return 0;
}

}  // namespace tesmo

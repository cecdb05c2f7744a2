#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

bool findEntry(const WideString& path, std::uint64_t* lastWriteTime) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(asWindows(path), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    if (lastWriteTime) {
        *lastWriteTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                         data.ftLastWriteTime.dwLowDateTime;
    }
    return true;
}

bool pathExists(const WideString& path) {
    if (isDriveRootSpelling(path)) return true;
    return findEntry(path, nullptr);
}

bool pathExists(const std::string& path) {
    return pathExists(toWide(path));
}

namespace {

WideString executableWide;
std::string executableNarrow;
WideString executableDirectory;
bool executableKnown = false;

bool isUsableNarrow(const WideString& wide, std::string& narrow) {
    bool defaultUsed = false;
    narrow = toNarrow(wide, &defaultUsed);
    if (defaultUsed || narrow.size() < 4) return false;
    std::string ending = narrow.substr(narrow.size() - 4);
    for (char& c : ending) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return ending == ".exe";
}

std::string collapseNarrow(const std::string& path) {
    bool defaultUsed = false;
    WideString wide = toWide(path);
    collapseBackslashes(wide);
    std::string back = toNarrow(wide, &defaultUsed);
    return defaultUsed ? path : back;
}

void computeExecutablePaths() {
    if (executableKnown) return;
    WideString module = fillWideBuffer(
        [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    WideString longForm = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(asWindows(module), buffer, size);
    });
    executableWide = longForm.empty() ? module : longForm;

    if (!isUsableNarrow(executableWide, executableNarrow)) {
        WideString shortForm = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
            return GetShortPathNameW(asWindows(executableWide), buffer, size);
        });
        if (!isUsableNarrow(shortForm, executableNarrow)) {
            char narrowModule[kPathCapacity] = {};
            char narrowShort[kPathCapacity] = {};
            DWORD length = GetModuleFileNameA(nullptr, narrowModule, kPathCapacity);
            if (length >= kPathCapacity) narrowModule[0] = 0;
            length = GetShortPathNameA(narrowModule, narrowShort, kPathCapacity);
            executableNarrow = length > 0 && length < kPathCapacity ? narrowShort : "";
        }
    }
    collapseBackslashes(executableWide);
    executableNarrow = collapseNarrow(executableNarrow);

    WideString full = fillWideBuffer([](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(asWindows(executableWide), size, buffer, nullptr);
    });
    executableDirectory = directoryOf(full.empty() ? executableWide : full);
    executableKnown = true;
}

}  // namespace

const WideString& executablePathWide() {
    computeExecutablePaths();
    return executableWide;
}

const std::string& executablePath() {
    computeExecutablePaths();
    return executableNarrow;
}

const WideString& executableDirectoryWide() {
    computeExecutablePaths();
    return executableDirectory;
}

bool resolvePath(WideString& out, const WideString& path, const WideString* baseFile) {
    WideString base;
    if (baseFile) {
        WideString full = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
            return GetFullPathNameW(asWindows(*baseFile), size, buffer, nullptr);
        });
        base = directoryOf(full);
    } else {
        base = executableDirectoryWide();
    }
    return joinRelative(out, base, path);
}

bool fullPath(WideString& out, const WideString& path, bool keepCase) {
    WideString resolved;
    out.clear();
    if (!resolvePath(resolved, path)) return false;
    out = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(asWindows(resolved), size, buffer, nullptr);
    });
    if (!keepCase) lowerAscii(out);
    collapseBackslashes(out);
    return !out.empty();
}

bool resolvePathList(WideString& out, const WideString& list) {
    out.clear();
    WideString work = list;
    truncateToCapacity(work, kPathCapacity);
    WideString joined;
    for (const WideString& item : splitList(work, u';')) {
        WideString resolved;
        if (!resolvePath(resolved, item)) return false;
        if (!joined.empty()) joined.push_back(u';');
        joined.append(resolved);
        if (joined.size() > kPathCapacity - 1) return false;
    }
    out = std::move(joined);
    return true;
}

std::vector<WideString> listFilesByExtension(const WideString& directory,
                                             const WideString& extension) {
    std::vector<WideString> names;
    WideString pattern = directory + u"\\*";
    if (extension.empty() || extension[0] != u'.') pattern.push_back(u'.');
    pattern.append(extension);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(asWindows(pattern), &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(fromWindows(data.cFileName));
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return names;
}

}  // namespace tesmo

#include "core/log.h"
#include "files/removal.h"
#include "platform/text_windows.h"

namespace tesmo {

void emptyDirectory(const WideString& path, bool descend) {
    if (path.empty() || path[0] == u'.') return;
    logMessage("emptying %S", path);
    WideString prefix = path;
    if (prefix.back() != u'\\') prefix.push_back(u'\\');
    WideString pattern = prefix + u"*.*";
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(asWindows(pattern), &data);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        WideString name = fromWindows(data.cFileName);
        if (name == u"." || name == u"..") continue;
        WideString entry = prefix + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            logMessage("attempting to remove %S (%d)", entry, descend ? 1 : 0);
            if (descend) emptyDirectory(entry, false);
            RemoveDirectoryW(asWindows(entry));
        } else {
            logMessage("attempting to delete %S", entry);
            DeleteFileW(asWindows(entry));
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);
}

}  // namespace tesmo

#include "platform/path_text.h"

namespace tesmo {

bool isDriveRootSpelling(WideView path) {
    if (path.size() < 2) return false;
    WideView rest = path.substr(1);
    return rest == u":\\" || rest == u":\\." || rest == u":\\.\\.";
}

bool isRelativePath(WideView path) {
    if (path.size() < 3) return true;
    if (path[0] == u'"') {
        if (path.size() < 4) return true;
        path.remove_prefix(1);
    }
    bool drive = path[1] == u':' && path[2] == u'\\';
    bool unc = path[0] == u'\\' && path[1] == u'\\';
    return !(drive || unc);
}

void collapseBackslashes(WideString& path) {
    if (path.size() <= 2) return;
    std::size_t write = 2;
    bool previousBackslash = path[1] == u'\\';
    for (std::size_t read = 2; read < path.size(); ++read) {
        char16_t c = path[read];
        if (c == u'\\' && previousBackslash) continue;
        previousBackslash = c == u'\\';
        path[write++] = c;
    }
    path.resize(write);
}

bool joinRelative(WideString& out, WideView baseDirectory, WideView path, std::size_t capacity) {
    out.clear();
    WideString joined;
    if (isRelativePath(path)) joined.assign(baseDirectory);
    joined.append(path);
    collapseBackslashes(joined);
    if (capacity == 0 || joined.size() > capacity - 1) return false;
    out = std::move(joined);
    return true;
}

WideString directoryOf(WideView fullFileName) {
    std::size_t slash = fullFileName.find_last_of(u"\\/");
    if (slash == WideView::npos) return {};
    return WideString(fullFileName.substr(0, slash + 1));
}

std::vector<WideString> splitList(WideView list, char16_t separator) {
    std::vector<WideString> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(separator, start);
        if (end == WideView::npos) end = list.size();
        if (end > start) items.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

}  // namespace tesmo

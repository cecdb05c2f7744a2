#include "files/included_files.h"

#include <cstdint>
#include <cstring>

#include "platform/path_text.h"

namespace tesmo {

// A word at a time, since the launcher unmasks every byte of bundles that may run to
// hundreds of megabytes.
void maskIncludedBytes(unsigned char* bytes, std::size_t count) {
    constexpr std::uint64_t kWideMask = 0x0101010101010101ull * kIncludedFileMask;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        word ^= kWideMask;
        std::memcpy(bytes + i, &word, 8);
    }
    for (; i < count; ++i) bytes[i] ^= kIncludedFileMask;
}

std::vector<WideString> includedFileNames(WideView names, int count) {
    std::vector<WideString> all = splitList(names, u';');
    if (count < 0) count = 0;
    if (all.size() > static_cast<std::size_t>(count)) all.resize(static_cast<std::size_t>(count));
    return all;
}

bool isSafeIncludedName(WideView name) {
    if (name.empty() || name.find(u':') != WideView::npos || name.find(u'/') != WideView::npos) {
        return false;
    }
    std::vector<WideString> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t slash = name.find(u'\\', start);
        parts.emplace_back(
            name.substr(start, slash == WideView::npos ? WideView::npos : slash - start));
        if (slash == WideView::npos) break;
        start = slash + 1;
    }
    if (parts.size() > 2) return false;
    for (const WideString& part : parts) {
        if (part.empty() || part == u"." || part == u"..") return false;
    }
    return true;
}

}  // namespace tesmo

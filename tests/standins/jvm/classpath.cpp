#include "classpath.h"

#include <algorithm>

#include "text.h"

namespace standin::jvm {

std::vector<std::u16string> splitClassPath(std::u16string_view value) {
    std::vector<std::u16string> entries;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(u';', start);
        if (end == std::u16string_view::npos) end = value.size();
        if (end > start) entries.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

ClassPath::ClassPath(std::vector<std::u16string> entries, FileSystem& files)
    : entries_(std::move(entries)), files_(files) {}

ClassPath::Archive& ClassPath::archive(const std::u16string& entry) {
    auto known = archives_.find(entry);
    if (known != archives_.end()) return known->second;
    Archive& made = archives_[entry];
    auto bytes = files_.readFile(entry);
    if (!bytes) {
        made.error = "not found";
        return made;
    }
    auto opened = ZipArchive::open(std::move(*bytes));
    if (opened.archive) {
        made.zip = std::move(opened.archive);
    } else {
        made.error = "not a readable archive: " + opened.error;
    }
    return made;
}

ClassSearch ClassPath::find(std::string_view internalName) {
    ClassSearch search;
    std::string fileName = std::string(internalName) + ".class";
    for (const auto& entry : entries_) {
        if (files_.isDirectory(entry)) {
            std::u16string path = entry;
            if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
            std::u16string relative = modifiedUtf8ToUtf16(fileName);
            std::replace(relative.begin(), relative.end(), u'/', u'\\');
            if (auto bytes = files_.readFile(path + relative)) {
                search.found = ClassBytes{std::move(*bytes), entry};
                return search;
            }
            continue;
        }
        Archive& found = archive(entry);
        if (!found.zip) {
            search.problems.emplace_back(entry, found.error);
            continue;
        }
        const ZipEntry* member = found.zip->find(fileName);
        if (member == nullptr) continue;
        ZipExtract extracted = found.zip->extract(*member);
        if (!extracted.ok) {
            search.problems.emplace_back(entry, fileName + ": " + extracted.error);
            continue;
        }
        search.found = ClassBytes{std::move(extracted.data), entry};
        return search;
    }
    return search;
}

}  // namespace standin::jvm

#include "runtime/search_sequence.h"

#include "core/keys.h"
#include "platform/path_text.h"

namespace tesmo {

// "R" behaves like "A"; other builders write it for a location chosen at install time.
const SearchLetter kSearchLetters[] = {
    {u'B', "bundled", SearchSource::BundledLocation, true},
    {u'A', "directory", SearchSource::Location, true},
    {u'R', "install-directory", SearchSource::Location, true},
    {u'E', "env", SearchSource::Variable, true},
    {u'Y', "registry", SearchSource::Registry, false},
    {u'S', "system-path", SearchSource::SystemPath, false},
    {u'V', "vendor-registry", SearchSource::VendorRegistry, false},
};
const std::size_t kSearchLetterCount = sizeof kSearchLetters / sizeof kSearchLetters[0];

const SearchLetter* findSearchLetter(char16_t letter) {
    for (const SearchLetter& entry : kSearchLetters) {
        if (entry.letter == letter) return &entry;
    }
    return nullptr;
}

std::vector<SearchEntry> parseSearchSequence(WideView sequence) {
    std::vector<SearchEntry> entries;
    for (WideString& item : splitList(sequence, u';')) {
        entries.push_back({item[0], item.substr(1)});
    }
    return entries;
}

bool isAbsoluteForFallback(WideView text) {
    return text.size() > 1 && (text[1] == u':' || (text[0] == u'\\' && text[1] == u'\\'));
}

WideString javaExeDirectory(WideView javaExe) {
    constexpr WideView windowed = u"javaw.exe";
    std::size_t nameLength = javaExe.size() >= windowed.size() &&
                                     javaExe.substr(javaExe.size() - windowed.size()) == windowed
                                 ? windowed.size()
                                 : 8;
    if (nameLength > javaExe.size()) return {};
    return WideString(javaExe.substr(0, javaExe.size() - nameLength));
}

std::vector<WideString> vmDirectoryOrder(WideView preferred) {
    std::vector<WideString> order;
    if (!preferred.empty()) order.emplace_back(preferred);
    // OpenJ9 runtimes keep their VM in bin\j9vm and bin\default; after the fixed list, so
    // that no runtime that loaded before loads another library now.
    for (const char16_t* name :
         {u"hotspot", u"client", u"server", u"classic", u"jrockit", u"j9vm", u"default"}) {
        order.emplace_back(name);
    }
    return order;
}

LoadFailureMessage loadFailureMessage(SearchResult result, bool sixtyFourBit) {
    switch (result) {
        case SearchResult::NotFound:
        case SearchResult::FoundOnPath:
            return {kMessageNoJvm, false};
        case SearchResult::FoundAtLocation:
            return {sixtyFourBit ? kMessageDamagedJvm64 : kMessageDamagedJvm32, true};
        case SearchResult::FoundByVariable:
            return {sixtyFourBit ? kMessageVariableNoJvm64 : kMessageVariableNoJvm32, true};
        case SearchResult::FoundInRegistry:
            break;
    }
    return {0, false};
}

}  // namespace tesmo

#include "runtime/runtime_search.h"

#include <algorithm>

#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "runtime/vendor_registry.h"

namespace tesmo {

namespace {

constexpr char16_t kPreferredLocationFile[] = u"\\.korvane\\pref_jre.cfg";
constexpr char16_t kInstallerLocationFile[] = u"\\.korvane\\inst_jre.cfg";
constexpr std::size_t kLocationLineCapacity = kPathCapacity - 1;

struct Search {
    const SearchSources& sources;
    const WideString lower;
    const WideString upper;
    WideString& javaExe;
};

bool checkExecutable(const Search& search, bool allowPrerelease) {
    WideString version;
    return checkJavaExe(search.sources.installation, search.javaExe, version, search.lower,
                        search.upper, allowPrerelease);
}

bool checkLocation(const Search& search, const WideString& locationText, bool skipCheck) {
    const InstallationSources& installation = search.sources.installation;
    WideString home;
    installation.fullPath(home, locationText, false);
    search.sources.preparePackedRuntime(home);
    bool formed = javaExeForHome(installation, home, search.javaExe);
    if (skipCheck) return true;
    return formed && checkExecutable(search, true);
}

bool checkVariable(const Search& search, const WideString& name) {
    std::optional<WideString> value = search.sources.variable(name);
    if (!value || value->empty()) return false;
    // Cut to a path buffer the value could name another directory, its own parent say.
    if (value->size() > kPathCapacity - 1) {
        logMessage("%S is longer than %d characters: not searched", name,
                   static_cast<int>(kPathCapacity - 1));
        return false;
    }
    std::replace(value->begin(), value->end(), u'/', u'\\');
    return javaExeForHome(search.sources.installation, *value, search.javaExe) &&
           checkExecutable(search, false);
}

bool checkSystemPath(const Search& search) {
    WideString found = search.sources.javaOnPath();
    if (found.empty()) return false;
    search.javaExe = found;
    return checkExecutable(search, false);
}

SearchResult searchSource(const Search& search, SearchSource source, const WideString& text) {
    switch (source) {
        case SearchSource::Location:
        case SearchSource::BundledLocation:
            return checkLocation(search, text, false) ? SearchResult::FoundAtLocation
                                                      : SearchResult::NotFound;
        case SearchSource::Variable:
            return checkVariable(search, text) ? SearchResult::FoundByVariable
                                               : SearchResult::NotFound;
        case SearchSource::SystemPath:
            return checkSystemPath(search) ? SearchResult::FoundOnPath : SearchResult::NotFound;
        case SearchSource::Registry:
            return findRegisteredJvm(search.sources.registry, search.sources.installation,
                                     search.javaExe, search.lower, search.upper)
                       ? SearchResult::FoundInRegistry
                       : SearchResult::NotFound;
        case SearchSource::VendorRegistry:
            // A registry result like Y's, so a failure to load is worded the same way.
            return findVendorRegisteredJvm(search.sources.registry, search.sources.installation,
                                           search.javaExe, search.lower, search.upper)
                       ? SearchResult::FoundInRegistry
                       : SearchResult::NotFound;
    }
    return SearchResult::NotFound;
}

SearchResult searchSequence(const Search& search, const std::vector<SearchEntry>& entries,
                            WideString& foundText) {
    for (const SearchEntry& entry : entries) {
        WideString text = entry.text;
        logMessage("Searching for a JVM6 %S %d", text, static_cast<int>(text.size()));
        search.sources.expand(text);
        logMessage("Testing location %S (type %s)", text, toNarrow(WideString(1, entry.letter)));
        const SearchLetter* letter = findSearchLetter(entry.letter);
        if (!letter) continue;
        SearchResult result = searchSource(search, letter->source, text);
        if (result != SearchResult::NotFound) {
            foundText = text;
            return result;
        }
    }
    return SearchResult::NotFound;
}

// `kind` names the file in the log: "preferred" or "installer".
bool searchLocationFile(const Search& search, const char16_t* suffix, const char* kind,
                        WideString& foundText) {
    const SearchSources& sources = search.sources;
    WideString installation;
    sources.installation.fullPath(installation, getSettingWideString(kKeyInstallationDirectory),
                                  true);
    std::optional<std::string> content =
        sources.readFileStart(installation + suffix, kLocationLineCapacity);
    if (!content || content->empty()) return false;
    WideString location = locationFileLine(*content);
    logMessage("Has %s location %S", kind, location);
    if (!checkLocation(search, location, false)) return false;
    logMessage("Using %s location", kind);
    foundText = location;
    return true;
}

// A runtime beside the application is still better than none, whatever its version.
bool searchFallback(const Search& search, const std::vector<SearchEntry>& entries,
                    WideString& foundText) {
    for (const SearchEntry& entry : entries) {
        const SearchLetter* letter = findSearchLetter(entry.letter);
        if (!letter) continue;
        bool bundled = letter->source == SearchSource::BundledLocation;
        if (!bundled &&
            (letter->source != SearchSource::Location || isAbsoluteForFallback(entry.text))) {
            continue;
        }
        logMessage("Testing relative location %S", entry.text);
        checkLocation(search, entry.text, true);
        if (search.sources.installation.exists(search.javaExe)) {
            logMessage("%S exists", search.javaExe);
            foundText = entry.text;
            return true;
        }
    }
    return false;
}

bool searchPreviousInstallations(const Search& search) {
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        if (findPreviousInstallation(search.sources.registry, search.sources.installation, hive,
                                     search.javaExe, search.lower, search.upper)) {
            logMessage("found JRE from previous installation (%s) %S",
                       hive == Hive::CurrentUser ? "user" : "machine", search.javaExe);
            return true;
        }
    }
    return false;
}

}  // namespace

WideString locationFileLine(std::string_view content) {
    content = content.substr(0, content.find('\n'));
    while (!content.empty() && (content.back() == '\r' || content.back() == '\n')) {
        content.remove_suffix(1);
    }
    return toWide(content);
}

SearchResult findJvm(const SearchSources& sources, WideString& javaExe, WideString& foundText) {
    logMessage("Searching for a JVM");
    std::vector<SearchEntry> entries =
        parseSearchSequence(getSettingWideString(kKeySearchSequence));
    Search search{sources, getSettingWideString(kKeyMinimumVersion),
                  getSettingWideString(kKeyMaximumVersion), javaExe};

    if (searchLocationFile(search, kPreferredLocationFile, "preferred", foundText)) {
        return SearchResult::FoundAtLocation;
    }
    SearchResult result = searchSequence(search, entries, foundText);
    if (result != SearchResult::NotFound) return result;
    if (searchLocationFile(search, kInstallerLocationFile, "installer", foundText) ||
        searchFallback(search, entries, foundText)) {
        return SearchResult::FoundAtLocation;
    }
    if (searchPreviousInstallations(search)) return SearchResult::FoundInRegistry;
    logMessage("Search sequence finished");

    for (const char16_t* name : {u"TESMO_JAVA_HOME", u"KORVANE_JAVA_HOME"}) {
        if (checkVariable(search, name)) {
            foundText = name;
            return SearchResult::FoundByVariable;
        }
    }
    return SearchResult::NotFound;
}

}  // namespace tesmo

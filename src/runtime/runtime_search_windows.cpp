#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/installation_check.h"
#include "runtime/registry_catalogue.h"
#include "runtime/runtime_search.h"

namespace tesmo {

namespace {

constexpr char16_t kPreferredLocationFile[] = u"\\.korvane\\pref_jre.cfg";
constexpr char16_t kInstallerLocationFile[] = u"\\.korvane\\inst_jre.cfg";
constexpr std::size_t kLocationLineCapacity = kPathCapacity - 1;

bool checkLocation(WideString& javaExe, const WideString& locationText, const WideString& lower,
                   const WideString& upper, bool skipCheck) {
    WideString home;
    fullPath(home, locationText, false);
    preparePackedRuntime(home);
    bool formed = javaExeForHome(home, javaExe);
    if (skipCheck) return true;
    WideString version;
    return formed && checkJavaExe(javaExe, version, lower, upper, true);
}

bool checkEnvironmentVariable(WideString& javaExe, const WideString& name, const WideString& lower,
                              const WideString& upper) {
    WideString value;
    if (!readEnvironment(asWindows(name), value) || value.empty()) return false;
    // Cut to a path buffer the value could name another directory, its own parent say.
    if (value.size() > kPathCapacity - 1) {
        logMessage("%S is longer than %d characters: not searched", name,
                   static_cast<int>(kPathCapacity - 1));
        return false;
    }
    for (char16_t& c : value) {
        if (c == u'/') c = u'\\';
    }
    WideString version;
    return javaExeForHome(value, javaExe) && checkJavaExe(javaExe, version, lower, upper, false);
}

bool searchPathForJava(WideString& javaExe, const WideString& lower, const WideString& upper) {
    WideString found = fillWideBuffer([](wchar_t* buffer, DWORD size) {
        return SearchPathW(nullptr, L"java.exe", nullptr, size, buffer, nullptr);
    });
    if (found.empty()) return false;
    javaExe = found;
    WideString version;
    return checkJavaExe(javaExe, version, lower, upper, false);
}

// The first line of a location file below the installation directory.
bool readLocationFile(WideString& location, const char16_t* suffix) {
    WideString installation;
    fullPath(installation, getSettingWideString(kKeyInstallationDirectory), true);
    WideString path = installation + suffix;
    HANDLE file = CreateFileW(asWindows(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string content(kLocationLineCapacity, '\0');
    DWORD got = 0;
    BOOL read = ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    if (!read || got == 0) return false;
    content.resize(got);
    content = content.substr(0, content.find('\n'));
    while (!content.empty() && (content.back() == '\r' || content.back() == '\n')) {
        content.pop_back();
    }
    location = toWide(content);
    return true;
}

}  // namespace

SearchResult findJvm(WideString& javaExe, WideString& foundText) {
    logMessage("Searching for a JVM");
    WideString sequence = getSettingWideString(kKeySearchSequence);
    WideString lower = getSettingWideString(kKeyMinimumVersion);
    WideString upper = getSettingWideString(kKeyMaximumVersion);

    WideString location;
    if (readLocationFile(location, kPreferredLocationFile)) {
        logMessage("Has preferred location %S", location);
        if (checkLocation(javaExe, location, lower, upper, false)) {
            logMessage("Using preferred location");
            foundText = location;
            return SearchResult::FoundAtLocation;
        }
    }

    std::vector<SearchEntry> entries = parseSearchSequence(sequence);
    for (const SearchEntry& entry : entries) {
        WideString text = entry.text;
        logMessage("Searching for a JVM6 %S %d", text, static_cast<int>(text.size()));
        expandVariables(text);
        logMessage("Testing location %S (type %s)", text, toNarrow(WideString(1, entry.letter)));
        switch (entry.letter) {
            case u'A':
            case u'B':
            case u'R':
                if (checkLocation(javaExe, text, lower, upper, false)) {
                    foundText = text;
                    return SearchResult::FoundAtLocation;
                }
                break;
            case u'E':
                if (checkEnvironmentVariable(javaExe, text, lower, upper)) {
                    foundText = text;
                    return SearchResult::FoundByVariable;
                }
                break;
            case u'S':
                if (searchPathForJava(javaExe, lower, upper)) {
                    foundText = text;
                    return SearchResult::FoundOnPath;
                }
                break;
            case u'Y':
                if (findRegisteredJvm(javaExe, lower, upper)) return SearchResult::FoundInRegistry;
                break;
            default:
                break;
        }
    }

    if (readLocationFile(location, kInstallerLocationFile)) {
        logMessage("Has installer location %S", location);
        if (checkLocation(javaExe, location, lower, upper, false)) {
            logMessage("Using installer location");
            foundText = location;
            return SearchResult::FoundAtLocation;
        }
    }

    // A runtime beside the application is still better than none, whatever its version.
    for (const SearchEntry& entry : entries) {
        bool location = entry.letter == u'A' || entry.letter == u'B' || entry.letter == u'R';
        if (!location || (entry.letter != u'B' && isAbsoluteForFallback(entry.text))) continue;
        logMessage("Testing relative location %S", entry.text);
        checkLocation(javaExe, entry.text, lower, upper, true);
        if (pathExists(javaExe)) {
            logMessage("%S exists", javaExe);
            foundText = entry.text;
            return SearchResult::FoundAtLocation;
        }
    }

    if (findPreviousInstallation(false, javaExe, lower, upper)) {
        logMessage("found JRE from previous installation (user) %S", javaExe);
        return SearchResult::FoundInRegistry;
    }
    if (findPreviousInstallation(true, javaExe, lower, upper)) {
        logMessage("found JRE from previous installation (machine) %S", javaExe);
        return SearchResult::FoundInRegistry;
    }
    logMessage("Search sequence finished");

    for (const char16_t* name : {u"TESMO_JAVA_HOME", u"KORVANE_JAVA_HOME"}) {
        if (checkEnvironmentVariable(javaExe, name, lower, upper)) {
            foundText = name;
            return SearchResult::FoundByVariable;
        }
    }
    return SearchResult::NotFound;
}

}  // namespace tesmo

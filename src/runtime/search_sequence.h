// The runtime search sequence: lettered entries that each name one way to find a runtime.
#pragma once

#include <vector>

#include "platform/text.h"

namespace tesmo {

// Which kind of source yielded the runtime; it decides how a failure to load is worded.
enum class SearchResult {
    NotFound = 0,
    FoundOnPath = 1,
    FoundAtLocation = 2,
    FoundByVariable = 3,
    FoundInRegistry = 4
};

struct SearchEntry {
    char16_t letter;
    WideString text;
};

// What each letter of the sequence asks for. The builder names the letters by `name`;
// letters not in the table are skipped by the launcher.
enum class SearchSource {
    Location,         // a directory, relative to the executable or absolute
    BundledLocation,  // the same, never retried as absolute in the fallback pass
    Variable,         // an environment variable naming a runtime home
    SystemPath,       // the java.exe found on PATH
    Registry,         // the registry catalogue
    VendorRegistry,   // the keys the vendors' installers write instead of JavaSoft's
};

struct SearchLetter {
    char16_t letter;
    const char* name;
    SearchSource source;
    bool hasText;
};

extern const SearchLetter kSearchLetters[];
extern const std::size_t kSearchLetterCount;
// Nothing for a letter the launcher does not know.
const SearchLetter* findSearchLetter(char16_t letter);

// Entries separated by ";" (runs of separators count as one), each a case-sensitive
// letter followed by its text.
std::vector<SearchEntry> parseSearchSequence(WideView sequence);

// The fallback pass treats a text as absolute when its second character is ":" or it
// starts with two backslashes.
bool isAbsoluteForFallback(WideView text);

// The directory of a Java executable with its trailing backslash: the name is "javaw.exe"
// when the path ends so, otherwise taken to be the eight characters of "java.exe".
WideString javaExeDirectory(WideView javaExe);

// VM directories below a runtime's bin directory, in the order they are tried: the
// preferred type first when configured, OpenJ9's folders last.
std::vector<WideString> vmDirectoryOrder(WideView preferred);

// The message ids that word a failure to load, for the launcher's word size.
struct LoadFailureMessage {
    int messageId;  // 0: none before message 1005
    bool wideArgument;
};
LoadFailureMessage loadFailureMessage(SearchResult result, bool sixtyFourBit);

}  // namespace tesmo

// What the configuration file's settings are and how their values become the text of a
// record and back: shared by the parser and the printer, so that printing a record and
// parsing the result always give the record again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/keys.h"
#include "platform/text.h"
#include "tools/record_text.h"

namespace tesmo::tools {

struct SettingShape {
    std::int32_t key;
    SettingKind kind;
    long long minimum;
    long long maximum;
    const char* path;  // "table.name", from the key table
};

// The settings of the key table: first those with their own setting, then the messages.
const std::vector<SettingShape>& settingSpecs();
const SettingShape* settingByPath(std::string_view path);
const SettingShape* settingByKey(std::int32_t key);

// ---- values and their record text; each error is a sentence about the value

std::optional<std::string> flavourLetter(std::string_view name);
std::optional<std::string> flavourName(std::string_view letter);
std::optional<std::string> executableTypeValue(std::string_view name);
std::optional<std::string> executableTypeName(std::string_view value);
extern const char* const kExecutableTypeNames;  // for messages
std::string versionFault(std::string_view version);
std::string colourTextFault(std::string_view text);

// Arguments quoted so that the launcher's command-line splitting gives them back.
std::optional<WideString> joinArguments(const std::vector<WideString>& arguments,
                                        std::string& error);
// The arguments when joining them gives exactly `text` again.
std::optional<std::vector<WideString>> canonicalArguments(WideView text);

std::optional<std::vector<WideString>> canonicalPathList(WideView text);

// A search entry as written in the configuration ("bundled:.\\jre") and as stored ("B.\\jre").
std::optional<WideString> searchEntryText(WideView entry, std::string& error);
std::optional<std::vector<WideString>> canonicalSearchEntries(WideView stored);
std::string storedSearchFault(WideView stored);

struct ClassPathEntry {
    char16_t type;  // A, D, E or S
    bool required;
    WideString value;
};
const char* classPathTypeName(char16_t type);   // "archive", ...; nullptr for others
char16_t classPathType(std::string_view name);  // 0 for unknown names
WideString classPathText(const std::vector<ClassPathEntry>& entries);
std::optional<std::vector<ClassPathEntry>> canonicalClassPath(WideView stored);
std::string storedClassPathFault(WideView stored);

// The locale prefixes the launcher's locale strings can start with.
bool matchesSomeLocale(std::string_view prefix);

}  // namespace tesmo::tools

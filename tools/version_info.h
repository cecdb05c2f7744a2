// Version information as Windows shows it in a file's properties: the configuration's
// [version-info] table and the RT_VERSION resource it becomes. The resource carries one
// language-neutral Unicode string table, and its fixed numbers come from the version texts,
// so the two always agree.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tesmo::tools {

constexpr std::uint16_t kResourceTypeVersion = 16;

struct VersionString {
    const char* setting;   // "company", in [version-info]
    const char16_t* name;  // "CompanyName", in the string table
    bool number;           // a version: up to four numbers from 0 to 65535
};

// In the order the string table holds them.
const std::vector<VersionString>& versionStrings();
const VersionString* versionStringBySetting(std::string_view setting);

struct VersionInfo {
    std::map<std::string, WideString> texts;  // by setting; only those given

    friend bool operator==(const VersionInfo&, const VersionInfo&) = default;
};

// Why a value cannot go into the string table, or an empty text.
std::string versionTextFault(const VersionString& string, WideView text);

// The VS_VERSIONINFO resource; empty, with `error` set, when the texts together are too long
// for its 16-bit lengths.
std::string versionResource(const VersionInfo& info, std::string& error);

// The information of a resource that versionResource wrote; nothing for any other, such as
// the stub's own (US English, laid out by the resource compiler).
std::optional<VersionInfo> readVersionResource(std::string_view resource);

}  // namespace tesmo::tools

// Building launchers: the configuration block behind the stub's image, the included files
// behind the block, and the text form in which build scripts and tests describe both.
// Standard C++ only, so that the same library serves the native tests and the Windows tool.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tesmo::tools {

struct NarrowRecord {
    std::int32_t key;
    std::string value;  // bytes as the launcher reads them (Latin-1 for text)

    friend bool operator==(const NarrowRecord&, const NarrowRecord&) = default;
};

struct WideRecord {
    std::int32_t key;
    WideString value;

    friend bool operator==(const WideRecord&, const WideRecord&) = default;
};

// Wide records that replace the top-level ones when the prefix starts the user's locale.
struct LocalizedSet {
    std::string prefix;
    std::vector<WideRecord> records;

    friend bool operator==(const LocalizedSet&, const LocalizedSet&) = default;
};

// A file carried behind the block. A name in narrow text converts with widenBytes.
struct IncludedFile {
    WideString name;  // as listed in key 2003: "file" or "dir\\file"
    std::string content;

    friend bool operator==(const IncludedFile&, const IncludedFile&) = default;
};

// Records keep their order; of two records with one key the reader keeps the later one.
struct BlockDescription {
    std::vector<NarrowRecord> narrow = {};
    std::vector<WideRecord> wide = {};
    std::vector<LocalizedSet> localized = {};
    std::vector<IncludedFile> included = {};
};

// Everything a launcher would read wrongly or not at all, one message per fault.
std::vector<std::string> validateDescription(const BlockDescription& description);

// The stub must end where the launcher looks for its block: at the end of the raw data
// of the last section.
std::vector<std::string> validateStub(std::string_view stub);

// Why an included file's name would be refused: it leaves the temporary directory, goes
// deeper than one directory level, or cannot be a Windows file name. Empty when it is fine.
std::string includedFileNameFault(WideView name);

// Adds the count (key 2002) and the names (key 2003) of the included files when the
// description has files but not these keys.
BlockDescription withIncludedFileKeys(BlockDescription description);

// The block exactly as described; nothing is checked or added.
std::string encodeBlock(const BlockDescription& description);
std::string encodeIncludedFiles(const std::vector<IncludedFile>& files);

struct LauncherBuild {
    std::string bytes;  // empty whenever errors are reported
    std::vector<std::string> errors;
};

// Stub, block and included files, with keys 2002 and 2003 completed; refuses a stub or a
// description that fails validation instead of writing it.
LauncherBuild buildLauncher(std::string_view stub, const BlockDescription& description);

// A launcher taken apart again: the block as written, record for record, and the included
// files the launcher would extract (as many as both key 2002 and key 2003 name).
struct DecodedLauncher {
    std::string error;  // empty when the launcher could be decoded
    std::size_t blockStart = 0;
    std::int32_t headerValue1 = 0;
    std::int32_t headerValue2 = 0;
    std::int64_t headerValue3 = 0;
    BlockDescription description;
    std::size_t blockEnd = 0;
    std::size_t filesEnd = 0;  // where data not read by the launcher begins
};
DecodedLauncher decodeLauncher(std::string_view bytes);

// An `include NAME=HOSTPATH` line; reading the host file is the caller's business.
struct IncludeLine {
    WideString name;
    std::string hostPath;  // UTF-8 as written, relative to the raw file's directory
    int line;

    friend bool operator==(const IncludeLine&, const IncludeLine&) = default;
};

struct RawConfig {
    BlockDescription description;  // without included files
    std::vector<IncludeLine> includes;
    std::vector<std::string> errors;  // "FILE:LINE: message"
};

// The raw text form (UTF-8):
//   # comment                 blank lines and comment lines are ignored
//   KEY=VALUE                 narrow record; characters up to U+00FF, stored as Latin-1
//   wide.KEY=VALUE            wide record
//   [locale PREFIX]           later KEY=VALUE and wide.KEY=VALUE lines are wide records of
//                             this localized set, up to the next [locale ...] line
//   include NAME=HOSTPATH     included file; NAME and HOSTPATH are taken literally
// Values keep every blank and understand \n \r \t \\ \xHH \uHHHH. A key set twice in one
// section is an error.
RawConfig parseRawConfig(std::string_view text, std::string_view fileName);

// One KEY=VALUE or wide.KEY=VALUE, as in the raw form, replacing any top-level record of
// the same kind and key. Errors begin with `location`.
std::vector<std::string> applyAssignment(BlockDescription& description, std::string_view text,
                                         std::string_view location);

}  // namespace tesmo::tools

// Building launchers: the configuration block behind the stub's image and the included files
// behind the block, checked against what the launcher reads.
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

// The last record of `key`, the one the launcher's reader keeps; nullptr when none.
const NarrowRecord* lastNarrow(const BlockDescription& description, std::int32_t key);

// Stub, block and included files, with keys 2002 and 2003 completed; refuses a stub or a
// description that fails validation instead of writing it.
LauncherBuild buildLauncher(std::string_view stub, const BlockDescription& description);

}  // namespace tesmo::tools

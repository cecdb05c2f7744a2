// The raw text form of a block: KEY=VALUE lines, localized sets and included files, in
// which build scripts and tests describe a launcher record for record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/block_writer.h"

namespace tesmo::tools {

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

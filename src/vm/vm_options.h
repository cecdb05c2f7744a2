// Collecting VM options: the configured options string, -J arguments, the locale options
// and VM options files with their includes, all through one handler that also takes out
// the class-path directives.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/command_line.h"
#include "platform/text.h"

namespace tesmo {

// Includes nested deeper than this are refused: a file that includes itself would
// otherwise never end.
constexpr int kMaxIncludeDepth = 16;
// Includes beyond this many in one collection are refused too: within the depth limit a
// file that includes itself twice would be read some 130,000 times, three times some
// 64 million times.
constexpr int kMaxIncludedFiles = 256;

// Options files are small; anything beyond this is not an options file.
constexpr std::size_t kVmOptionsFileLimit = 16 * 1024 * 1024;

// The last of each kind counts.
struct ClassPathDirectives {
    std::optional<WideString> replacement;  // "-classpath "
    std::optional<WideString> prepended;    // "-classpath/p "
    std::optional<WideString> appended;     // "-classpath/a "
};

// What the handler needs from the world outside.
struct VmOptionSources {
    void (*expand)(WideString& text);
    // Resolves against the directory of `baseFile`, or the executable's when null.
    bool (*resolve)(WideString& out, const WideString& path, const WideString* baseFile);
    // The bytes of a file opened for reading, or nothing when it cannot be opened.
    std::optional<std::string> (*readFile)(const WideString& path);
};

struct VmOptionContext {
    std::vector<WideString>& options;
    ClassPathDirectives& directives;
    const VmOptionSources& sources;
    const WideString* filePath = nullptr;  // the file the option came from, if any
    int depth = 0;                         // how many includes deep
    int included = 0;                      // includes attempted so far, nested ones too
};

// The option handler: includes, class-path directives, or an option for the VM.
void addVmOption(VmOptionContext& context, const WideString& option);

// The option lines of a VM options file: lines of at most 5999 bytes (longer ones arrive
// in pieces), line breaks and surrounding spaces removed, empty and "#" lines skipped.
std::vector<std::string> optionLines(std::string_view contents);

// Every option line of a file's contents, widened byte by byte and expanded, through the
// handler with `context.filePath` naming the file.
void readVmOptionsText(VmOptionContext& context, std::string_view contents);

// The VM options string (already expanded), split like a command line; "-include-options"
// takes the next token as its file.
void addConfiguredOptions(VmOptionContext& context, const WideString& value);

// Arguments beginning with "-J", without those two characters.
void addDashJOptions(VmOptionContext& context, const ArgumentList& arguments);

// The last "-Dsun.locale.formatasdefault=" argument, and unless it is "=true" the user's
// language and country.
void addLocaleOptions(VmOptionContext& context, const ArgumentList& arguments,
                      const std::string& language, const std::string& country);

// Contents read past `limit` end with the last whole line before it: a line cut at the
// limit would reach the VM as an option the file does not hold. `path` names the file in
// the log.
void keepWholeLinesWithin(std::string& contents, std::size_t limit, const WideString& path);

// The options file beside an executable: "<exe without .exe>.vmoptions", then
// "<exe>.vmoptions"; nothing for a name too short to end in ".exe".
std::vector<WideString> vmOptionsFileNames(const WideString& executable);

// The contents of the first options file that can be read, beside each executable name in
// turn (the long path, then the path as the system reports it).
std::optional<std::string> readDefaultVmOptionsFile(const std::vector<WideString>& executables,
                                                    const VmOptionSources& sources);

}  // namespace tesmo

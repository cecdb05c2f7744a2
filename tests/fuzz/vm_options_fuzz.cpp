// VM options files: line splitting, includes and their depth limit, the class-path
// directives, and the configured options string with -J and locale arguments.
//
// Input: the options file beside the launcher, then any number of further files, each
// begun by a line "=== NAME" (NAME resolved against the including file as the launcher
// resolves it). The first line of the input is also the configured options string and
// the command line.
#include <algorithm>
#include <map>

#include "expansion/variable_expansion.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "vm/vm_options.h"

namespace tesmo {
namespace {

const WideString kMainFile = u"C:\\App\\app.vmoptions";
constexpr std::string_view kMarker = "=== ";
constexpr std::string_view kIncludeText = "-include-options";
constexpr WideView kHandled[] = {u"-include-options ", u"-classpath ", u"-classpath/p ",
                                 u"-classpath/a "};

std::map<WideString, std::string> files;
std::size_t reads = 0;

std::vector<WideString> environment() {
    return {u"CFG=C:\\cfg\\", u"=C:=C:\\"};
}

void expand(WideString& text) {
    ExpansionValues values{u"C:\\App\\", u"C:\\Temp\\tsm1.tmp_dir5\\", u"C:\\jre\\", nullptr,
                           environment};
    expandVariables(text, kPathCapacity, values);
}

bool resolve(WideString& out, const WideString& path, const WideString* baseFile) {
    return joinRelative(out, baseFile ? directoryOf(*baseFile) : u"C:\\App\\", path);
}

std::optional<std::string> readFile(const WideString& path) {
    ++reads;
    auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
}

const VmOptionSources kSources = {expand, resolve, readFile};

void checkLines(std::string_view contents) {
    std::size_t total = 0;
    for (const std::string& line : optionLines(contents)) {
        total += line.size();
        FUZZ_REQUIRE(!line.empty() && line.size() <= kPathCapacity - 1);
        FUZZ_REQUIRE(line.find('\n') == std::string::npos);
        FUZZ_REQUIRE(line.front() != ' ' && line.front() != '#' && line.back() != ' ');
        FUZZ_REQUIRE(contents.find(line) != std::string_view::npos);
    }
    FUZZ_REQUIRE(total <= contents.size());
}

std::size_t includesIn(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = text.find(kIncludeText); at != std::string_view::npos;
         at = text.find(kIncludeText, at + 1)) {
        ++count;
    }
    return count;
}

// How many reads `first` includes at the top can lead to when each file holds at most
// `each` includes and nesting stops at the depth limit; SIZE_MAX when that does not fit.
std::size_t readLimit(std::size_t first, std::size_t each) {
    std::size_t level = first;
    std::size_t total = 0;
    for (int depth = 0; depth < kMaxIncludeDepth; ++depth) {
        total += level;
        if (each && level > SIZE_MAX / each / 2) return SIZE_MAX;
        level *= each;
    }
    return total;
}

void checkOptions(const std::vector<WideString>& options) {
    for (const WideString& option : options) {
        for (WideView handled : kHandled) FUZZ_REQUIRE(!startsWith(option, handled));
    }
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view input = fuzz::bytesOf(data, size);
    files.clear();
    WideString name = kMainFile;
    std::string contents;
    std::size_t mostIncludes = 0;
    for (std::string_view line : fuzz::pieces(input, '\n')) {
        if (startsWith(line, kMarker)) {
            mostIncludes = std::max(mostIncludes, includesIn(contents));
            files[name] = std::move(contents);
            contents.clear();
            name = fuzz::wideText(line.substr(kMarker.size()));
            continue;
        }
        contents.append(line).append("\n");
    }
    mostIncludes = std::max(mostIncludes, includesIn(contents));
    files[name] = std::move(contents);
    for (const auto& [path, text] : files) checkLines(text);

    // The file beside the launcher: every option is its bytes taken one by one as code
    // units, and the expansion values are ASCII, so nothing lies beyond the code page.
    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources, &kMainFile};
    reads = 0;
    readVmOptionsText(context, files[kMainFile]);
    FUZZ_REQUIRE(reads <=
                 std::min<std::size_t>(readLimit(includesIn(files[kMainFile]), mostIncludes),
                                       kMaxIncludedFiles));
    checkOptions(options);
    for (const WideString& option : options) {
        bool defaultUsed = true;
        FUZZ_REQUIRE(widenBytes(toNarrow(option, &defaultUsed)) == option && !defaultUsed);
    }

    std::string_view first = input.substr(0, input.find('\n'));
    WideString configured = fuzz::wideText(first);
    std::vector<WideString> more;
    ClassPathDirectives moreDirectives;
    VmOptionContext configuredContext{more, moreDirectives, kSources};
    expand(configured);
    // Quotes are taken out of the tokens, so an include may be spelled across them.
    ArgumentList tokens;
    splitCommandLine(configured, tokens);
    std::size_t includes = 0;
    for (const WideString& token : tokens) {
        includes += token.find(fuzz::wideText(kIncludeText)) != WideString::npos;
    }
    reads = 0;
    addConfiguredOptions(configuredContext, configured);
    FUZZ_REQUIRE(reads <=
                 std::min<std::size_t>(readLimit(includes, mostIncludes), kMaxIncludedFiles));
    ArgumentList arguments;
    splitCommandLine(fuzz::wideText(first), arguments);
    addDashJOptions(configuredContext, arguments);
    addLocaleOptions(configuredContext, arguments, "de", "CH");
    checkOptions(more);
    return 0;
}

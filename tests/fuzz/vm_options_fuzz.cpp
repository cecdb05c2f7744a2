// VM options files: line splitting, includes and their limits, the class-path directives,
// and the configured options string with -J and locale arguments.
//
// Input: the options file beside the launcher, then any number of further files, each
// begun by a line "=== NAME" (NAME resolved against the including file as the launcher
// resolves it). The first line of the input is also the configured options string and
// the command line.
#include <map>

#include "expansion/variable_expansion.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "vm/vm_options.h"

namespace tesmo {
namespace {

const WideString kMainFile = u"C:\\App\\app.vmoptions";

std::map<WideString, std::string> files;
std::size_t reads = 0;

void expand(WideString& text) {
    ExpansionValues values{u"C:\\App\\", u"C:\\Temp\\tsm1.tmp_dir5\\", u"C:\\jre\\", nullptr, [] {
                               return std::vector<WideString>{u"CFG=C:\\cfg\\", u"=C:=C:\\"};
                           }};
    expandVariables(text, kPathCapacity, values);
}

bool resolve(WideString& out, const WideString& path, const WideString* baseFile) {
    return joinRelative(out, baseFile ? directoryOf(*baseFile) : u"C:\\App\\", path);
}

std::optional<std::string> readFile(const WideString& path) {
    ++reads;
    auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional(found->second);
}

const VmOptionSources kSources = {expand, resolve, readFile};

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view input = fuzz::bytesOf(data, size);
    files.clear();
    WideString name = kMainFile;
    for (std::string_view line : fuzz::pieces(input, '\n')) {
        if (startsWith(line, "=== ")) {
            name = fuzz::wideText(line.substr(4));
            files[name].clear();
        } else {
            files[name].append(line).append("\n");
        }
    }
    for (const auto& [path, contents] : files) {
        for (const std::string& line : optionLines(contents)) {
            FUZZ_REQUIRE(!line.empty() && line.size() <= kPathCapacity - 1 &&
                         contents.find(line) != std::string::npos);
        }
    }

    // The file beside the launcher, then the configured string and the command line.
    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources, &kMainFile};
    reads = 0;
    readVmOptionsText(context, files[kMainFile]);
    FUZZ_REQUIRE(reads <= kMaxIncludedFiles);

    std::string_view first = input.substr(0, input.find('\n'));
    VmOptionContext configured{options, directives, kSources};
    WideString configuredText = fuzz::wideText(first);
    expand(configuredText);
    reads = 0;
    addConfiguredOptions(configured, configuredText);
    FUZZ_REQUIRE(reads <= kMaxIncludedFiles);
    ArgumentList arguments;
    splitCommandLine(fuzz::wideText(first), arguments);
    addDashJOptions(configured, arguments);
    addLocaleOptions(configured, arguments, "de", "CH");
    // The directives are taken out, never passed on as options.
    for (const WideString& option : options) {
        for (WideView handled :
             {u"-include-options ", u"-classpath ", u"-classpath/p ", u"-classpath/a "}) {
            FUZZ_REQUIRE(!startsWith(option, handled));
        }
    }
    return 0;
}

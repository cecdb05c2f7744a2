// VM options: the file beside the launcher, then files each begun by a line "=== NAME"; the
// first line is also the configured options string and the command line with -J and locale.
#include <map>

#include "expansion/variable_expansion.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "vm/vm_options.h"

namespace tesmo {
namespace {

const WideString kMainFile = u"C:\\App\\app.vmoptions";
const ExpansionValues kValues{.executableDirectory = u"C:\\App\\", .javaHome = u"C:\\jre\\"};

const WideView kDirectives[] = {u"-include-options ", u"-classpath ", u"-classpath/p ",
                                u"-classpath/a "};

std::map<WideString, std::string> files;
std::size_t reads = 0;

const VmOptionSources kSources = {
    [](WideString& text) { expandVariables(text, kPathCapacity, kValues); },
    [](WideString& out, const WideString& path, const WideString* baseFile) {
        return joinRelative(out, baseFile ? directoryOf(*baseFile) : u"C:\\App\\", path);
    },
    [](const WideString& path) {
        ++reads;
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }};

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view input = fuzz::bytesOf(data, size);
    files = {{kMainFile, ""}};
    WideString name = kMainFile;
    for (std::string_view line : fuzz::pieces(input, '\n')) {
        if (startsWith(line, "=== ")) name = fromUtf8(line.substr(4));
        if (!startsWith(line, "=== ")) files[name].append(line).append("\n");
    }

    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources, &kMainFile};
    reads = 0;
    readVmOptionsText(context, files[kMainFile]);
    WideString first = fromUtf8(input.substr(0, input.find('\n')));
    ArgumentList arguments;
    splitCommandLine(first, arguments);
    VmOptionContext configured{options, directives, kSources};
    expandVariables(first, kPathCapacity, kValues);
    addConfiguredOptions(configured, first);
    FUZZ_REQUIRE(reads <= 2 * kMaxIncludedFiles);  // each of the two up to the limit
    addDashJOptions(configured, arguments);
    addLocaleOptions(configured, arguments, "de", "CH");
    // The directives are taken out, never passed on as options.
    for (const WideString& option : options) {
        for (WideView directive : kDirectives) FUZZ_REQUIRE(!startsWith(option, directive));
    }
    return 0;
}

// Assembling the "-Djava.class.path=" option from the directives, the archives of the
// temporary directory, the runtime archive and the configured entries.
//
// Input, one item a line (UTF-8):
//   configured TEXT       key 121 as stored: entries such as "A1lib\app.jar;E0NAME;S0lib"
//   prepend|replace|append TEXT   the "-classpath/p", "-classpath" and "-classpath/a" directives
//   temp DIR              the launcher's temporary directory
//   install DIR           the installation directory; "korvane" adds the runtime archive
//   var NAME=VALUE        a variable; "file PATH" an existing file (its directories exist)
//   repeat N              each directory lists its archives N times, to reach the capacity
#include <algorithm>
#include <map>
#include <set>

#include "core/keys.h"
#include "core/settings.h"
#include "expansion/variable_expansion.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "vm/class_path.h"

namespace tesmo {
namespace {

std::set<WideString> existing;
std::map<WideString, std::vector<WideString>> listings;
std::map<WideString, WideString> variables;
std::size_t repeat = 1;

void expand(WideString& text) {
    expandVariables(text, kPathCapacity,
                    {u"C:\\App\\", u"C:\\Temp\\tsm1\\", u"", nullptr, nullptr});
}

bool exists(const WideString& path) {
    return existing.count(path) > 0;
}

bool resolvePath(WideString& out, const WideString& path) {
    return joinRelative(out, u"C:\\App\\", path);
}

// The directives are resolved as a whole, which is enough to reach the class path's code.
bool resolvePathList(WideString& out, const WideString& list) {
    return resolvePath(out, list);
}

std::vector<WideString> listFiles(const WideString& directory, const WideString& extension) {
    std::vector<WideString> names;
    for (const WideString& name : listings[directory]) {
        if (name.size() > extension.size() && name.ends_with(extension)) {
            names.insert(names.end(), repeat, name);
        }
    }
    return names;
}

std::optional<WideString> variable(const WideString& name) {
    auto found = variables.find(name);
    return found == variables.end() ? std::nullopt : std::optional(found->second);
}

ClassPathInput readInput(std::string_view text) {
    existing.clear();
    listings.clear();
    variables.clear();
    repeat = 1;
    ClassPathInput input;
    for (std::string_view line : fuzz::pieces(text, '\n')) {
        std::size_t space = std::min(line.find(' '), line.size());
        std::string_view word = line.substr(0, space);
        std::string_view rest = line.substr(std::min(space + 1, line.size()));
        WideString value = fuzz::wideText(rest);
        std::size_t equals = std::min(value.find(u'='), value.size());
        std::size_t slash = value.rfind(u'\\');
        if (word == "configured") input.configured = value;
        if (word == "prepend") input.directives.prepended = value;
        if (word == "replace") input.directives.replacement = value;
        if (word == "append") input.directives.appended = value;
        if (word == "temp") input.tempDirectory = value;
        if (word == "install") input.installationDirectory = value;
        if (word == "korvane") input.korvane = true;
        if (word == "var") {
            variables[value.substr(0, equals)] = value.substr(std::min(equals + 1, value.size()));
        }
        if (word == "repeat") repeat = std::clamp(parseDecimal(rest), 0, 1 << 14);
        if (word == "file") existing.insert(value);
        if (word == "file" && slash != WideString::npos && slash != 0) {
            existing.insert(value.substr(0, slash));
            listings[value.substr(0, slash)].push_back(value.substr(slash + 1));
        }
    }
    return input;
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    ClassPathInput input = readInput(fuzz::bytesOf(data, size));
    ClassPathResult result = buildClassPathOption(
        input, {expand, exists, resolvePath, resolvePathList, listFiles, variable});
    int failure = result.failure.messageId;
    FUZZ_REQUIRE(failure == 0 || failure == kMessageClassPathEntryMissing ||
                 failure == kMessageVariableUndefined);
    // A replacement stands for the configured entries, so none of them can fail.
    FUZZ_REQUIRE(failure == 0 || (!input.directives.replacement && result.option.empty()));
    FUZZ_REQUIRE(failure != 0 || (startsWith(result.option, u"-Djava.class.path=") &&
                                  result.option.size() <= kClassPathCapacity - 1));
    return 0;
}

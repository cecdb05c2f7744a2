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

constexpr WideView kPrefix = u"-Djava.class.path=";

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

bool resolvePathList(WideString& out, const WideString& list) {
    out.clear();
    for (const WideString& item : splitList(list, u';')) {
        WideString resolved;
        if (!resolvePath(resolved, item)) return false;
        out += (out.empty() ? u"" : u";") + resolved;
    }
    return true;
}

std::vector<WideString> listFiles(const WideString& directory, const WideString& extension) {
    std::vector<WideString> names;
    for (std::size_t i = 0; i < repeat; ++i) {
        for (const WideString& name : listings[directory]) {
            if (name.size() > extension.size() &&
                name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
                names.push_back(name);
            }
        }
    }
    return names;
}

std::optional<WideString> variable(const WideString& name) {
    auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
}

const ClassPathSources kSources = {expand,          exists,    resolvePath,
                                   resolvePathList, listFiles, variable};

void addFile(const WideString& path) {
    existing.insert(path);
    std::size_t slash = path.rfind(u'\\');
    if (slash == WideString::npos || slash == 0) return;
    WideString directory = path.substr(0, slash);
    existing.insert(directory);
    listings[directory].push_back(path.substr(slash + 1));
}

ClassPathInput readInput(std::string_view text) {
    existing.clear();
    listings.clear();
    variables.clear();
    repeat = 1;
    ClassPathInput input;
    for (std::string_view line : fuzz::pieces(text, '\n')) {
        std::size_t space = line.find(' ');
        std::string_view word = line.substr(0, space);
        WideString value =
            fuzz::wideText(space == std::string_view::npos ? "" : line.substr(space + 1));
        if (word == "configured") {
            input.configured = value;
        } else if (word == "prepend") {
            input.directives.prepended = value;
        } else if (word == "replace") {
            input.directives.replacement = value;
        } else if (word == "append") {
            input.directives.appended = value;
        } else if (word == "temp") {
            input.tempDirectory = value;
        } else if (word == "install") {
            input.installationDirectory = value;
        } else if (word == "korvane") {
            input.korvane = true;
        } else if (word == "var") {
            std::size_t equals = value.find(u'=');
            variables[value.substr(0, equals)] =
                equals == WideString::npos ? u"" : value.substr(equals + 1);
        } else if (word == "file") {
            addFile(value);
        } else if (word == "repeat" && space != std::string_view::npos) {
            repeat = static_cast<std::size_t>(
                std::clamp(parseDecimal(line.substr(space + 1)), 0, 1 << 14));
        }
    }
    return input;
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    ClassPathInput input = readInput(fuzz::bytesOf(data, size));
    ClassPathResult result = buildClassPathOption(input, kSources);
    const WideString& option = result.option;
    int failure = result.failure.messageId;

    FUZZ_REQUIRE(failure == 0 || failure == kMessageClassPathEntryMissing ||
                 failure == kMessageVariableUndefined);
    // A replacement stands for the configured entries, so none of them can fail.
    FUZZ_REQUIRE(failure == 0 || !input.directives.replacement);
    if (failure != 0) {
        FUZZ_REQUIRE(option.empty());
        return 0;
    }
    FUZZ_REQUIRE(startsWith(option, kPrefix) && option.size() <= kClassPathCapacity - 1);
    if (input.directives.prepended) {
        FUZZ_REQUIRE(startsWith(WideView(option).substr(kPrefix.size()),
                                *input.directives.prepended + u";"));
    }
    // Resolving adds at most seven characters to an entry of two, so no single part is
    // longer than eight times the input: with that much room to spare nothing was left out.
    bool roomy = option.size() + 8 * size + 64 < kClassPathCapacity;
    if (roomy && input.directives.appended) {
        WideString tail = u";" + *input.directives.appended;
        FUZZ_REQUIRE(option.size() >= tail.size() &&
                     option.compare(option.size() - tail.size(), tail.size(), tail) == 0);
    }
    if (roomy && input.korvane) {
        FUZZ_REQUIRE(option.find(u"\\.korvane\\kvnruntime.jar;") != WideString::npos);
    }
    return 0;
}

// The "-Djava.class.path=" option. Lines under their first word: configured, prepend, replace,
// append, temp, "var NAME=VALUE", "file PATH" (its directory exists), "repeat N" (listings N-fold).
#include <algorithm>
#include <map>
#include <set>

#include "core/settings.h"
#include "expansion/variable_expansion.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"
#include "vm/class_path.h"

namespace tesmo {
namespace {

std::map<std::string, WideString> items;  // the last line of each word; "var NAME" a variable
std::set<WideString> existing;

std::optional<WideString> last(const std::string& word) {
    return items.count(word) ? std::optional(items[word]) : std::nullopt;
}

bool resolveAsOnePath(WideString& out, const WideString& pathOrList) {
    return joinRelative(out, u"C:\\App\\", pathOrList);
}

std::vector<WideString> listFiles(const WideString& directory, const WideString& extension) {
    int repeat = std::clamp(parseDecimal(toUtf8(last("repeat").value_or(u"1"))), 0, 1 << 14);
    std::vector<WideString> names;
    for (const WideString& file : existing) {
        if (directoryOf(file) == directory + u"\\" && file.ends_with(extension)) {
            names.insert(names.end(), repeat, file.substr(directory.size() + 1));
        }
    }
    return names;
}

const ExpansionValues kValues{.executableDirectory = u"C:\\App\\"};

const ClassPathSources kSources = {
    [](WideString& text) { expandVariables(text, kPathCapacity, kValues); },
    [](const WideString& path) { return existing.count(path) + existing.count(path + u"\\") > 0; },
    resolveAsOnePath,
    resolveAsOnePath,
    listFiles,
    [](const WideString& name) { return last("var " + toUtf8(name)); }};

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    items.clear();
    existing.clear();
    for (std::string_view line : fuzz::pieces(fuzz::bytesOf(data, size), '\n')) {
        std::size_t end = std::min(line.find(startsWith(line, "var ") ? '=' : ' '), line.size());
        std::string_view rest = line.substr(std::min(end + 1, line.size()));
        const WideString& value = items[std::string(line.substr(0, end))] = fromUtf8(rest);
        if (startsWith(line, "file ")) existing.insert({value, directoryOf(value)});
    }
    ClassPathInput input{.directives = {last("replace"), last("prepend"), last("append")},
                         .tempDirectory = last("temp").value_or(u""),
                         .configured = last("configured").value_or(u"")};
    auto [option, failure] = buildClassPathOption(input, kSources);
    // A replacement stands for the configured entries, so none of them can fail.
    FUZZ_REQUIRE(failure.messageId == 0 || (!input.directives.replacement && option.empty()));
    FUZZ_REQUIRE(failure.messageId != 0 || (startsWith(option, u"-Djava.class.path=") &&
                                            option.size() <= kClassPathCapacity - 1));
    return 0;
}

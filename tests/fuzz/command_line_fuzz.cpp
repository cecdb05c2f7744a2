// Splitting the command line, then the switches the launcher looks for in its elements.
//
// Input: the command line as UTF-8.
#include "config/locale.h"
#include "core/command_line.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesmo {
namespace {

std::uint16_t german() {
    return 0x0407;
}

bool french(std::uint16_t* language) {
    *language = 0x040C;
    return true;
}

ArgumentList split(WideView text) {
    ArgumentList list;
    splitCommandLine(text, list);
    return list;
}

// Arguments without double quotes come back unchanged when each is written in double
// quotes, whatever spaces, single quotes or backslashes they hold.
void checkQuotedRoundTrip(const ArgumentList& arguments) {
    ArgumentList plain;
    WideString line;
    for (const WideString& argument : arguments) {
        if (argument.find(u'"') != WideString::npos) continue;
        plain.push_back(argument);
        line += (line.empty() ? u"\"" : u" \"") + argument + u"\"";
    }
    FUZZ_REQUIRE(split(line) == plain);
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    WideString text = fuzz::wideText(fuzz::bytesOf(data, size));

    // Splitting appends to what the list already holds.
    ArgumentList list = {u"launcher.exe"};
    splitCommandLine(text, list);
    FUZZ_REQUIRE(!list.empty() && list[0] == u"launcher.exe");
    ArgumentList arguments(list.begin() + 1, list.end());

    // Quotes and separators are taken out, never added.
    std::size_t total = 0;
    for (const WideString& argument : arguments) total += argument.size();
    FUZZ_REQUIRE(total <= text.size());
    if (text.find_first_of(u"\"'") == WideString::npos) {
        FUZZ_REQUIRE(arguments == splitList(text, u' '));
    }
    checkQuotedRoundTrip(arguments);

    ArgumentList taken = list;
    bool logSwitch = takeLogSwitch(taken);
    FUZZ_REQUIRE(taken.size() + (logSwitch ? 1 : 0) == list.size());
    for (bool accept : {false, true}) {
        ConsoleSwitches switches = scanConsoleSwitches(taken, accept);
        FUZZ_REQUIRE(switches.consoleRequests >= 0 &&
                     static_cast<std::size_t>(switches.consoleRequests) <= taken.size());
        FUZZ_REQUIRE(accept || !switches.quiet);
    }

    // Only a "-Dsun.locale.formatasdefault=" argument can turn to the interface language.
    std::string locale = chooseLocale(&list, {german, french});
    bool formatArgument = false;
    for (const WideString& argument : list) {
        formatArgument = formatArgument || startsWith(argument, u"-Dsun.locale.formatasdefault=");
    }
    FUZZ_REQUIRE(locale == "de_DE" || (formatArgument && locale == "fr_FR"));
    return 0;
}

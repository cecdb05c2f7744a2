// Splitting the command line, given as UTF-8, then the switches the launcher looks for in it.
#include "config/locale.h"
#include "core/command_line.h"
#include "platform/path_text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    WideString text = fuzz::wideText(fuzz::bytesOf(data, size));

    // Splitting appends to what the list already holds.
    ArgumentList list = {u"launcher.exe"};
    splitCommandLine(text, list);
    FUZZ_REQUIRE(!list.empty() && list[0] == u"launcher.exe");

    // Quotes and separators are taken out, never added; arguments without double quotes
    // come back unchanged when each is written in double quotes.
    std::size_t total = 0;
    ArgumentList plain = {u"launcher.exe"};
    WideString quoted;
    for (auto argument = list.begin() + 1; argument != list.end(); ++argument) {
        total += argument->size();
        if (argument->find(u'"') != WideString::npos) continue;
        plain.push_back(*argument);
        quoted += u" \"" + *argument + u"\"";
    }
    FUZZ_REQUIRE(total <= text.size());
    ArgumentList again = {u"launcher.exe"};
    splitCommandLine(quoted, again);
    FUZZ_REQUIRE(again == plain);

    ArgumentList taken = list;
    bool logSwitch = takeLogSwitch(taken);
    FUZZ_REQUIRE(taken.size() + (logSwitch ? 1 : 0) == list.size());
    ConsoleSwitches switches = scanConsoleSwitches(taken, false);
    FUZZ_REQUIRE(!switches.quiet && switches.consoleRequests >= 0 &&
                 static_cast<std::size_t>(switches.consoleRequests) <= taken.size());
    scanConsoleSwitches(taken, true);
    chooseLocale(&list,
                 {[] { return std::uint16_t{0x0407}; }, [](std::uint16_t*) { return false; }});
    return 0;
}

// Splitting the command line, given as UTF-8, then the locale arguments the launcher looks for.
#include "config/locale.h"
#include "core/command_line.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    WideString text = fromUtf8(fuzz::bytesOf(data, size));

    ArgumentList list = {u"launcher.exe"};
    splitCommandLine(text, list);

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

    chooseLocale(&list,
                 {[] { return std::uint16_t{0x0407}; }, [](std::uint16_t*) { return false; }});
    return 0;
}

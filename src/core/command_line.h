// Splitting a command line into arguments, and the switches the launcher takes from it.
#pragma once

#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tesmo {

using ArgumentList = std::vector<WideString>;

// Appends the arguments of `text` to `list`. Only the space separates; double and single
// quotes group; a backslash is an ordinary character. An unclosed quote runs to the end.
void splitCommandLine(WideView text, ArgumentList& list);

// Markers looked at on the raw narrow command line (without the program name).
bool isRebootRequest(const char* narrowCommandLine);
bool isLanguageRestart(const char* narrowCommandLine);
bool isInternalQuiet(const char* narrowCommandLine);

// Removes the log switch when it is element 1, and reports whether it was there.
bool takeLogSwitch(ArgumentList& list);

// What the console switches ask for, in the order the elements are examined.
struct ConsoleSwitches {
    bool quiet = false;
    int consoleRequests = 0;  // each "-console" and a "-c" ask for the console once
};
ConsoleSwitches scanConsoleSwitches(const ArgumentList& list, bool acceptQuietSwitches);

// "tesmo" for the flavour letter "t", "korvane" for anything else.
const char* productNameFor(char flavourLetter);

}  // namespace tesmo

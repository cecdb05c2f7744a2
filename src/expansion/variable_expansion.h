// Expansion of the launcher's variables and of "${NAME}" environment references inside
// configuration values.
#pragma once

#include <vector>

#include "platform/text.h"

namespace tesmo {

struct ExpansionValues {
    WideString executableDirectory;    // with its trailing backslash
    WideString launcherTempDirectory;  // empty while none exists
    WideString javaHome;               // empty before a runtime is chosen
    // Asked only when a value refers to it, since finding it touches the file system.
    WideString (*systemTempDirectory)();
    // Entries of the environment block ("NAME=value"), in block order; read only when a
    // value holds a "${" reference.
    std::vector<WideString> (*environment)();
};

// Replaces every occurrence of `pattern` by `value`, searching on behind each inserted
// value so that a value is never expanded again by the same pattern. A replacement that
// would not fit `capacity` (terminator included) is refused and the reference stays.
void replaceAll(WideString& text, WideView pattern, WideView value, std::size_t capacity);

// The fixed variables in their order, then each environment entry as "${NAME}" spelled as
// stored and in ASCII upper case. Unknown references stay as they are.
void expandVariables(WideString& text, std::size_t capacity, const ExpansionValues& values);

}  // namespace tesmo

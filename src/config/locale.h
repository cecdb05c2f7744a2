// Choice of the user's locale string ("de_DE", "en", "no_NO_NY") in the Java naming.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

namespace tesmo {

// The platform's answers; `userInterfaceLanguage` returns false when the system has no
// such function.
struct LocaleSource {
    std::uint16_t (*userDefaultLanguage)();
    bool (*userInterfaceLanguage)(std::uint16_t* language);
};

// The locale string for a Windows language identifier: the full identifier first, then
// its primary language, else "en".
std::string localeForLanguage(std::uint16_t language);

// Decides the locale; with an argument list, "-Dsun.locale.formatasdefault=" arguments
// may switch from the user locale to the user-interface language (the last one wins).
std::string chooseLocale(const std::vector<WideString>* argumentList, const LocaleSource& source);

}  // namespace tesmo

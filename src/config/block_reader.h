// Locating and reading the configuration block behind the executable image.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/file_reader.h"
#include "config/locale.h"

namespace tesmo {

constexpr std::uint32_t kBlockMagic = 0xE8E413D5u;

struct ConfigurationBlock {
    std::map<std::int32_t, std::string> narrow;
    std::map<std::int32_t, WideString> wide;
    // Only what the matching localized sets carry (also in `wide`).
    std::map<std::int32_t, WideString> localized;
    std::string locale;
    std::int64_t endPosition = 0;
};

// Walks the PE headers to the end of the last section's raw data and seeks there.
ReadFailure locateBlock(FileReader& file);

// Reads the block at the current position. The locale is chosen between the wide records
// and the localized sets, because only then is it needed.
ReadFailure parseBlock(FileReader& file, const std::vector<WideString>* argumentList,
                       const LocaleSource& localeSource, ConfigurationBlock& block);

// Makes a read block the process's settings, locale and block end; returns the executable
// type (key 107).
int applyConfigurationBlock(ConfigurationBlock&& block);

// Only the windowed types (1 and 5) report failures in boxes; the console types write them
// to standard error.
bool isQuietExecutableType(int executableType);

}  // namespace tesmo

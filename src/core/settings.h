// The settings read from the configuration block, and typed access to them by key.
// The maps are filled once while the block is read and are read-only afterwards, so any
// thread may read them without a lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/text.h"

namespace tesmo {

extern std::map<std::int32_t, std::string> narrowSettings;
extern std::map<std::int32_t, WideString> wideSettings;
// The records of the localized sets that matched the user's locale, a later set's
// replacing an earlier one's; unlike `wideSettings`, without the block's plain wide records.
extern std::map<std::int32_t, WideString> localizedSettings;

// The value of `key`, cut to fit `capacity` characters including the terminator.
// An absent key reads as empty text.
std::string getSettingString(std::int32_t key, std::size_t capacity = kPathCapacity);
// The same text with each byte taken as the UTF-16 code unit of the same number.
WideString getSettingWideString(std::int32_t key, std::size_t capacity = kPathCapacity);
// The localized text of `key`, cut like the narrow one; nothing when no matching set
// carries the key.
std::optional<WideString> getLocalizedString(std::int32_t key,
                                             std::size_t capacity = kPathCapacity);
// Decimal conversion: leading blanks, optional sign, digits up to the first other
// character; absent or non-numeric gives 0, out of range gives INT32_MAX or INT32_MIN.
int getSettingInt(std::int32_t key);
// "r,g,b" to red + 256 * green + 65536 * blue, each component cut to 8 bits; missing
// components count as 0.
std::uint32_t getSettingColour(std::int32_t key);

int parseDecimal(std::string_view text);

}  // namespace tesmo

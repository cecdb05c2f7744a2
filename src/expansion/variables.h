// expandVariables over the launcher's own values and the process environment.
#pragma once

#include "platform/text.h"

namespace tesmo {

// Expands in place; the result stays within `capacity` characters including the terminator.
void expandVariables(WideString& text, std::size_t capacity = kPathCapacity);

}  // namespace tesmo

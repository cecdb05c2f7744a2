// The Java runtime chosen for this start.
#pragma once

#include "platform/text.h"

namespace tesmo {

// The directory holding the chosen java.exe or javaw.exe followed by "..", such as
// C:\jre\bin\..; empty before a runtime has been chosen.
extern WideString jvmHome;

}  // namespace tesmo

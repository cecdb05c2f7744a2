// The search for a Java runtime: preferred location, the configured sequence, installer
// location, a tolerant pass over relative locations, earlier installations and the two
// fixed variables. The first candidate that passes ends it.
#pragma once

#include "platform/text.h"
#include "runtime/search_sequence.h"

namespace tesmo {

SearchResult findJvm(WideString& javaExe, WideString& foundText);

// Unpacks the archives of a runtime stored in Pack200 form, once, before it is judged.
void preparePackedRuntime(const WideString& runtimeHome);

}  // namespace tesmo

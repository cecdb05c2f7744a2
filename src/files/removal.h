// Best-effort removal of the launcher's temporary directory at exit.
#pragma once

#include "platform/text.h"

namespace tesmo {

// Deletes the files of `path` and removes its subdirectories, emptying each first when
// `descend` (one level deep, matching the one level extraction creates). `path` stays.
// Paths starting with "." are never touched.
void emptyDirectory(const WideString& path, bool descend);

}  // namespace tesmo

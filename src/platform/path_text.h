// The text side of path handling: relative/absolute tests, backslash collapsing, joining
// and list splitting. No file system access here; paths.h adds the Windows calls.
#pragma once

#include <vector>

#include "platform/text.h"

namespace tesmo {

// "X:\", "X:\." and "X:\.\." count as existing drive roots without asking the file system.
bool isDriveRootSpelling(WideView path);

// Fewer than 3 characters is relative; a leading double quote is looked through; absolute
// means "X:\" or a leading "\\".
bool isRelativePath(WideView path);

// Keeps the first two characters, then drops every backslash that follows a kept one.
void collapseBackslashes(WideString& path);

// `baseDirectory` (with its trailing backslash) + `path` when the path is relative, else
// the path; backslashes collapsed. A result that does not fit `capacity` is refused:
// false and an empty `out`, never a shortened path that could name another file.
bool joinRelative(WideString& out, WideView baseDirectory, WideView path,
                  std::size_t capacity = kPathCapacity);

// The directory part of a full file name, trailing backslash kept ("C:\a\b.exe" -> "C:\a\").
WideString directoryOf(WideView fullFileName);

// Splits at `separator`, skipping empty items.
std::vector<WideString> splitList(WideView list, char16_t separator);

}  // namespace tesmo

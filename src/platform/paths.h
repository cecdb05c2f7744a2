// Path operations that ask the file system or the process: existence, the executable's own
// path, resolution against the executable's directory, directory listings.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/path_text.h"

namespace tesmo {

// True for a drive root spelling at once, else when FindFirstFile finds an entry. Wildcards
// are not escaped: a path holding * or ? is a pattern.
bool pathExists(const WideString& path);
bool pathExists(const std::string& path);
// FindFirstFileW; when found, the entry's last-write time (a 64-bit file time).
bool findEntry(const WideString& path, std::uint64_t* lastWriteTime);

// The executable's full long path, and its narrow form (long when it converts cleanly, else
// the 8.3 short form), both with doubled backslashes collapsed; computed once.
const WideString& executablePathWide();
const std::string& executablePath();
// The directory of the executable, with its trailing backslash.
const WideString& executableDirectoryWide();

// Relative paths against the directory of `baseFile` (when given) or the executable's
// directory; absolute paths unchanged; backslashes collapsed. False and empty when the
// result would not fit a path buffer.
bool resolvePath(WideString& out, const WideString& path, const WideString* baseFile = nullptr);
// resolvePath against the executable's directory, then GetFullPathName (which resolves
// "." and ".."); lower-cased ASCII unless `keepCase`.
bool fullPath(WideString& out, const WideString& path, bool keepCase);
// Each ";"-separated item resolved; empty items skipped.
bool resolvePathList(WideString& out, const WideString& list);
// Bare names of the entries matching directory\*.extension, in file-system order.
std::vector<WideString> listFilesByExtension(const WideString& directory,
                                             const WideString& extension);

}  // namespace tesmo

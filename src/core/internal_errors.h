// The codes message 1009 ("An internal error occurred (error code: {0})") shows. Users
// quote them in support requests, so each keeps its number for good.
#pragma once

namespace tesmo::internal_error {

// Every attempt to create the launcher's temporary directory failed.
inline constexpr const char* kTempDirectory = "7";
// An included file could not be created, or its name would leave the temporary directory.
inline constexpr const char* kIncludedFile = "11";
// The first-run class or its method could not be found.
inline constexpr const char* kFirstRunClass = "14";
inline constexpr const char* kFirstRunMethod = "15";
// Reading or writing the included files failed.
inline constexpr const char* kExtraction = "16";
// unpack200.exe could not be started for a packed runtime.
inline constexpr const char* kUnpackProcess = "20";
// The process communication file of the running instance could not be created or written.
inline constexpr const char* kCommFileCreate = "21";
inline constexpr const char* kCommFileWrite = "22";

}  // namespace tesmo::internal_error

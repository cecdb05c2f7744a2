// A recorder that stands in for the log file in unit tests.
#pragma once

#include <string>
#include <vector>

namespace tesmo::testing {

// Every line written since the last clear, formatted as the log file would hold it
// (ERROR: prefix included, without the line break).
const std::vector<std::string>& capturedLog();
void clearCapturedLog();
// Makes logFilePath report a path, as when the log is on.
void setCapturedLogPath(const char16_t* path);

}  // namespace tesmo::testing

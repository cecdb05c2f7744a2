// Files for the command-line tools. Paths travel as UTF-8, so that names outside the ANSI
// code page survive on Windows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tesmo::tools {

std::filesystem::path pathFromUtf8(const std::string& text);
std::string utf8Path(const std::filesystem::path& path);

// The bytes of a regular file, or nothing.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

// Writes through a temporary file beside `out` that then takes its name, so that no reader
// sees half a file. Returns why it failed, or nothing.
std::optional<std::string> writeReplacing(const std::filesystem::path& out,
                                          const std::string& bytes);

}  // namespace tesmo::tools

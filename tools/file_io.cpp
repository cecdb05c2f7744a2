#include "tools/file_io.h"

#include <fstream>
#include <iterator>
#include <random>

namespace tesmo::tools {

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Path(const fs::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> readWholeFile(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // In one read, sized from the file: a bundle of included files can be hundreds of MiB.
    std::uintmax_t size = fs::file_size(path, error);
    if (error) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.bad() || static_cast<std::uintmax_t>(in.gcount()) != size) return std::nullopt;
    return bytes;
}

std::optional<std::string> writeReplacing(const fs::path& out, const std::string& bytes) {
    fs::path temporary = out;
    temporary += ".tmp" + std::to_string(std::random_device()());
    std::error_code ignored;
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (file) {
            file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            file.close();
        }
        if (!file) {
            fs::remove(temporary, ignored);
            return "cannot write " + utf8Path(temporary);
        }
    }
    std::error_code error;
    fs::rename(temporary, out, error);
    if (error && fs::exists(out, ignored)) {
        // Some runtimes will not rename over an existing file.
        fs::remove(out, ignored);
        error.clear();
        fs::rename(temporary, out, error);
    }
    if (error) {
        fs::remove(temporary, ignored);
        return "cannot write " + utf8Path(out) + ": " + error.message();
    }
    return std::nullopt;
}

}  // namespace tesmo::tools

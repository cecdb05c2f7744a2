// The launcher configuration file: TOML with a named setting for every key the launcher
// reads. Parsing turns a file into the records of a configuration block (in ascending key
// order, so that equal settings always give equal blocks) plus the pictures that become
// resources; printing turns a block back into such a file.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/block_writer.h"
#include "tools/manifest_choices.h"
#include "tools/version_info.h"

namespace tesmo::tools {

// What the configuration sets in the stub besides the block: its pictures, its version
// information, and the choices of [executable] that are not records (the architecture,
// the manifest's settings).
struct LauncherImages {
    std::optional<std::string> splashBitmap;  // a .bmp file: bitmap 10000
    std::optional<std::string> splashImage;   // any bytes: RT_RCDATA 10000
    std::optional<std::string> icon;          // an .ico file
    // Initialised, so that the pictures alone can still be given in braces.
    std::optional<VersionInfo> versionInfo = {};  // RT_VERSION 1; the stub's own without it
    ExecutableChoices executable = {};

    // Nothing in the stub's resources changes.
    bool empty() const {
        return !splashBitmap && !splashImage && !icon && !versionInfo &&
               !changesManifest(executable);
    }
};

// Reads a file the configuration names; nothing when it cannot be read.
using FileSource = std::function<std::optional<std::string>(const std::filesystem::path&)>;

struct LauncherConfig {
    BlockDescription description;  // complete, included files and keys 2002 and 2003 too
    LauncherImages images;
    std::vector<std::string> errors;  // "FILE:LINE: SETTING: message"
    std::vector<std::string> warnings;
    // Whether the file names the architecture: a stub of another machine named with --stub
    // is then refused, while under the default it is taken as the user's choice.
    bool architectureGiven = false;
};

// `directory` is where relative file names in the configuration start.
LauncherConfig parseLauncherConfig(std::string_view text, std::string_view fileName,
                                   const std::filesystem::path& directory, const FileSource& files);

// The settings the builder fills in when a configuration leaves them out (unless it says
// `defaults = false`): the English message texts, a runtime search that looks beside the
// executable, in the JavaSoft registry and in the vendors' registry keys, a windowed
// executable and, with a splash bitmap, the splash size from the bitmap. Returns the keys
// it added.
std::vector<std::int32_t> addDefaults(std::map<std::int32_t, std::string>& narrow,
                                      const std::optional<std::string>& splashBitmap);

struct PrintedConfig {
    std::string text;
    // Files the configuration names, by their path below the files folder ("/"-separated).
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> warnings;  // what the printed configuration leaves out
};

// A configuration that builds `description` again. `filesFolder` is how the configuration
// names the folder that will hold `files` (empty: included files and pictures are left out
// with a warning).
PrintedConfig printLauncherConfig(const BlockDescription& description, const LauncherImages& images,
                                  std::string_view filesFolder);

}  // namespace tesmo::tools

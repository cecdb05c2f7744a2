// The launcher's pictures as resources: the splash bitmap 10000 its own splash window
// draws, the RT_RCDATA 10000 it hands to the Java runtime's splash library, and the icon,
// kept as the icon group "ID_SPLASH_ICON" that the splash window's class loads. A named group
// comes before numbered ones, so Windows also shows it as the executable's icon. The version
// information replaces the stub's version resource, and the manifest choices are made in
// the stub's manifest.
#pragma once

#include <string_view>

#include "tools/launcher_config.h"
#include "tools/pe_resources.h"

namespace tesmo::tools {

constexpr std::uint16_t kSplashResourceId = 10000;
constexpr char16_t kSplashIconName[] = u"ID_SPLASH_ICON";

// The stub with the given pictures, version information and manifest choices set; the stub
// itself when there are none.
ImageEdit setLauncherImages(std::string_view stub, const LauncherImages& images);

// The pictures of a launcher, as files again, with the version information and the
// executable choices it was built with. `error` tells why the resources could not be
// read; pictures that cannot be turned back into files are left out.
LauncherImages readLauncherImages(std::string_view launcher, std::string& error);

}  // namespace tesmo::tools

// The picture files a launcher's resources come from, and back: a .bmp file becomes a bitmap
// resource (the file without its 14-byte file header), an .ico file becomes the icon
// images and the group directory that names them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmo::tools {

struct Bitmap {
    std::string resource;  // the bitmap resource: header, colour table, pixels
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive also for top-down bitmaps
};

// Refuses files a bitmap resource cannot carry unchanged: compressed to PNG or JPEG, or with
// a gap before the pixels (a resource has no field that says where they start).
std::optional<Bitmap> bitmapFromFile(std::string_view file, std::string& error);

// The .bmp file of a bitmap resource.
std::optional<std::string> bitmapFileFromResource(std::string_view resource, std::string& error);

struct IconResources {
    std::string group;                // the group directory (RT_GROUP_ICON)
    std::vector<std::string> images;  // one RT_ICON each, numbered firstId, firstId + 1, ...
};

std::optional<IconResources> iconFromFile(std::string_view file, std::uint16_t firstId,
                                          std::string& error);

// The numbers of the RT_ICON images a group directory names.
std::vector<std::uint16_t> iconIdsOfGroup(std::string_view group);

// The .ico file of a group directory and its images; `image` returns an image by its number.
std::optional<std::string> iconFileFromResources(
    std::string_view group, const std::function<std::optional<std::string>(std::uint16_t)>& image,
    std::string& error);

}  // namespace tesmo::tools

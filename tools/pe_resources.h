// Reading and rewriting the resources of a Windows executable without Windows: the builder
// sets the splash images and the icon of a launcher from Linux as well as on Windows, with
// this one implementation for both.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tesmo::tools {

constexpr std::uint16_t kResourceTypeBitmap = 2;
constexpr std::uint16_t kResourceTypeIcon = 3;
constexpr std::uint16_t kResourceTypeData = 10;  // RT_RCDATA
constexpr std::uint16_t kResourceTypeGroupIcon = 14;

// A resource type or name: a number, or a text when `text` is not empty.
struct ResourceName {
    std::uint16_t id = 0;
    WideString text;

    bool named() const { return !text.empty(); }
    friend bool operator==(const ResourceName&, const ResourceName&) = default;
    // The order of a resource directory: named entries first, by their text, then numbers.
    friend std::strong_ordering operator<=>(const ResourceName& a, const ResourceName& b);
};

struct Resource {
    ResourceName type;
    ResourceName name;
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    std::string data;

    friend bool operator==(const Resource&, const Resource&) = default;
};

struct ResourceList {
    std::vector<Resource> resources;  // in directory order
    std::string error;                // empty when the resource tree could be read
};

// Every resource of `image`; an image without resources gives an empty list.
ResourceList readResources(std::string_view image);

struct ImageEdit {
    std::string bytes;  // empty whenever `error` is set
    std::string error;
};

// `image` with `resources` as its complete resource tree. The tree is written as a new last
// section, because the sections before it cannot grow without moving code and data; a
// resource section that is already the last section (from an earlier edit) is replaced.
// The image must end with its last section: data behind it (a configuration block, a
// signature) would no longer be where its reader looks.
ImageEdit writeResources(std::string_view image, const std::vector<Resource>& resources);

}  // namespace tesmo::tools

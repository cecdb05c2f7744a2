// The one walk over a Windows executable's headers that the tools share: where the PE header,
// the optional header and the section table are, and where the image's last section ends,
// which is where the launcher looks for its settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/byte_fields.h"

namespace tesmo::tools {

enum class PeFault { None, NoMzHeader, NoPeHeader };

struct PeSection {
    std::size_t header = 0;  // offset of the section's table entry
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

struct PeLayout {
    std::size_t optionalHeader = 0;
    std::size_t optionalSize = 0;
    std::size_t sectionTable = 0;
    std::uint32_t sectionCount = 0;
    bool sectionTableFits = false;  // every entry of the table lies inside the file
};

// Reads the file header; the section table is only located, and callers decide in their
// own order what a missing or cut-off table means to them.
PeFault readPeLayout(std::string_view image, PeLayout& layout);

// The entries of a section table that fits.
std::vector<PeSection> peSections(std::string_view image, const PeLayout& layout);

// Where the raw data of the last section ends; needs a table that fits and holds a section.
std::uint64_t peImageEnd(std::string_view image, const PeLayout& layout);

// "x86" or "x64" from the file header's machine field; nothing for other machines.
std::optional<std::string> imageArchitecture(std::string_view image);

}  // namespace tesmo::tools

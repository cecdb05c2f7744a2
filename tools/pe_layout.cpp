#include "tools/pe_layout.h"

namespace tesmo::tools {

namespace {

constexpr std::size_t kSectionEntrySize = 40;

PeSection sectionAt(std::string_view image, std::size_t entry) {
    auto field = [&](std::size_t at) {
        return static_cast<std::uint32_t>(littleEndianAt(image, entry + at, 4));
    };
    return {entry, field(8), field(12), field(16), field(20)};
}

}  // namespace

PeFault readPeLayout(std::string_view image, PeLayout& layout) {
    if (image.size() < 64 || image[0] != 'M' || image[1] != 'Z') return PeFault::NoMzHeader;
    std::uint64_t header = littleEndianAt(image, 60, 4);
    if (header + 24 > image.size() || image.substr(header, 4) != std::string_view("PE\0\0", 4)) {
        return PeFault::NoPeHeader;
    }
    layout.sectionCount = static_cast<std::uint32_t>(littleEndianAt(image, header + 6, 2));
    layout.optionalSize = littleEndianAt(image, header + 20, 2);
    layout.optionalHeader = header + 24;
    layout.sectionTable = layout.optionalHeader + layout.optionalSize;
    layout.sectionTableFits =
        layout.sectionTable + kSectionEntrySize * std::size_t{layout.sectionCount} <= image.size();
    return PeFault::None;
}

std::vector<PeSection> peSections(std::string_view image, const PeLayout& layout) {
    std::vector<PeSection> sections;
    for (std::uint32_t i = 0; i < layout.sectionCount; ++i) {
        sections.push_back(sectionAt(image, layout.sectionTable + kSectionEntrySize * i));
    }
    return sections;
}

std::uint64_t peImageEnd(std::string_view image, const PeLayout& layout) {
    PeSection last =
        sectionAt(image, layout.sectionTable + kSectionEntrySize * (layout.sectionCount - 1));
    return std::uint64_t{last.rawOffset} + last.rawSize;
}

std::optional<std::string> imageArchitecture(std::string_view image) {
    PeLayout layout;
    if (readPeLayout(image, layout) != PeFault::None) return std::nullopt;
    // The machine is the file header's first field, right behind the PE signature.
    switch (littleEndianAt(image, layout.optionalHeader - 20, 2)) {
        case 0x14C:
            return "x86";
        case 0x8664:
            return "x64";
        default:
            return std::nullopt;
    }
}

}  // namespace tesmo::tools

#include "tools/pe_resources.h"

#include <algorithm>
#include <map>
#include <optional>

#include "tools/pe_layout.h"

namespace tesmo::tools {

std::strong_ordering operator<=>(const ResourceName& a, const ResourceName& b) {
    if (a.named() != b.named())
        return a.named() ? std::strong_ordering::less : std::strong_ordering::greater;
    if (a.named()) return a.text <=> b.text;
    return a.id <=> b.id;
}

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::uint32_t kResourceSectionFlags = 0x40000040u;  // initialised data, readable
// Far beyond any real launcher; a tree whose entries share subdirectories could otherwise
// make the walk visit more entries than the file has bytes.
constexpr std::size_t kMaximumEntries = 100000;

std::uint32_t get(std::string_view bytes, std::size_t at, int size) {
    return static_cast<std::uint32_t>(littleEndianAt(bytes, at, size));
}

void put(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void append(std::string& bytes, std::uint32_t value, int size) {
    appendLittleEndian(bytes, value, size);
}

std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool isPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

using Section = PeSection;

struct Headers {
    std::size_t optional = 0;  // offset of the optional header
    std::size_t directories = 0;
    std::uint32_t directoryCount = 0;
    std::size_t sectionTable = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::vector<Section> sections;

    std::size_t directory(std::size_t index) const { return directories + 8 * index; }
};

// Reads the headers the editor relies on; every offset is checked against the file.
std::string parseHeaders(std::string_view image, Headers& headers) {
    PeLayout layout;
    switch (readPeLayout(image, layout)) {
        case PeFault::NoMzHeader:
            return "not a Windows executable (no MZ header)";
        case PeFault::NoPeHeader:
            return "not a Windows executable (no PE header)";
        case PeFault::None:
            break;
    }
    std::size_t optionalSize = layout.optionalSize;
    headers.optional = layout.optionalHeader;
    headers.sectionTable = layout.sectionTable;
    if (!layout.sectionTableFits || optionalSize < 2) {
        return "the executable's headers are cut off";
    }
    std::uint32_t magic = get(image, headers.optional, 2);
    if (magic != 0x10B && magic != 0x20B) {
        return "the executable's optional header is neither PE32 nor PE32+";
    }
    std::size_t countField = magic == 0x10B ? 92 : 108;
    if (optionalSize < countField + 4) return "the executable's optional header is too short";
    headers.directoryCount = get(image, headers.optional + countField, 4);
    headers.directories = headers.optional + countField + 4;
    if (headers.directoryCount <= kResourceDirectory ||
        countField + 4 + 8 * std::uint64_t{headers.directoryCount} > optionalSize) {
        return "the executable has no room for a resource directory entry";
    }
    headers.sectionAlignment = get(image, headers.optional + 32, 4);
    headers.fileAlignment = get(image, headers.optional + 36, 4);
    headers.sizeOfHeaders = get(image, headers.optional + 60, 4);
    if (!isPowerOfTwo(headers.sectionAlignment) || !isPowerOfTwo(headers.fileAlignment)) {
        return "the executable's section or file alignment is not a power of two";
    }
    headers.sections = peSections(image, layout);
    if (headers.sections.empty()) return "the executable has no sections";
    return {};
}

// The bytes of a section as far as the file holds them.
std::string_view sectionBytes(std::string_view image, const Section& section) {
    if (section.rawOffset >= image.size()) return {};
    return image.substr(section.rawOffset,
                        std::min<std::size_t>(section.rawSize, image.size() - section.rawOffset));
}

// The section whose raw data holds `size` bytes at `rva`.
const Section* sectionHolding(const Headers& headers, std::string_view image, std::uint32_t rva,
                              std::uint32_t size) {
    for (const Section& section : headers.sections) {
        std::uint64_t start = section.virtualAddress;
        if (rva >= start &&
            std::uint64_t{rva} + size <= start + sectionBytes(image, section).size()) {
            return &section;
        }
    }
    return nullptr;
}

class TreeReader {
  public:
    TreeReader(std::string_view image, const Headers& headers, std::string_view tree)
        : image_(image), headers_(headers), tree_(tree) {}

    std::string read(std::vector<Resource>& out) {
        Resource path;
        return walk(0, 0, path, out);
    }

  private:
    std::string walk(std::uint32_t offset, int depth, Resource& path, std::vector<Resource>& out) {
        if (offset > tree_.size() || tree_.size() - offset < 16) {
            return "a resource directory lies outside the resource section";
        }
        std::size_t count = get(tree_, offset + 12, 2) + std::size_t{get(tree_, offset + 14, 2)};
        if ((tree_.size() - offset - 16) / 8 < count) {
            return "a resource directory's entries run past the resource section";
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (++visited_ > kMaximumEntries) return "the resource tree has too many entries";
            std::size_t entry = offset + 16 + 8 * i;
            std::uint32_t nameField = get(tree_, entry, 4);
            std::uint32_t dataField = get(tree_, entry + 4, 4);
            ResourceName name;
            if (nameField & kHighBit) {
                std::string fault = readName(nameField & ~kHighBit, name);
                if (!fault.empty()) return fault;
            } else if (nameField > 0xFFFF) {
                return "a resource number is larger than 65535";
            } else {
                name.id = static_cast<std::uint16_t>(nameField);
            }
            bool subdirectory = (dataField & kHighBit) != 0;
            if (subdirectory != (depth < 2)) {
                return "the resource tree is not the usual three levels of type, name and "
                       "language";
            }
            if (depth == 0) path.type = name;
            if (depth == 1) path.name = name;
            std::string fault;
            if (subdirectory) {
                fault = walk(dataField & ~kHighBit, depth + 1, path, out);
            } else {
                path.language = name.id;
                fault = readData(dataField, path, out);
            }
            if (!fault.empty()) return fault;
        }
        return {};
    }

    std::string readName(std::uint32_t offset, ResourceName& name) {
        if (offset > tree_.size() || tree_.size() - offset < 2) {
            return "a resource name lies outside the resource section";
        }
        std::size_t length = get(tree_, offset, 2);
        if ((tree_.size() - offset - 2) / 2 < length) {
            return "a resource name runs past the resource section";
        }
        if (length == 0) return "a resource name is empty";
        for (std::size_t i = 0; i < length; ++i) {
            name.text.push_back(static_cast<char16_t>(get(tree_, offset + 2 + 2 * i, 2)));
        }
        return {};
    }

    std::string readData(std::uint32_t offset, Resource& path, std::vector<Resource>& out) {
        if (offset > tree_.size() || tree_.size() - offset < 16) {
            return "a resource data entry lies outside the resource section";
        }
        std::uint32_t rva = get(tree_, offset, 4);
        std::uint32_t size = get(tree_, offset + 4, 4);
        const Section* section = sectionHolding(headers_, image_, rva, size);
        if (!section) return "a resource's data lies outside the executable's sections";
        path.codePage = get(tree_, offset + 8, 4);
        path.data.assign(
            sectionBytes(image_, *section).substr(rva - section->virtualAddress, size));
        out.push_back(path);
        return {};
    }

    std::string_view image_;
    const Headers& headers_;
    std::string_view tree_;
    std::size_t visited_ = 0;
};

using LanguageMap = std::map<std::uint16_t, const Resource*>;
using NameMap = std::map<ResourceName, LanguageMap>;
using TypeMap = std::map<ResourceName, NameMap>;

TypeMap resourcesByType(const std::vector<Resource>& resources) {
    TypeMap types;
    for (const Resource& resource : resources) {
        types[resource.type][resource.name][resource.language] = &resource;
    }
    return types;
}

// The three levels of directories together, ahead of the names that follow them.
std::size_t directoriesSize(const TypeMap& types) {
    std::size_t size = 16 + 8 * types.size();
    for (const auto& [type, names] : types) {
        size += 16 + 8 * names.size();
        for (const auto& [name, languages] : names) size += 16 + 8 * languages.size();
    }
    return size;
}

template <typename Map>
std::size_t namedCount(const Map& map) {
    return static_cast<std::size_t>(std::count_if(
        map.begin(), map.end(), [](const auto& entry) { return entry.first.named(); }));
}

struct TreeWriter {
    std::string tree;
    std::size_t nextDirectory = 0;
};

// Claims the next directory's place and returns its offset.
std::size_t addDirectory(TreeWriter& writer, std::size_t entries, std::size_t named) {
    std::size_t at = writer.nextDirectory;
    put(writer.tree, at + 12, static_cast<std::uint32_t>(named), 2);
    put(writer.tree, at + 14, static_cast<std::uint32_t>(entries - named), 2);
    writer.nextDirectory += 16 + 8 * entries;
    return at;
}

// An entry's name field: the number itself, or the offset of the name appended to the tree.
std::uint32_t nameField(std::string& tree, const ResourceName& name) {
    if (!name.named()) return name.id;
    std::size_t at = tree.size();
    append(tree, static_cast<std::uint32_t>(name.text.size()), 2);
    for (char16_t c : name.text) append(tree, c, 2);
    return kHighBit | static_cast<std::uint32_t>(at);
}

struct Leaf {
    std::size_t entry;  // the language entry that points at the data entry
    const Resource* resource;
};

void writeNameDirectories(TreeWriter& writer, std::size_t typeDirectory, const NameMap& names,
                          std::vector<Leaf>& pending) {
    std::size_t nameIndex = 0;
    for (const auto& [name, languages] : names) {
        std::size_t nameEntry = typeDirectory + 16 + 8 * nameIndex++;
        std::size_t nameDirectory = addDirectory(writer, languages.size(), 0);
        put(writer.tree, nameEntry, nameField(writer.tree, name), 4);
        put(writer.tree, nameEntry + 4, kHighBit | static_cast<std::uint32_t>(nameDirectory), 4);
        std::size_t languageIndex = 0;
        for (const auto& [language, resource] : languages) {
            std::size_t languageEntry = nameDirectory + 16 + 8 * languageIndex++;
            put(writer.tree, languageEntry, language, 4);
            pending.push_back({languageEntry, resource});
        }
    }
}

// Returns the language entries still to be pointed at their data entries.
std::vector<Leaf> writeDirectories(TreeWriter& writer, const TypeMap& types) {
    std::vector<Leaf> pending;
    std::size_t root = addDirectory(writer, types.size(), namedCount(types));
    std::size_t typeIndex = 0;
    for (const auto& [type, names] : types) {
        std::size_t typeEntry = root + 16 + 8 * typeIndex++;
        std::size_t typeDirectory = addDirectory(writer, names.size(), namedCount(names));
        put(writer.tree, typeEntry, nameField(writer.tree, type), 4);
        put(writer.tree, typeEntry + 4, kHighBit | static_cast<std::uint32_t>(typeDirectory), 4);
        writeNameDirectories(writer, typeDirectory, names, pending);
    }
    return pending;
}

void appendData(std::string& tree, const std::vector<Leaf>& pending, std::uint32_t baseRva) {
    tree.resize(alignUp(tree.size(), 8), '\0');
    std::size_t dataEntries = tree.size();
    tree.resize(dataEntries + 16 * pending.size(), '\0');
    for (std::size_t i = 0; i < pending.size(); ++i) {
        std::size_t dataEntry = dataEntries + 16 * i;
        put(tree, pending[i].entry + 4, static_cast<std::uint32_t>(dataEntry), 4);
        tree.resize(alignUp(tree.size(), 8), '\0');
        put(tree, dataEntry, static_cast<std::uint32_t>(baseRva + tree.size()), 4);
        put(tree, dataEntry + 4, static_cast<std::uint32_t>(pending[i].resource->data.size()), 4);
        put(tree, dataEntry + 8, pending[i].resource->codePage, 4);
        tree += pending[i].resource->data;
    }
}

// The resource section for `resources`, its data addressed from `baseRva`. Directories
// come first, then the names, then the data entries, then the data.
std::string serialiseTree(const std::vector<Resource>& resources, std::uint32_t baseRva) {
    TypeMap types = resourcesByType(resources);
    TreeWriter writer{.tree = std::string(directoriesSize(types), '\0')};
    std::vector<Leaf> pending = writeDirectories(writer, types);
    appendData(writer.tree, pending, baseRva);
    return writer.tree;
}

// The checksum Windows computes for an image (the field itself counted as zero).
std::uint32_t imageChecksum(std::string_view image, std::size_t checksumField) {
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < image.size(); at += 2) {
        if (at == checksumField || at == checksumField + 2) continue;
        std::uint32_t word = static_cast<unsigned char>(image[at]);
        if (at + 1 < image.size()) word |= static_cast<unsigned char>(image[at + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

// Appended data, a signature or an oversized resource rule the edit out.
std::string unwritableImageFault(std::string_view image, const Headers& headers,
                                 const std::vector<Resource>& resources) {
    const Section& last = headers.sections.back();
    if (std::uint64_t{last.rawOffset} + last.rawSize != image.size()) {
        return "the executable does not end with its last section (it carries appended "
               "data such as a configuration block or a signature); start from the bare "
               "stub";
    }
    if (headers.directoryCount > kSecurityDirectory &&
        get(image, headers.directory(kSecurityDirectory) + 4, 4) != 0) {
        return "the executable is signed; set its resources before signing";
    }
    for (const Resource& resource : resources) {
        if (resource.data.size() > 0x7FFFFFFF) {
            return "a resource is larger than an executable can hold";
        }
    }
    return {};
}

// Where the new resource section goes.
struct Placement {
    // The last section holds the current resources and gives way to the new ones.
    bool replaceLast = false;
    std::vector<Section> kept;  // the sections before the resource section
    std::size_t header = 0;     // offset of the resource section's header
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawOffset = 0;
};

// The resource section goes after everything the kept sections occupy, in memory and in
// the file.
Placement placeResourceSection(std::string_view image, const Headers& headers) {
    Placement placement;
    const Section& last = headers.sections.back();
    std::uint32_t currentRva = get(image, headers.directory(kResourceDirectory), 4);
    placement.replaceLast =
        headers.sections.size() > 1 && currentRva == last.virtualAddress && currentRva != 0;
    placement.kept = headers.sections;
    if (placement.replaceLast) placement.kept.pop_back();

    std::uint64_t imageEnd = 0;
    std::uint64_t fileEnd = headers.sizeOfHeaders;
    for (const Section& section : placement.kept) {
        imageEnd =
            std::max<std::uint64_t>(imageEnd, std::uint64_t{section.virtualAddress} +
                                                  std::max(section.virtualSize, section.rawSize));
        if (section.rawSize > 0) {
            fileEnd = std::max<std::uint64_t>(fileEnd,
                                              std::uint64_t{section.rawOffset} + section.rawSize);
        }
    }
    placement.header = headers.sectionTable + 40 * placement.kept.size();
    placement.virtualAddress =
        static_cast<std::uint32_t>(alignUp(imageEnd, headers.sectionAlignment));
    placement.rawOffset = static_cast<std::uint32_t>(alignUp(fileEnd, headers.fileAlignment));
    return placement;
}

// A new section header must fit inside the headers, before any section's data, over
// bytes nothing uses.
bool sectionTableHasRoom(std::string_view image, const Headers& headers,
                         const Placement& placement) {
    std::uint64_t firstRaw = image.size();
    for (const Section& section : placement.kept) {
        if (section.rawSize > 0) firstRaw = std::min<std::uint64_t>(firstRaw, section.rawOffset);
    }
    std::size_t end = placement.header + 40;
    return end <= headers.sizeOfHeaders && end <= firstRaw &&
           image.substr(placement.header, 40).find_first_not_of('\0') == std::string_view::npos;
}

void writeSectionHeader(std::string& out, const Placement& placement, std::uint32_t treeSize,
                        std::uint32_t rawSize) {
    std::size_t newHeader = placement.header;
    out.replace(newHeader, 8, std::string(".rsrc\0\0\0", 8));
    put(out, newHeader + 8, treeSize, 4);
    put(out, newHeader + 12, placement.virtualAddress, 4);
    put(out, newHeader + 16, rawSize, 4);
    put(out, newHeader + 20, placement.rawOffset, 4);
    out.replace(newHeader + 24, 12, std::string(12, '\0'));
    put(out, newHeader + 36, kResourceSectionFlags, 4);
}

// Section count, initialised data size, image size, resource directory and checksum.
void updateImageHeaders(std::string& out, const Headers& headers, const Placement& placement,
                        std::uint32_t treeSize, std::uint32_t rawSize) {
    std::uint32_t virtualAddress = placement.virtualAddress;
    std::size_t peHeader = headers.optional - 24;
    put(out, peHeader + 6, static_cast<std::uint32_t>(placement.kept.size() + 1), 2);
    std::uint32_t initialised = get(out, headers.optional + 8, 4);
    if (placement.replaceLast)
        initialised -= std::min(initialised, headers.sections.back().rawSize);
    put(out, headers.optional + 8, initialised + rawSize, 4);
    put(out, headers.optional + 56,
        static_cast<std::uint32_t>(alignUp(virtualAddress + treeSize, headers.sectionAlignment)),
        4);
    put(out, headers.directory(kResourceDirectory), virtualAddress, 4);
    put(out, headers.directory(kResourceDirectory) + 4, treeSize, 4);
    std::size_t checksumField = headers.optional + 64;
    if (get(out, checksumField, 4) != 0)
        put(out, checksumField, imageChecksum(out, checksumField), 4);
}

}  // namespace

ResourceList readResources(std::string_view image) {
    ResourceList result;
    Headers headers;
    result.error = parseHeaders(image, headers);
    if (!result.error.empty()) return result;
    std::uint32_t rva = get(image, headers.directory(kResourceDirectory), 4);
    std::uint32_t size = get(image, headers.directory(kResourceDirectory) + 4, 4);
    if (rva == 0 && size == 0) return result;
    const Section* section = sectionHolding(headers, image, rva, 16);
    if (!section) {
        result.error = "the resource directory lies outside the executable's sections";
        return result;
    }
    // Offsets inside the tree count from the root directory.
    std::string_view tree = sectionBytes(image, *section).substr(rva - section->virtualAddress);
    result.error = TreeReader(image, headers, tree).read(result.resources);
    if (!result.error.empty()) result.resources.clear();
    return result;
}

ImageEdit writeResources(std::string_view image, const std::vector<Resource>& resources) {
    ImageEdit edit;
    Headers headers;
    edit.error = parseHeaders(image, headers);
    if (!edit.error.empty()) return edit;
    edit.error = unwritableImageFault(image, headers, resources);
    if (!edit.error.empty()) return edit;

    Placement placement = placeResourceSection(image, headers);
    if (!placement.replaceLast && !sectionTableHasRoom(image, headers, placement)) {
        edit.error = "the executable's section table has no room for a resource section";
        return edit;
    }
    std::string tree = serialiseTree(resources, placement.virtualAddress);
    auto treeSize = static_cast<std::uint32_t>(tree.size());
    std::uint64_t rawSize = alignUp(tree.size(), headers.fileAlignment);
    if (placement.rawOffset + rawSize > 0xFFFFFFFFu ||
        alignUp(std::uint64_t{placement.virtualAddress} + treeSize, headers.sectionAlignment) >
            0xFFFFFFFFu) {
        edit.error = "the executable would grow beyond 4 GB";
        return edit;
    }

    std::string& out = edit.bytes;
    out.assign(image.substr(0, std::min<std::size_t>(image.size(), placement.rawOffset)));
    out.resize(placement.rawOffset, '\0');
    out += tree;
    out.resize(placement.rawOffset + rawSize, '\0');
    writeSectionHeader(out, placement, treeSize, static_cast<std::uint32_t>(rawSize));
    updateImageHeaders(out, headers, placement, treeSize, static_cast<std::uint32_t>(rawSize));
    return edit;
}

}  // namespace tesmo::tools

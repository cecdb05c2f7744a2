#include "tools/image_files.h"

#include "tools/byte_fields.h"

namespace tesmo::tools {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kIconDirectorySize = 6;
constexpr std::size_t kIconFileEntrySize = 16;
constexpr std::size_t kIconGroupEntrySize = 14;
constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

std::uint32_t get(std::string_view bytes, std::size_t at, int size) {
    return static_cast<std::uint32_t>(littleEndianAt(bytes, at, size));
}

void append(std::string& bytes, std::uint32_t value, int size) {
    appendLittleEndian(bytes, value, size);
}

struct DibLayout {
    std::size_t pixelOffset = 0;  // from the start of the bitmap header
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = kRgb;
};

// The header's fields, and the sizes of what lies between the header and the pixels.
struct DibHeader {
    DibLayout layout;
    std::size_t headerSize = 0;
    std::size_t colourSize = 4;  // bytes per colour table entry
    std::size_t colours = 0;
    std::size_t masks = 0;  // bytes of colour masks behind a short header
};

std::string readDibHeader(std::string_view dib, DibHeader& header) {
    if (dib.size() < 4) return "the bitmap has no header";
    DibLayout& layout = header.layout;
    std::size_t headerSize = header.headerSize = get(dib, 0, 4);
    if (headerSize == kCoreHeaderSize && dib.size() >= kCoreHeaderSize) {
        layout.width = static_cast<std::int32_t>(get(dib, 4, 2));
        layout.height = static_cast<std::int32_t>(get(dib, 6, 2));
        layout.bitCount = get(dib, 10, 2);
        header.colourSize = 3;
        return {};
    }
    if ((headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 ||
         headerSize == 108 || headerSize == 124) &&
        dib.size() >= headerSize) {
        layout.width = static_cast<std::int32_t>(get(dib, 4, 4));
        auto height = static_cast<std::int32_t>(get(dib, 8, 4));
        if (height == INT32_MIN) return "the bitmap's height is out of range";
        layout.height = height < 0 ? -height : height;
        layout.bitCount = get(dib, 14, 2);
        layout.compression = get(dib, 16, 4);
        header.colours = get(dib, 32, 4);
        if (headerSize == kInfoHeaderSize && layout.compression == kBitFields) header.masks = 12;
        if (headerSize == kInfoHeaderSize && layout.compression == kAlphaBitFields)
            header.masks = 16;
        return {};
    }
    return "the bitmap's header is of an unknown kind or cut off";
}

std::string pixelFormatFault(const DibLayout& layout) {
    if (layout.compression == kJpeg || layout.compression == kPng) {
        return "the bitmap holds a JPEG or PNG image, which a bitmap resource cannot show; "
               "save it as an uncompressed bitmap";
    }
    if (layout.compression > kAlphaBitFields) return "the bitmap uses an unknown compression";
    std::uint32_t bits = layout.bitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return "the bitmap has " + std::to_string(bits) +
               " bits per pixel, which is not a "
               "bitmap format";
    }
    if (layout.width <= 0 || layout.height == 0) return "the bitmap has no pixels";
    return {};
}

// Sets where the pixels start; the colour table and the pixels must lie inside the bitmap.
std::string placePixels(std::string_view dib, DibHeader& header) {
    DibLayout& layout = header.layout;
    std::uint32_t bits = layout.bitCount;
    if (header.colours == 0 && bits <= 8) header.colours = std::size_t{1} << bits;
    if (header.colours > 256 && bits <= 8) {
        return "the bitmap's colour table is larger than its pixels can address";
    }
    layout.pixelOffset = header.headerSize + header.masks + header.colours * header.colourSize;
    if (layout.pixelOffset > dib.size()) return "the bitmap's colour table is cut off";
    if (layout.compression != kRle8 && layout.compression != kRle4) {
        std::uint64_t row =
            (std::uint64_t{static_cast<std::uint32_t>(layout.width)} * bits + 31) / 32 * 4;
        if (row * static_cast<std::uint32_t>(layout.height) > dib.size() - layout.pixelOffset) {
            return "the bitmap's pixels are cut off";
        }
    }
    return {};
}

// Where the pixels of a bitmap resource start: behind the header, the colour masks that a
// short header leaves out and the colour table.
std::optional<DibLayout> dibLayout(std::string_view dib, std::string& error) {
    DibHeader header;
    std::string fault = readDibHeader(dib, header);
    if (fault.empty()) fault = pixelFormatFault(header.layout);
    if (fault.empty()) fault = placePixels(dib, header);
    if (!fault.empty()) {
        error = fault;
        return std::nullopt;
    }
    return header.layout;
}

}  // namespace

std::optional<Bitmap> bitmapFromFile(std::string_view file, std::string& error) {
    if (file.size() < kFileHeaderSize || file.substr(0, 2) != "BM") {
        error = "not a bitmap file (it does not start with \"BM\")";
        return std::nullopt;
    }
    std::string_view dib = file.substr(kFileHeaderSize);
    std::optional<DibLayout> layout = dibLayout(dib, error);
    if (!layout) return std::nullopt;
    std::uint32_t pixels = get(file, 10, 4);
    if (pixels != kFileHeaderSize + layout->pixelOffset) {
        error = "the bitmap's pixels start at byte " + std::to_string(pixels) +
                " instead of directly behind its colour table (byte " +
                std::to_string(kFileHeaderSize + layout->pixelOffset) +
                "), which a bitmap resource cannot express; save it again with another program";
        return std::nullopt;
    }
    return Bitmap{std::string(dib), layout->width, layout->height};
}

std::optional<std::string> bitmapFileFromResource(std::string_view resource, std::string& error) {
    std::optional<DibLayout> layout = dibLayout(resource, error);
    if (!layout) return std::nullopt;
    std::string file = "BM";
    append(file, static_cast<std::uint32_t>(kFileHeaderSize + resource.size()), 4);
    append(file, 0, 4);
    append(file, static_cast<std::uint32_t>(kFileHeaderSize + layout->pixelOffset), 4);
    file += resource;
    return file;
}

std::optional<IconResources> iconFromFile(std::string_view file, std::uint16_t firstId,
                                          std::string& error) {
    if (file.size() < kIconDirectorySize || get(file, 0, 2) != 0 || get(file, 2, 2) != 1) {
        error = "not an icon file (.ico)";
        return std::nullopt;
    }
    std::size_t count = get(file, 4, 2);
    if (count == 0) {
        error = "the icon file holds no images";
        return std::nullopt;
    }
    if (file.size() < kIconDirectorySize + count * kIconFileEntrySize) {
        error = "the icon file's directory is cut off";
        return std::nullopt;
    }
    if (std::size_t{firstId} + count > 0xFFFF) {
        error = "the executable has no free icon numbers left";
        return std::nullopt;
    }
    IconResources icon;
    append(icon.group, 0, 2);
    append(icon.group, 1, 2);
    append(icon.group, static_cast<std::uint32_t>(count), 2);
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view entry = file.substr(kIconDirectorySize + i * kIconFileEntrySize);
        std::uint32_t size = get(entry, 8, 4);
        std::uint32_t offset = get(entry, 12, 4);
        std::string label = "image " + std::to_string(i + 1) + " of the icon file";
        if (offset > file.size() || size > file.size() - offset || size < kPngSignature.size()) {
            error = label + " lies outside the file";
            return std::nullopt;
        }
        std::string_view image = file.substr(offset, size);
        std::uint32_t planes = get(entry, 4, 2);
        std::uint32_t bitCount = get(entry, 6, 2);
        if (image.substr(0, kPngSignature.size()) == kPngSignature) {
            // Windows picks an image by these fields; PNG images are always 32-bit.
            if (planes == 0) planes = 1;
            if (bitCount == 0) bitCount = 32;
        } else if (image.size() >= kInfoHeaderSize && get(image, 0, 4) == kInfoHeaderSize) {
            if (planes == 0) planes = get(image, 12, 2);
            if (bitCount == 0) bitCount = get(image, 14, 2);
        } else {
            error = label + " is neither a bitmap nor a PNG image";
            return std::nullopt;
        }
        icon.group.append(entry.substr(0, 4));
        append(icon.group, planes, 2);
        append(icon.group, bitCount, 2);
        append(icon.group, size, 4);
        append(icon.group, static_cast<std::uint32_t>(firstId + i), 2);
        icon.images.emplace_back(image);
    }
    return icon;
}

std::vector<std::uint16_t> iconIdsOfGroup(std::string_view group) {
    std::vector<std::uint16_t> ids;
    if (group.size() < kIconDirectorySize) return ids;
    std::size_t count = get(group, 4, 2);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = kIconDirectorySize + i * kIconGroupEntrySize;
        if (entry + kIconGroupEntrySize > group.size()) break;
        ids.push_back(static_cast<std::uint16_t>(get(group, entry + 12, 2)));
    }
    return ids;
}

std::optional<std::string> iconFileFromResources(
    std::string_view group, const std::function<std::optional<std::string>(std::uint16_t)>& image,
    std::string& error) {
    std::vector<std::uint16_t> ids = iconIdsOfGroup(group);
    if (ids.empty() || group.size() < kIconDirectorySize + ids.size() * kIconGroupEntrySize) {
        error = "the icon group is empty or cut off";
        return std::nullopt;
    }
    std::string directory = std::string(group.substr(0, kIconDirectorySize));
    std::string images;
    std::size_t offset = kIconDirectorySize + ids.size() * kIconFileEntrySize;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::optional<std::string> bytes = image(ids[i]);
        if (!bytes) {
            error = "the icon group names image " + std::to_string(ids[i]) + ", which is missing";
            return std::nullopt;
        }
        std::string_view entry = group.substr(kIconDirectorySize + i * kIconGroupEntrySize);
        directory.append(entry.substr(0, 8));
        append(directory, static_cast<std::uint32_t>(bytes->size()), 4);
        append(directory, static_cast<std::uint32_t>(offset + images.size()), 4);
        images += *bytes;
    }
    return directory + images;
}

}  // namespace tesmo::tools

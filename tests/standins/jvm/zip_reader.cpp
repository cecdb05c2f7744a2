#include "zip_reader.h"

#include <array>

#include "inflate.h"

namespace standin::jvm {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kEncrypted = 0x0001;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | (std::uint32_t(b[at + 1]) << 8) |
           (std::uint32_t(b[at + 2]) << 16) | (std::uint32_t(b[at + 3]) << 24);
}

// The last end record whose comment fits inside the buffer: a comment may itself hold the
// signature, so the search goes from the end backwards.
std::optional<std::size_t> findEndRecord(const std::vector<std::uint8_t>& b) {
    if (b.size() < kEndSize) return std::nullopt;
    std::size_t lowest = b.size() - kEndSize > kMaxComment ? b.size() - kEndSize - kMaxComment : 0;
    for (std::size_t at = b.size() - kEndSize + 1; at-- > lowest;) {
        if (u32(b, at) == kEndSignature && at + kEndSize + u16(b, at + 20) <= b.size()) {
            return at;
        }
    }
    return std::nullopt;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> made{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

ZipArchive::Opened ZipArchive::open(std::vector<std::uint8_t> bytes) {
    Opened result;
    auto fail = [&](const char* reason) {
        result.error = reason;
        return std::move(result);
    };
    auto end = findEndRecord(bytes);
    if (!end) return fail("no end of central directory record");
    std::size_t e = *end;
    std::uint16_t disk = u16(bytes, e + 4);
    std::uint16_t centralDisk = u16(bytes, e + 6);
    std::uint16_t entriesHere = u16(bytes, e + 8);
    std::uint16_t entriesTotal = u16(bytes, e + 10);
    std::uint32_t centralSize = u32(bytes, e + 12);
    std::uint32_t centralOffset = u32(bytes, e + 16);
    bool zip64Locator =
        e >= kZip64LocatorSize && u32(bytes, e - kZip64LocatorSize) == kZip64LocatorSignature;
    if (zip64Locator || entriesTotal == 0xFFFF || centralSize == 0xFFFFFFFFu ||
        centralOffset == 0xFFFFFFFFu) {
        return fail("ZIP64 archives are not supported");
    }
    if (disk != 0 || centralDisk != 0 || entriesHere != entriesTotal) {
        return fail("archives spanning several disks are not supported");
    }
    if (centralSize > e)
        return fail("the central directory is larger than the data before the end record");
    std::size_t centralStart = e - centralSize;
    // Whatever lies before the archive shifts every offset it records by the same amount.
    if (centralOffset > centralStart)
        return fail("the central directory offset lies beyond its position");
    std::size_t archiveStart = centralStart - centralOffset;
    if (std::size_t(entriesTotal) * kCentralSize > centralSize) {
        return fail("the end record counts more entries than the central directory can hold");
    }

    ZipArchive archive;
    archive.entries_.reserve(entriesTotal);
    std::size_t at = centralStart;
    for (std::uint16_t i = 0; i < entriesTotal; ++i) {
        if (e - at < kCentralSize)
            return fail("a central directory header runs past the directory");
        if (u32(bytes, at) != kCentralSignature)
            return fail("a central directory header has a bad signature");
        std::size_t nameLength = u16(bytes, at + 28);
        std::size_t extraLength = u16(bytes, at + 30);
        std::size_t commentLength = u16(bytes, at + 32);
        std::size_t total = kCentralSize + nameLength + extraLength + commentLength;
        if (e - at < total) return fail("a central directory header runs past the directory");
        ZipEntry entry;
        entry.flags = u16(bytes, at + 8);
        entry.method = u16(bytes, at + 10);
        entry.crc = u32(bytes, at + 16);
        entry.compressedSize = u32(bytes, at + 20);
        entry.size = u32(bytes, at + 24);
        entry.localHeaderOffset = u32(bytes, at + 42);
        entry.name.assign(reinterpret_cast<const char*>(bytes.data() + at + kCentralSize),
                          nameLength);
        if (entry.compressedSize == 0xFFFFFFFFu || entry.size == 0xFFFFFFFFu ||
            entry.localHeaderOffset == 0xFFFFFFFFu) {
            return fail("ZIP64 archives are not supported");
        }
        archive.entries_.push_back(std::move(entry));
        at += total;
    }
    archive.bytes_ = std::move(bytes);
    archive.archiveStart_ = archiveStart;
    archive.centralStart_ = centralStart;
    result.archive = std::move(archive);
    return result;
}

const ZipEntry* ZipArchive::find(std::string_view name) const {
    for (const auto& entry : entries_) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

ZipExtract ZipArchive::extract(const ZipEntry& entry) const {
    ZipExtract result;
    auto fail = [&](const char* reason) {
        result.error = reason;
        return std::move(result);
    };
    if (entry.flags & kEncrypted) return fail("the entry is encrypted");
    if (entry.method != kStored && entry.method != kDeflated)
        return fail("the entry's compression method is not supported");
    if (entry.size > kMaxEntrySize)
        return fail("the entry declares more data than a class file can hold");
    // Local headers and data lie before the central directory.
    std::size_t limit = centralStart_;
    std::size_t local = archiveStart_ + std::size_t(entry.localHeaderOffset);
    if (local > limit || limit - local < kLocalSize)
        return fail("the local header lies outside the archive");
    if (u32(bytes_, local) != kLocalSignature) return fail("the local header has a bad signature");
    std::size_t dataStart = local + kLocalSize + u16(bytes_, local + 26) + u16(bytes_, local + 28);
    if (dataStart > limit || limit - dataStart < entry.compressedSize) {
        return fail("the entry's data runs past the archive");
    }
    std::span<const std::uint8_t> stored(bytes_.data() + dataStart, entry.compressedSize);
    if (entry.method == kStored) {
        if (entry.compressedSize != entry.size) return fail("a stored entry's sizes differ");
        result.data.assign(stored.begin(), stored.end());
    } else {
        InflateResult inflated = inflate(stored, entry.size);
        if (!inflated.ok) {
            result.error = "the entry does not inflate: " + inflated.error;
            return result;
        }
        if (inflated.data.size() != entry.size)
            return fail("the entry inflates to another size than declared");
        result.data = std::move(inflated.data);
    }
    if (crc32(result.data) != entry.crc) {
        result.data.clear();
        return fail("the entry's CRC does not match");
    }
    result.ok = true;
    return result;
}

}  // namespace standin::jvm

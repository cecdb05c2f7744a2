// Reads the archives of a class path the way the JDK's ZipFile does: from the central
// directory found through the end record, with data before the archive allowed (a jar
// appended to an executable). Entries stored or deflated are read, the CRC checked; ZIP64,
// encryption, archives spanning disks and other methods are refused with a reason. Every
// length and offset is checked against the buffer before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace standin::jvm {

struct ZipEntry {
    std::string name;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    // Relative to the archive's start, which need not be the buffer's start.
    std::uint32_t localHeaderOffset = 0;
};

struct ZipExtract {
    bool ok = false;
    std::vector<std::uint8_t> data;
    std::string error;
};

class ZipArchive {
  public:
    // Entries that declare more are refused rather than allocated.
    static constexpr std::uint32_t kMaxEntrySize = 64u << 20;

    struct Opened;
    static Opened open(std::vector<std::uint8_t> bytes);

    const std::vector<ZipEntry>& entries() const { return entries_; }
    // The first entry of that name.
    const ZipEntry* find(std::string_view name) const;
    ZipExtract extract(const ZipEntry& entry) const;

  private:
    ZipArchive() = default;

    std::vector<std::uint8_t> bytes_;
    std::vector<ZipEntry> entries_;
    std::size_t archiveStart_ = 0;
    std::size_t centralStart_ = 0;
};

struct ZipArchive::Opened {
    std::optional<ZipArchive> archive;
    std::string error;
};

std::uint32_t crc32(std::span<const std::uint8_t> data);

}  // namespace standin::jvm

#include <gtest/gtest.h>

#include <algorithm>

#include "jvm/fixtures/fixtures.h"
#include "jvm/zip_reader.h"

namespace standin::jvm {
namespace {

using fixtures::fixture;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t(b[at + 3]) << 24);
}
std::uint16_t get16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The test's own look at an archive's layout, for patching it.
std::size_t endRecord(const Bytes& b) {
    for (std::size_t at = b.size() - 22 + 1; at-- > 0;) {
        if (get32(b, at) == 0x06054b50) return at;
    }
    throw std::runtime_error("no end record");
}
std::size_t centralHeader(const Bytes& b, std::string_view name) {
    std::size_t end = endRecord(b);
    std::size_t at = end - get32(b, end + 12);
    while (at < end) {
        std::size_t nameLength = get16(b, at + 28);
        if (std::string_view(reinterpret_cast<const char*>(&b[at + 46]), nameLength) == name)
            return at;
        at += 46 + nameLength + get16(b, at + 30) + get16(b, at + 32);
    }
    throw std::runtime_error("no central header for " + std::string(name));
}

ZipArchive opened(Bytes bytes) {
    auto result = ZipArchive::open(std::move(bytes));
    if (!result.archive) throw std::runtime_error("does not open: " + result.error);
    return std::move(*result.archive);
}

std::string openError(Bytes bytes) {
    auto result = ZipArchive::open(std::move(bytes));
    EXPECT_FALSE(result.archive.has_value());
    return result.error;
}

std::string extractError(Bytes bytes, std::string_view name) {
    ZipArchive archive = opened(std::move(bytes));
    const ZipEntry* entry = archive.find(name);
    if (entry == nullptr) throw std::runtime_error("no entry " + std::string(name));
    ZipExtract result = archive.extract(*entry);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.data.empty());
    return result.error;
}

const std::vector<std::string> kClasses = {"com/example/Hello.class",
                                           "com/example/InstanceMain.class",
                                           "com/example/NoMain.class",
                                           "com/example/PrivateMain.class",
                                           "com/example/Tool.class",
                                           "com/korvane/runtime/launcher/FirstRun.class",
                                           "com/korvane/runtime/launcher/WinLauncher.class",
                                           "com/tesmo/runtime/WinLauncher.class"};

TEST(StandinZipReader, ReadsEveryClassOfJarsMadeByJar) {
    for (const char* jar : {"deflated.jar", "stored.jar", "prefixed.jar"}) {
        ZipArchive archive = opened(fixture(jar));
        std::vector<std::string> names;
        for (const auto& entry : archive.entries()) names.push_back(entry.name);
        EXPECT_NE(std::find(names.begin(), names.end(), "META-INF/MANIFEST.MF"), names.end())
            << jar;
        for (const auto& name : kClasses) {
            const ZipEntry* entry = archive.find(name);
            ASSERT_NE(entry, nullptr) << jar << " " << name;
            EXPECT_EQ(entry->method, std::string(jar) == "stored.jar" ? 0 : 8)
                << jar << " " << name;
            ZipExtract extracted = archive.extract(*entry);
            ASSERT_TRUE(extracted.ok) << jar << " " << name << ": " << extracted.error;
            EXPECT_EQ(extracted.data, fixture("classes/" + name)) << jar << " " << name;
        }
        EXPECT_EQ(archive.find("com/example/Missing.class"), nullptr);
    }
}

TEST(StandinZipReader, ReadsArchivesOfPythonsZipfileIncludingALargeDeflatedEntry) {
    for (const char* zip : {"python-stored.zip", "python-deflated.zip"}) {
        ZipArchive archive = opened(fixture(zip));
        ZipExtract hello = archive.extract(*archive.find("com/example/Hello.class"));
        ASSERT_TRUE(hello.ok) << zip << ": " << hello.error;
        EXPECT_EQ(hello.data, fixture("classes/com/example/Hello.class"));
        ZipExtract notes = archive.extract(*archive.find("notes/readme.txt"));
        ASSERT_TRUE(notes.ok) << notes.error;
        EXPECT_EQ(notes.data.size(), 220u);
    }
    ZipArchive big = opened(fixture("python-deflated.zip"));
    ZipExtract content = big.extract(*big.find("big.txt"));
    ASSERT_TRUE(content.ok) << content.error;
    EXPECT_EQ(content.data, fixture("big.txt"));
    ZipArchive resources = opened(fixture("resources.jar"));
    ZipExtract fromJar = resources.extract(*resources.find("big.txt"));
    ASSERT_TRUE(fromJar.ok) << fromJar.error;
    EXPECT_EQ(fromJar.data, fixture("big.txt"));
    EXPECT_TRUE(opened(fixture("empty.zip")).entries().empty());
}

TEST(StandinZipReader, Crc32MatchesTheStandardCheckValue) {
    std::string check = "123456789";
    EXPECT_EQ(crc32(Bytes(check.begin(), check.end())), 0xCBF43926u);
    EXPECT_EQ(crc32(Bytes{}), 0u);
}

TEST(StandinZipReader, EveryTruncationIsRefusedWithoutReadingPastTheBuffer) {
    for (const char* jar : {"deflated.jar", "stored.jar"}) {
        Bytes whole = fixture(jar);
        // Copies of exactly the remaining bytes, so that the sanitizers see any read beyond.
        for (std::size_t length = 0; length < whole.size(); ++length) {
            auto tail = ZipArchive::open(Bytes(whole.begin(), whole.begin() + length));
            EXPECT_FALSE(tail.archive.has_value()) << jar << " cut to " << length;
            auto front = ZipArchive::open(Bytes(whole.begin() + length + 1, whole.end()));
            EXPECT_FALSE(front.archive.has_value()) << jar << " without " << length + 1;
        }
    }
}

TEST(StandinZipReader, RefusesHostileEndRecords) {
    Bytes jar = fixture("deflated.jar");
    std::size_t end = endRecord(jar);
    {
        Bytes b = jar;
        put16(b, end + 8, 60000);
        put16(b, end + 10, 60000);
        EXPECT_EQ(openError(b),
                  "the end record counts more entries than the central directory can hold");
    }
    {
        Bytes b = jar;
        put16(b, end + 8, get16(b, end + 8) + 1);
        put16(b, end + 10, get16(b, end + 10) + 1);
        EXPECT_EQ(openError(b), "a central directory header runs past the directory");
    }
    {
        Bytes b = jar;
        put32(b, end + 12, static_cast<std::uint32_t>(end + 1));
        EXPECT_EQ(openError(b),
                  "the central directory is larger than the data before the end record");
    }
    {
        Bytes b = jar;
        put32(b, end + 16, get32(b, end + 16) + 1);
        EXPECT_EQ(openError(b), "the central directory offset lies beyond its position");
    }
    {
        Bytes b = jar;
        put16(b, end + 4, 1);
        EXPECT_EQ(openError(b), "archives spanning several disks are not supported");
    }
    {
        Bytes b = jar;
        put16(b, end + 10, 0xFFFF);
        EXPECT_EQ(openError(b), "ZIP64 archives are not supported");
    }
    {
        // A comment length reaching beyond the buffer makes the record no end record.
        Bytes b = jar;
        put16(b, end + 20, 1);
        EXPECT_EQ(openError(b), "no end of central directory record");
    }
    EXPECT_EQ(openError(Bytes{}), "no end of central directory record");
    EXPECT_EQ(openError(fixture("classes/com/example/Hello.class")),
              "no end of central directory record");
}

TEST(StandinZipReader, RefusesHostileCentralHeaders) {
    Bytes jar = fixture("deflated.jar");
    std::size_t header = centralHeader(jar, "com/example/Hello.class");
    {
        Bytes b = jar;
        put16(b, header + 28, 0xFFFF);
        EXPECT_EQ(openError(b), "a central directory header runs past the directory");
    }
    {
        Bytes b = jar;
        put32(b, header, 0x12345678);
        EXPECT_EQ(openError(b), "a central directory header has a bad signature");
    }
    {
        Bytes b = jar;
        put32(b, header + 20, 0xFFFFFFFFu);
        EXPECT_EQ(openError(b), "ZIP64 archives are not supported");
    }
}

TEST(StandinZipReader, RefusesEntriesItCannotReadSafely) {
    Bytes jar = fixture("deflated.jar");
    const std::string name = "com/example/Hello.class";
    std::size_t header = centralHeader(jar, name);
    std::size_t end = endRecord(jar);
    std::size_t central = end - get32(jar, end + 12);
    auto patched = [&](auto change) {
        Bytes b = jar;
        change(b);
        return extractError(std::move(b), name);
    };
    EXPECT_EQ(
        patched([&](Bytes& b) { put32(b, header + 42, static_cast<std::uint32_t>(central)); }),
        "the local header lies outside the archive");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 42, 0xFFFFFFF0u); }),
              "the local header lies outside the archive");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 42, get32(b, header + 42) + 1); }),
              "the local header has a bad signature");
    EXPECT_EQ(
        patched([&](Bytes& b) { put32(b, header + 20, static_cast<std::uint32_t>(central)); }),
        "the entry's data runs past the archive");
    EXPECT_EQ(patched([&](Bytes& b) { put16(b, header + 10, 12); }),
              "the entry's compression method is not supported");
    EXPECT_EQ(patched([&](Bytes& b) { put16(b, header + 8, get16(b, header + 8) | 1); }),
              "the entry is encrypted");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 24, ZipArchive::kMaxEntrySize + 1); }),
              "the entry declares more data than a class file can hold");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 16, get32(b, header + 16) ^ 1); }),
              "the entry's CRC does not match");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 24, get32(b, header + 24) + 1); }),
              "the entry inflates to another size than declared");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 24, get32(b, header + 24) - 1); }),
              "the entry does not inflate: more data than the entry declares");
    EXPECT_EQ(patched([&](Bytes& b) { put32(b, header + 20, get32(b, header + 20) / 2); }),
              "the entry does not inflate: the compressed data ends early");

    Bytes stored = fixture("stored.jar");
    std::size_t storedHeader = centralHeader(stored, name);
    put32(stored, storedHeader + 24, get32(stored, storedHeader + 24) - 1);
    EXPECT_EQ(extractError(stored, name), "a stored entry's sizes differ");
}

}  // namespace
}  // namespace standin::jvm

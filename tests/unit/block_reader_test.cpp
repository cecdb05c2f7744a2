#include "config/block_reader.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A small image and block assembled by hand, independent of the block writer, so the
// reader is checked against the format and not against its own twin.
struct Bytes {
    std::string data;
    void u16(std::uint16_t v) { data.append({char(v & 0xFF), char(v >> 8)}); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) data.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void text(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        data += s;
    }
    void wide(const std::u16string& s) {
        u32(static_cast<std::uint32_t>(s.size() * 2));
        for (char16_t c : s) u16(c);
    }
};

// An image with `sections` sections whose last one ends at `imageEnd`.
std::string image(std::uint32_t header, std::uint16_t optionalSize, std::uint16_t sections,
                  std::uint32_t imageEnd) {
    Bytes b;
    b.data.assign(header + 24 + optionalSize + 40 * sections, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.data[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    put32(60, header);
    b.data[header + 6] = char(sections & 0xFF);
    b.data[header + 7] = char(sections >> 8);
    b.data[header + 20] = char(optionalSize & 0xFF);
    b.data[header + 21] = char(optionalSize >> 8);
    std::size_t last = header + 24 + optionalSize + 40 * (sections - 1);
    std::uint32_t rawSize = 512;
    put32(last + 16, rawSize);
    put32(last + 20, imageEnd - rawSize);
    b.data.resize(imageEnd, '\0');
    return b.data;
}

std::string sampleBlock() {
    Bytes b;
    b.u32(kBlockMagic);
    b.u32(0);
    b.u32(1);
    b.u64(0);
    b.u32(3);
    b.u32(101), b.text("My App");
    b.u32(107), b.text("1");
    b.u32(101), b.text("Later wins");
    b.u32(1);
    b.u32(1000), b.wide(u"Fehler?");
    b.u32(3);
    b.text("de"), b.u32(1), b.u32(1000), b.wide(u"Fehler");
    b.text("de_CH"), b.u32(1), b.u32(1005), b.wide(u"Schweiz");
    b.text("fr"), b.u32(1), b.u32(1000), b.wide(u"Erreur");
    return b.data;
}

std::uint16_t german() {
    return 0x0807;
}
bool noInterfaceLanguage(std::uint16_t*) {
    return false;
}
const LocaleSource kSwissGerman{german, noInterfaceLanguage};

TEST(LocateBlock, WalksToTheEndOfTheLastSection) {
    testing::clearCapturedLog();
    MemoryFile file{image(224, 224, 5, 4096) + sampleBlock()};
    FileReader reader = memoryFileReader(file);
    ASSERT_EQ(locateBlock(reader), ReadFailure::None);
    EXPECT_EQ(file.offset, 4096);
    const std::vector<std::string> expected = {
        "number of sections: 5", "size of optional headers: 224", "resSectionTableStart: 632",
        "rawDataSize: 512, rawDataOffset: 3584"};
    EXPECT_EQ(testing::capturedLog(), expected);
}

TEST(ParseBlock, ReadsRecordsAndAppliesMatchingSetsInOrder) {
    std::string block = sampleBlock();
    MemoryFile file{block + "tail"};
    FileReader reader = memoryFileReader(file);
    ConfigurationBlock result;
    ASSERT_EQ(parseBlock(reader, nullptr, kSwissGerman, result), ReadFailure::None);
    EXPECT_EQ(result.narrow.at(101), "Later wins");
    EXPECT_EQ(result.narrow.at(107), "1");
    EXPECT_EQ(result.locale, "de_CH");
    EXPECT_EQ(result.wide.at(1000), u"Fehler");
    EXPECT_EQ(result.wide.at(1005), u"Schweiz");
    EXPECT_EQ(result.endPosition, static_cast<std::int64_t>(block.size()));
}

TEST(ParseBlock, EndPositionDoesNotDependOnTheLocale) {
    std::string block = sampleBlock();
    for (auto language : {std::uint16_t(0x0409), std::uint16_t(0x040C), std::uint16_t(0x0807)}) {
        static std::uint16_t chosen;
        chosen = language;
        LocaleSource source{[] { return chosen; }, noInterfaceLanguage};
        MemoryFile file{block};
        FileReader reader = memoryFileReader(file);
        ConfigurationBlock result;
        ASSERT_EQ(parseBlock(reader, nullptr, source, result), ReadFailure::None);
        EXPECT_EQ(result.endPosition, static_cast<std::int64_t>(block.size()));
    }
}

TEST(ParseBlock, AnEmptyBlockIsValidAWrongMagicIsNot) {
    Bytes empty;
    empty.u32(kBlockMagic), empty.u32(0), empty.u32(0), empty.u64(12), empty.u32(0), empty.u32(0),
        empty.u32(0);
    std::string wrongMagic = sampleBlock();
    wrongMagic[0] ^= 1;
    for (const auto& [block, expected] :
         {std::pair{empty.data, ReadFailure::None}, std::pair{wrongMagic, ReadFailure::Magic}}) {
        MemoryFile file{block};
        FileReader reader = memoryFileReader(file);
        ConfigurationBlock result;
        EXPECT_EQ(parseBlock(reader, nullptr, kSwissGerman, result), expected);
        EXPECT_TRUE(result.narrow.empty());
        EXPECT_TRUE(result.wide.empty());
    }
}

// Every truncation fails with the primitive that met the end, never succeeds and never
// reads past the data.
TEST(ParseBlock, EveryTruncationNamesThePrimitive) {
    std::string block = sampleBlock();
    for (std::size_t length = 0; length < block.size(); ++length) {
        MemoryFile file{block.substr(0, length)};
        FileReader reader = memoryFileReader(file);
        ConfigurationBlock result;
        ReadFailure failure = parseBlock(reader, nullptr, kSwissGerman, result);
        EXPECT_NE(failure, ReadFailure::None) << length;
        EXPECT_NE(failure, ReadFailure::Magic) << length;
        EXPECT_NE(failure, ReadFailure::ReadShort) << length;
    }
}

TEST(ParseBlock, TruncationInsideEachPrimitive) {
    Bytes header;
    header.u32(kBlockMagic), header.u32(0), header.u32(0);
    struct Case {
        std::string data;
        ReadFailure expected;
    };
    Bytes narrow = header;
    narrow.u64(0), narrow.u32(1), narrow.u32(101), narrow.u32(10);
    narrow.data += "abc";
    Bytes wide = header;
    wide.u64(0), wide.u32(0), wide.u32(1), wide.u32(1000), wide.u32(8);
    wide.data += "ab";
    const Case cases[] = {
        {header.data.substr(0, 2), ReadFailure::ReadInt},
        {header.data + "1234", ReadFailure::ReadLong},
        {narrow.data, ReadFailure::ReadString},
        {wide.data, ReadFailure::ReadWString},
    };
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        MemoryFile file{c.data};
        FileReader reader = memoryFileReader(file);
        ConfigurationBlock result;
        EXPECT_EQ(parseBlock(reader, nullptr, kSwissGerman, result), c.expected);
    }
    testing::clearCapturedLog();
    MemoryFile file{header.data.substr(0, 6)};
    FileReader reader = memoryFileReader(file);
    std::int32_t value;
    readInt(reader, value);
    ASSERT_EQ(readInt(reader, value), ReadFailure::ReadInt);
    EXPECT_EQ(testing::capturedLog().back(), "error 0 2\n");
}

TEST(ParseBlock, MalformedLengthsAreRefusedBeforeAllocating) {
    struct Case {
        std::int32_t length;
        bool wide;
        ReadFailure expected;
    };
    const Case cases[] = {{-1, false, ReadFailure::ReadString},
                          {0x7FFFFFFF, false, ReadFailure::ReadString},
                          {3, true, ReadFailure::ReadWString},
                          {-2, true, ReadFailure::ReadWString}};
    for (const Case& c : cases) {
        Bytes b;
        b.u32(static_cast<std::uint32_t>(c.length));
        b.data += "abcdef";
        MemoryFile file{b.data};
        FileReader reader = memoryFileReader(file);
        if (c.wide) {
            WideString value;
            EXPECT_EQ(readWString(reader, value), c.expected) << c.length;
        } else {
            std::string value;
            EXPECT_EQ(readString(reader, value), c.expected) << c.length;
        }
    }
}

TEST(LocateBlock, ImagesTooShortForTheirHeadersFail) {
    for (std::size_t length : {0u, 30u, 63u, 300u}) {
        MemoryFile file{image(128, 224, 3, 2048).substr(0, length)};
        FileReader reader = memoryFileReader(file);
        EXPECT_NE(locateBlock(reader), ReadFailure::None) << length;
    }
    MemoryFile noSections{image(128, 224, 1, 2048)};
    noSections.bytes[128 + 6] = 0;
    FileReader reader = memoryFileReader(noSections);
    EXPECT_NE(locateBlock(reader), ReadFailure::None);
}

}  // namespace
}  // namespace tesmo

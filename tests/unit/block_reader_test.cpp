#include "config/block_reader.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

// Assembled by hand, not by the block writer, so the reader meets the format, not its twin.
struct Bytes {
    std::string data;
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void text(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        data += s;
    }
    void wide(const std::u16string& s) {
        u32(static_cast<std::uint32_t>(s.size() * 2));
        for (char16_t c : s) data.append({char(c & 0xFF), char(c >> 8)});
    }
};

std::string sampleBlock() {
    Bytes b;
    b.u32(kBlockMagic), b.u32(0), b.u32(1), b.u32(0), b.u32(0);
    b.u32(2);
    b.u32(101), b.text("My App");
    b.u32(101), b.text("Later wins");
    b.u32(1);
    b.u32(1000), b.wide(u"Fehler?");
    b.u32(2);
    b.text("de"), b.u32(1), b.u32(1000), b.wide(u"Fehler");
    b.text("de_CH"), b.u32(1), b.u32(1005), b.wide(u"Schweiz");
    return b.data;
}

ReadFailure parse(const std::string& bytes, std::uint16_t language, ConfigurationBlock& result) {
    static std::uint16_t chosen;
    chosen = language;
    MemoryFile file{bytes};
    FileReader reader = memoryFileReader(file);
    return parseBlock(reader, nullptr,
                      {[] { return chosen; }, [](std::uint16_t*) { return false; }}, result);
}

TEST(ParseBlock, LaterRecordsAndMatchingSetsWinAndTheEndIsTheSameForEveryLocale) {
    const std::string block = sampleBlock();
    const std::tuple<std::uint16_t, const char*, std::map<std::int32_t, WideString>> cases[] = {
        {0x0409, "en_US", {{1000, u"Fehler?"}}},
        {0x0807, "de_CH", {{1000, u"Fehler"}, {1005, u"Schweiz"}}}};
    for (const auto& [language, locale, wide] : cases) {
        ConfigurationBlock result;
        ASSERT_EQ(parse(block + "tail", language, result), ReadFailure::None);
        EXPECT_EQ(result.narrow, (std::map<std::int32_t, std::string>{{101, "Later wins"}}));
        EXPECT_EQ(result.locale, locale);
        EXPECT_EQ(result.wide, wide);
        EXPECT_EQ(result.endPosition, static_cast<std::int64_t>(block.size()));
    }
}

// A cut block fails with the primitive that met the end, never succeeds and never reads
// past the data; a length no block can hold is refused before anything is allocated.
TEST(ParseBlock, CutBlocksAndImpossibleLengthsFail) {
    std::string block = sampleBlock();
    for (std::size_t length = 0; length < block.size(); ++length) {
        ConfigurationBlock result;
        ReadFailure failure = parse(block.substr(0, length), 0x0409, result);
        EXPECT_NE(failure, ReadFailure::None) << length;
        EXPECT_NE(failure, ReadFailure::Magic) << length;
        EXPECT_NE(failure, ReadFailure::ReadShort) << length;
    }
    for (const auto& [length, wide] : {std::pair{-1, false}, {0x7FFFFFFF, false}, {3, true}}) {
        Bytes b;
        b.u32(static_cast<std::uint32_t>(length));
        b.data += "abcdef";
        MemoryFile file{b.data};
        FileReader reader = memoryFileReader(file);
        std::string narrowValue;
        WideString wideValue;
        EXPECT_EQ(wide ? readWString(reader, wideValue) : readString(reader, narrowValue),
                  wide ? ReadFailure::ReadWString : ReadFailure::ReadString)
            << length;
    }
}

}  // namespace
}  // namespace tesmo

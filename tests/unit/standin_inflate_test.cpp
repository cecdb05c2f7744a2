#include <gtest/gtest.h>

#include "jvm/fixtures/fixtures.h"
#include "jvm/inflate.h"

namespace standin::jvm {
namespace {

using fixtures::fixture;

// Writes DEFLATE bits: fields least significant bit first, Huffman codes most significant
// bit first, as RFC 1951 orders them.
class Bits {
  public:
    void field(unsigned value, int count) {
        for (int i = 0; i < count; ++i) bit((value >> i) & 1);
    }
    void code(unsigned value, int length) {
        for (int i = length - 1; i >= 0; --i) bit((value >> i) & 1);
    }
    // A literal/length symbol of the fixed code.
    void fixed(unsigned symbol) {
        if (symbol < 144) {
            code(0x30 + symbol, 8);
        } else if (symbol < 256) {
            code(0x190 + symbol - 144, 9);
        } else if (symbol < 280) {
            code(symbol - 256, 7);
        } else {
            code(0xC0 + symbol - 280, 8);
        }
    }
    std::vector<std::uint8_t> bytes() const { return data_; }

  private:
    void bit(unsigned value) {
        if (used_ == 0) data_.push_back(0);
        data_.back() |= static_cast<std::uint8_t>(value << used_);
        used_ = (used_ + 1) % 8;
    }
    std::vector<std::uint8_t> data_;
    int used_ = 0;
};

std::string text(const std::vector<std::uint8_t>& data) {
    return std::string(data.begin(), data.end());
}

TEST(StandinInflate, DecodesStreamsZlibMadeWithEveryBlockType) {
    auto expected = fixture("big.txt");
    for (const char* name : {"raw/stored.deflate", "raw/fixed.deflate", "raw/dynamic.deflate",
                             "raw/flushed.deflate"}) {
        auto input = fixture(name);
        InflateResult result = inflate(input, expected.size());
        ASSERT_TRUE(result.ok) << name << ": " << result.error;
        EXPECT_EQ(result.data, expected) << name;
        EXPECT_EQ(result.consumed, input.size()) << name;
    }
    InflateResult empty = inflate(fixture("raw/empty.deflate"), 0);
    EXPECT_TRUE(empty.ok) << empty.error;
    EXPECT_TRUE(empty.data.empty());
}

TEST(StandinInflate, EveryTruncationFailsInsideTheInput) {
    auto expected = fixture("big.txt");
    for (const char* name : {"raw/stored.deflate", "raw/fixed.deflate", "raw/dynamic.deflate"}) {
        auto input = fixture(name);
        for (std::size_t length = 0; length < input.size(); length += 1 + length / 64) {
            // A copy of exactly `length` bytes, so that the sanitizers see any read beyond it.
            std::vector<std::uint8_t> cut(input.begin(), input.begin() + length);
            InflateResult result = inflate(cut, expected.size());
            EXPECT_FALSE(result.ok) << name << " cut to " << length;
            EXPECT_LE(result.consumed, length);
        }
    }
}

TEST(StandinInflate, StopsAtTheOutputLimit) {
    auto expected = fixture("big.txt");
    InflateResult result = inflate(fixture("raw/dynamic.deflate"), expected.size() - 1);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "more data than the entry declares");
    EXPECT_EQ(result.data.size(), expected.size() - 1);
}

TEST(StandinInflate, HandMadeFixedBlocksWithBackReferences) {
    Bits bits;
    bits.field(1, 1);
    bits.field(1, 2);
    bits.fixed('a');
    bits.fixed('b');
    // Length 5 (symbol 259) at distance 2 (code 1): an overlapping copy.
    bits.fixed(259);
    bits.code(1, 5);
    bits.fixed(256);
    InflateResult result = inflate(bits.bytes(), 100);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(text(result.data), "abababa");
}

// Every length and distance code at the bottom and top of its range, written with the
// tables of RFC 1951 as transcribed here, against a plain copy loop.
TEST(StandinInflate, EveryLengthAndDistanceCode) {
    const unsigned lengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
    const unsigned distanceBase[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    auto extraBits = [](const unsigned* base, int code, int count, unsigned top) {
        unsigned next = code + 1 < count ? base[code + 1] : top;
        int bits = 0;
        while ((1u << bits) < next - base[code]) ++bits;
        return bits;
    };
    std::vector<std::uint8_t> expected;
    for (unsigned i = 0; i < 32768; ++i)
        expected.push_back(static_cast<std::uint8_t>(i * 7 + i / 251));

    Bits bits;
    // The history: one stored block of 32768 bytes in two halves.
    for (int half = 0; half < 2; ++half) {
        bits.field(0, 1);
        bits.field(0, 2);
        bits.field(0, 5);
        bits.field(16384, 16);
        bits.field(~16384u & 0xFFFF, 16);
        for (unsigned i = 0; i < 16384; ++i) bits.field(expected[half * 16384 + i], 8);
    }
    bits.field(1, 1);
    bits.field(1, 2);
    for (int step = 0; step < 60; ++step) {
        int lengthCode = step % 29;
        int distanceCode = step % 30;
        bool top = step >= 30;
        int lengthExtra = lengthCode == 28 ? 0 : extraBits(lengthBase, lengthCode, 29, 259);
        int distanceExtra = extraBits(distanceBase, distanceCode, 30, 32769);
        unsigned lengthOffset = top ? (1u << lengthExtra) - 1 : 0;
        unsigned distanceOffset = top ? (1u << distanceExtra) - 1 : 0;
        bits.fixed(257 + lengthCode);
        bits.field(lengthOffset, lengthExtra);
        bits.code(distanceCode, 5);
        bits.field(distanceOffset, distanceExtra);
        std::size_t length = lengthBase[lengthCode] + lengthOffset;
        std::size_t distance = distanceBase[distanceCode] + distanceOffset;
        for (std::size_t i = 0; i < length; ++i)
            expected.push_back(expected[expected.size() - distance]);
    }
    bits.fixed(256);
    InflateResult result = inflate(bits.bytes(), expected.size());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.data, expected);
}

TEST(StandinInflate, RefusesMalformedStreams) {
    auto failure = [](const Bits& bits) {
        InflateResult result = inflate(bits.bytes(), 1000);
        EXPECT_FALSE(result.ok);
        return result.error;
    };
    {
        Bits bits;
        bits.field(1, 1);
        bits.field(3, 2);
        EXPECT_EQ(failure(bits), "invalid block type");
    }
    {
        Bits bits;
        bits.field(1, 1);
        bits.field(1, 2);
        bits.fixed('a');
        bits.fixed(257);
        bits.code(1, 5);
        EXPECT_EQ(failure(bits), "a distance reaches before the start");
    }
    {
        Bits bits;
        bits.field(1, 1);
        bits.field(1, 2);
        bits.fixed('a');
        bits.fixed(286);
        EXPECT_EQ(failure(bits), "invalid length code");
    }
    {
        Bits bits;
        bits.field(1, 1);
        bits.field(1, 2);
        bits.fixed('a');
        bits.fixed(257);
        // Distance codes 30 and 31 exist in no table; the decoder reads on to the longest
        // code length before it gives up.
        bits.code(30, 5);
        bits.field(0, 16);
        EXPECT_EQ(failure(bits), "a code that the block's table does not hold");
    }
    {
        Bits bits;
        bits.field(1, 1);
        bits.field(0, 2);
        bits.field(0, 5);
        bits.field(5, 16);
        bits.field(5, 16);
        EXPECT_EQ(failure(bits), "stored block length check fails");
    }
    {
        // Three code length codes of one bit: over-subscribed by one code.
        Bits bits;
        bits.field(1, 1);
        bits.field(2, 2);
        bits.field(0, 5);
        bits.field(0, 5);
        bits.field(0, 4);
        for (unsigned length : {1, 1, 1, 0}) bits.field(length, 3);
        EXPECT_EQ(failure(bits), "over-subscribed code length code");
    }
    {
        // One code length code of one bit leaves half the codes unused.
        Bits bits;
        bits.field(1, 1);
        bits.field(2, 2);
        bits.field(0, 5);
        bits.field(0, 5);
        bits.field(0, 4);
        for (unsigned length : {1, 0, 0, 0}) bits.field(length, 3);
        EXPECT_EQ(failure(bits), "incomplete code length code");
    }
    {
        // 30 literal/length and 30 distance codes declared, beyond the 286 and 30 allowed.
        Bits bits;
        bits.field(1, 1);
        bits.field(2, 2);
        bits.field(30, 5);
        bits.field(29, 5);
        bits.field(0, 4);
        EXPECT_EQ(failure(bits), "too many length or distance codes");
    }
    {
        // Two code length codes (0 and 1) of one bit: lengths for symbols 0..256 of which
        // symbol 256, the end of block, gets none.
        Bits bits;
        bits.field(1, 1);
        bits.field(2, 2);
        bits.field(0, 5);
        bits.field(0, 5);
        bits.field(14, 4);
        const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        for (int i = 0; i < 18; ++i) bits.field(order[i] == 0 || order[i] == 1 ? 1 : 0, 3);
        for (int i = 0; i < 258; ++i) bits.code(i == 0 ? 1 : 0, 1);
        EXPECT_EQ(failure(bits), "no end-of-block code");
    }
    {
        // A repeat of the previous length as the very first length.
        Bits bits;
        bits.field(1, 1);
        bits.field(2, 2);
        bits.field(0, 5);
        bits.field(0, 5);
        bits.field(0, 4);
        // Code length codes 16, 17, 18, 0 of two bits each: a complete code in which symbol
        // 0 is 00 and symbol 16 is 01.
        for (int i = 0; i < 4; ++i) bits.field(2, 3);
        bits.code(1, 2);
        EXPECT_EQ(failure(bits), "a repeat with no length before it");
    }
}

}  // namespace
}  // namespace standin::jvm

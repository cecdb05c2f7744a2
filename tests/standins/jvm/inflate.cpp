#include "inflate.h"

#include <array>

namespace standin::jvm {
namespace {

constexpr int kMaxBits = 15;
constexpr int kMaxLiteralCodes = 286;
constexpr int kMaxDistanceCodes = 30;
constexpr int kFixedLiteralCodes = 288;

struct Failure {
    const char* reason;
};

// Canonical Huffman code as counts per length and symbols in code order: enough to decode
// one bit at a time without building tables.
struct Huffman {
    std::array<std::uint16_t, kMaxBits + 1> count{};
    std::array<std::uint16_t, kFixedLiteralCodes> symbol{};
};

// Fills `h` from code lengths; returns 0 for a complete code, a positive number for an
// incomplete one and a negative one for an over-subscribed one.
int build(Huffman& h, const std::uint8_t* lengths, int n) {
    h.count.fill(0);
    for (int i = 0; i < n; ++i) h.count[lengths[i]]++;
    if (h.count[0] == n) return 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return left;
    }
    std::array<std::uint16_t, kMaxBits + 1> offset{};
    for (int len = 1; len < kMaxBits; ++len) offset[len + 1] = offset[len] + h.count[len];
    for (int i = 0; i < n; ++i) {
        if (lengths[i] != 0) h.symbol[offset[lengths[i]]++] = static_cast<std::uint16_t>(i);
    }
    return left;
}

class Inflater {
  public:
    Inflater(std::span<const std::uint8_t> input, std::size_t limit)
        : input_(input), limit_(limit) {}

    void run() {
        bool last = false;
        while (!last) {
            last = bits(1) == 1;
            switch (bits(2)) {
                case 0:
                    stored();
                    break;
                case 1:
                    fixed();
                    break;
                case 2:
                    dynamic();
                    break;
                default:
                    throw Failure{"invalid block type"};
            }
        }
    }

    std::vector<std::uint8_t>& output() { return out_; }
    std::size_t consumed() const { return position_; }

  private:
    int bits(int need) {
        std::uint32_t value = bitBuffer_;
        while (bitCount_ < need) {
            if (position_ >= input_.size()) throw Failure{"the compressed data ends early"};
            value |= std::uint32_t(input_[position_++]) << bitCount_;
            bitCount_ += 8;
        }
        bitBuffer_ = value >> need;
        bitCount_ -= need;
        return static_cast<int>(value & ((1u << need) - 1));
    }

    void put(std::uint8_t byte) {
        if (out_.size() >= limit_) throw Failure{"more data than the entry declares"};
        out_.push_back(byte);
    }

    void stored() {
        bitBuffer_ = 0;
        bitCount_ = 0;
        if (input_.size() - position_ < 4) throw Failure{"the compressed data ends early"};
        unsigned length = input_[position_] | (input_[position_ + 1] << 8);
        unsigned complement = input_[position_ + 2] | (input_[position_ + 3] << 8);
        position_ += 4;
        if (length != (~complement & 0xFFFFu)) throw Failure{"stored block length check fails"};
        if (input_.size() - position_ < length) throw Failure{"the compressed data ends early"};
        for (unsigned i = 0; i < length; ++i) put(input_[position_ + i]);
        position_ += length;
    }

    int decode(const Huffman& h) {
        int code = 0;
        int first = 0;
        int index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= bits(1);
            int count = h.count[len];
            if (code - count < first) return h.symbol[index + (code - first)];
            index += count;
            first += count;
            first <<= 1;
            code <<= 1;
        }
        throw Failure{"a code that the block's table does not hold"};
    }

    void codes(const Huffman& literals, const Huffman& distances) {
        static constexpr std::uint16_t kLengthBase[29] = {
            3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
            31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr std::uint8_t kLengthExtra[29] = {
            0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static constexpr std::uint16_t kDistanceBase[30] = {
            1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                            4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                            9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        while (true) {
            int symbol = decode(literals);
            if (symbol < 256) {
                put(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == 256) return;
            symbol -= 257;
            if (symbol >= 29) throw Failure{"invalid length code"};
            std::size_t length = kLengthBase[symbol] + bits(kLengthExtra[symbol]);
            int distanceSymbol = decode(distances);
            if (distanceSymbol >= 30) throw Failure{"invalid distance code"};
            std::size_t distance =
                kDistanceBase[distanceSymbol] + bits(kDistanceExtra[distanceSymbol]);
            if (distance > out_.size()) throw Failure{"a distance reaches before the start"};
            for (std::size_t i = 0; i < length; ++i) put(out_[out_.size() - distance]);
        }
    }

    void fixed() {
        static const auto tables = [] {
            std::pair<Huffman, Huffman> made;
            std::array<std::uint8_t, kFixedLiteralCodes> lengths{};
            for (int i = 0; i < kFixedLiteralCodes; ++i) {
                lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
            }
            build(made.first, lengths.data(), kFixedLiteralCodes);
            lengths.fill(5);
            build(made.second, lengths.data(), kMaxDistanceCodes);
            return made;
        }();
        codes(tables.first, tables.second);
    }

    void dynamic() {
        static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                    11, 4,  12, 3, 13, 2, 14, 1, 15};
        int literalCount = bits(5) + 257;
        int distanceCount = bits(5) + 1;
        int codeLengthCount = bits(4) + 4;
        if (literalCount > kMaxLiteralCodes || distanceCount > kMaxDistanceCodes) {
            throw Failure{"too many length or distance codes"};
        }
        std::array<std::uint8_t, kMaxLiteralCodes + kMaxDistanceCodes> lengths{};
        for (int i = 0; i < codeLengthCount; ++i)
            lengths[kOrder[i]] = static_cast<std::uint8_t>(bits(3));
        Huffman lengthCode;
        int lengthState = build(lengthCode, lengths.data(), 19);
        if (lengthState < 0) throw Failure{"over-subscribed code length code"};
        if (lengthState > 0) throw Failure{"incomplete code length code"};
        lengths.fill(0);
        int index = 0;
        while (index < literalCount + distanceCount) {
            int symbol = decode(lengthCode);
            if (symbol < 16) {
                lengths[index++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t repeated = 0;
            int times = 0;
            if (symbol == 16) {
                if (index == 0) throw Failure{"a repeat with no length before it"};
                repeated = lengths[index - 1];
                times = 3 + bits(2);
            } else if (symbol == 17) {
                times = 3 + bits(3);
            } else {
                times = 11 + bits(7);
            }
            if (index + times > literalCount + distanceCount) throw Failure{"too many lengths"};
            while (times-- > 0) lengths[index++] = repeated;
        }
        if (lengths[256] == 0) throw Failure{"no end-of-block code"};
        Huffman literals;
        Huffman distances;
        int literalState = build(literals, lengths.data(), literalCount);
        if (literalState < 0) throw Failure{"over-subscribed literal/length code"};
        // An incomplete code is allowed only when it is a single code of one bit.
        if (literalState > 0 && literalCount != literals.count[0] + literals.count[1]) {
            throw Failure{"incomplete literal/length code"};
        }
        int distanceState = build(distances, lengths.data() + literalCount, distanceCount);
        if (distanceState < 0) throw Failure{"over-subscribed distance code"};
        if (distanceState > 0 && distanceCount != distances.count[0] + distances.count[1]) {
            throw Failure{"incomplete distance code"};
        }
        codes(literals, distances);
    }

    std::span<const std::uint8_t> input_;
    std::size_t limit_;
    std::size_t position_ = 0;
    std::uint32_t bitBuffer_ = 0;
    int bitCount_ = 0;
    std::vector<std::uint8_t> out_;
};

}  // namespace

InflateResult inflate(std::span<const std::uint8_t> input, std::size_t outputLimit) {
    InflateResult result;
    Inflater inflater(input, outputLimit);
    try {
        inflater.run();
        result.ok = true;
    } catch (const Failure& failure) {
        result.error = failure.reason;
    }
    result.consumed = inflater.consumed();
    result.data = std::move(inflater.output());
    return result;
}

}  // namespace standin::jvm

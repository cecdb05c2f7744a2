#include "tools/launcher_decoder.h"

#include <algorithm>

#include "config/block_reader.h"
#include "core/keys.h"
#include "core/settings.h"
#include "files/included_files.h"
#include "tools/pe_layout.h"

namespace tesmo::tools {

namespace {

// Bounds-checked little-endian reads over a launcher's bytes; the first failure sticks.
class ByteReader {
  public:
    ByteReader(std::string_view bytes, std::size_t at) : bytes_(bytes), at_(at) {}

    bool failed() const { return failed_; }
    std::size_t position() const { return at_; }

    std::string_view take(std::uint64_t size) {
        if (failed_ || size > bytes_.size() - at_) {
            failed_ = true;
            return {};
        }
        std::string_view part = bytes_.substr(at_, size);
        at_ += size;
        return part;
    }

    std::int64_t number(int size) {
        std::string_view part = take(size);
        if (failed_) return 0;
        std::uint64_t value = littleEndianAt(part, 0, size);
        if (size == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return static_cast<std::int64_t>(value);
    }

    std::string counted() {
        std::int64_t length = number(4);
        if (length < 0) failed_ = true;
        return std::string(take(failed_ ? 0 : static_cast<std::uint64_t>(length)));
    }

    WideString countedWide() {
        std::string bytes = counted();
        if (bytes.size() % 2 != 0) failed_ = true;
        WideString text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return text;
    }

    std::vector<WideRecord> wideRecords() {
        std::vector<WideRecord> records;
        for (std::int64_t n = number(4); n > 0 && !failed_; --n) {
            auto key = static_cast<std::int32_t>(number(4));
            WideString value = countedWide();
            if (!failed_) records.push_back({key, std::move(value)});
        }
        return records;
    }

  private:
    std::string_view bytes_;
    std::size_t at_;
    bool failed_ = false;
};

// Where the launcher looks for its block, and whether one is there.
bool locateBlock(std::string_view bytes, DecodedLauncher& result) {
    PeLayout layout;
    switch (readPeLayout(bytes, layout)) {
        case PeFault::NoMzHeader:
            result.error = "not a Windows executable (no MZ header)";
            return false;
        case PeFault::NoPeHeader:
            result.error = "not a Windows executable (no PE header)";
            return false;
        case PeFault::None:
            break;
    }
    if (layout.sectionCount == 0 || !layout.sectionTableFits) {
        result.error = "the section table is missing or cut off";
        return false;
    }
    result.blockStart = peImageEnd(bytes, layout);
    if (result.blockStart + 4 > bytes.size() ||
        littleEndianAt(bytes, result.blockStart, 4) != kBlockMagic) {
        result.error = "no configuration block behind the last section (a bare stub?)";
        return false;
    }
    return true;
}

// The launcher's own reading: names from key 2003, as many entries as key 2002 counts.
bool readIncludedFiles(ByteReader& reader, DecodedLauncher& result) {
    const NarrowRecord* count = lastNarrow(result.description, kKeyIncludedFileCount);
    const NarrowRecord* names = lastNarrow(result.description, kKeyIncludedFileNames);
    int remaining = count ? parseDecimal(count->value) : 0;
    std::string_view list = names ? std::string_view(names->value) : std::string_view();
    for (std::size_t start = 0; remaining > 0 && start < list.size();) {
        std::size_t end = std::min(list.find(';', start), list.size());
        std::string_view name = list.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        std::int64_t size = reader.number(8);
        std::string content(reader.take(size > 0 ? static_cast<std::uint64_t>(size) : 0));
        maskIncludedBytes(reinterpret_cast<unsigned char*>(content.data()), content.size());
        if (reader.failed()) {
            result.error = "the included file \"" + std::string(name) + "\" is cut off";
            return false;
        }
        result.description.included.push_back({widenBytes(name), std::move(content)});
        --remaining;
    }
    return true;
}

}  // namespace

DecodedLauncher decodeLauncher(std::string_view bytes) {
    DecodedLauncher result;
    if (!locateBlock(bytes, result)) return result;

    ByteReader reader(bytes, result.blockStart + 4);
    result.headerValue1 = static_cast<std::int32_t>(reader.number(4));
    result.headerValue2 = static_cast<std::int32_t>(reader.number(4));
    result.headerValue3 = reader.number(8);
    BlockDescription& description = result.description;
    for (std::int64_t n = reader.number(4); n > 0 && !reader.failed(); --n) {
        auto key = static_cast<std::int32_t>(reader.number(4));
        std::string value = reader.counted();
        if (!reader.failed()) description.narrow.push_back({key, std::move(value)});
    }
    description.wide = reader.wideRecords();
    for (std::int64_t n = reader.number(4); n > 0 && !reader.failed(); --n) {
        std::string prefix = reader.counted();
        std::vector<WideRecord> records = reader.wideRecords();
        if (!reader.failed()) description.localized.push_back({prefix, std::move(records)});
    }
    if (reader.failed()) {
        result.error = "the configuration block is cut off or malformed";
        return result;
    }
    result.blockEnd = reader.position();

    if (!readIncludedFiles(reader, result)) return result;
    result.filesEnd = reader.position();
    return result;
}

}  // namespace tesmo::tools

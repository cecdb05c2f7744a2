#include "config/block_reader.h"

#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"

namespace tesmo {

namespace {

// Executable header fields are 16-bit and unsigned; a section count above 32767 is
// still a count, not a negative number.
int unsignedShort(std::int16_t value) {
    return static_cast<std::uint16_t>(value);
}

}  // namespace

ReadFailure locateBlock(FileReader& file) {
    ReadFailure failure;
    std::int32_t header = 0;
    std::int16_t sections = 0;
    std::int16_t optionalSize = 0;
    if (!file.seek(file.context, 60)) return ReadFailure::ReadInt;
    if ((failure = readInt(file, header)) != ReadFailure::None) return failure;

    std::int64_t h = static_cast<std::uint32_t>(header);
    file.seek(file.context, h + 6);
    if ((failure = readShort(file, sections)) != ReadFailure::None) return failure;
    int s = unsignedShort(sections);
    logMessage("number of sections: %d", s);

    file.seek(file.context, h + 20);
    if ((failure = readShort(file, optionalSize)) != ReadFailure::None) return failure;
    int o = unsignedShort(optionalSize);
    logMessage("size of optional headers: %d", o);

    std::int64_t lastSection = h + o + 40LL * s - 16;
    logMessage("resSectionTableStart: %d", static_cast<int>(lastSection));

    std::int32_t rawSize = 0;
    std::int32_t rawOffset = 0;
    // An image without sections has no last section header to read.
    if (s == 0 || !file.seek(file.context, lastSection + 16)) return ReadFailure::ReadInt;
    if ((failure = readInt(file, rawSize)) != ReadFailure::None) return failure;
    if ((failure = readInt(file, rawOffset)) != ReadFailure::None) return failure;
    logMessage("rawDataSize: %d, rawDataOffset: %d", rawSize, rawOffset);

    std::int64_t start = static_cast<std::int64_t>(static_cast<std::uint32_t>(rawOffset)) +
                         static_cast<std::uint32_t>(rawSize);
    if (!file.seek(file.context, start)) return ReadFailure::ReadInt;
    return ReadFailure::None;
}

ReadFailure parseBlock(FileReader& file, const std::vector<WideString>* argumentList,
                       const LocaleSource& localeSource, ConfigurationBlock& block) {
    ReadFailure failure;
    std::int32_t value32 = 0;
    std::int64_t value64 = 0;

    if ((failure = readInt(file, value32)) != ReadFailure::None) return failure;
    if (static_cast<std::uint32_t>(value32) != kBlockMagic) return ReadFailure::Magic;
    if ((failure = readInt(file, value32)) != ReadFailure::None) return failure;
    if ((failure = readInt(file, value32)) != ReadFailure::None) return failure;
    if ((failure = readLong(file, value64)) != ReadFailure::None) return failure;

    std::int32_t count = 0;
    if ((failure = readInt(file, count)) != ReadFailure::None) return failure;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t key = 0;
        std::string text;
        if ((failure = readInt(file, key)) != ReadFailure::None) return failure;
        if ((failure = readString(file, text)) != ReadFailure::None) return failure;
        block.narrow[key] = std::move(text);
    }

    if ((failure = readInt(file, count)) != ReadFailure::None) return failure;
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t key = 0;
        WideString text;
        if ((failure = readInt(file, key)) != ReadFailure::None) return failure;
        if ((failure = readWString(file, text)) != ReadFailure::None) return failure;
        block.wide[key] = std::move(text);
    }

    block.locale = chooseLocale(argumentList, localeSource);

    std::int32_t sets = 0;
    if ((failure = readInt(file, sets)) != ReadFailure::None) return failure;
    for (std::int32_t set = 0; set < sets; ++set) {
        std::string prefix;
        if ((failure = readString(file, prefix)) != ReadFailure::None) return failure;
        bool matches = startsWith(std::string_view(block.locale), prefix);
        if ((failure = readInt(file, count)) != ReadFailure::None) return failure;
        for (std::int32_t i = 0; i < count; ++i) {
            std::int32_t key = 0;
            WideString text;
            if ((failure = readInt(file, key)) != ReadFailure::None) return failure;
            if ((failure = readWString(file, text)) != ReadFailure::None) return failure;
            if (matches) {
                block.localized[key] = text;
                block.wide[key] = std::move(text);
            }
        }
    }
    block.endPosition = file.position(file.context);
    return ReadFailure::None;
}

int applyConfigurationBlock(ConfigurationBlock&& block) {
    narrowSettings = std::move(block.narrow);
    wideSettings = std::move(block.wide);
    localizedSettings = std::move(block.localized);
    userLanguage = block.locale.substr(0, 2);
    userCountry = block.locale.size() == 5 ? block.locale.substr(3, 2) : "";
    blockEndPosition = block.endPosition;
    return getSettingInt(kKeyExecutableType);
}

bool isQuietExecutableType(int executableType) {
    return executableType != 1 && executableType != 5;
}

}  // namespace tesmo

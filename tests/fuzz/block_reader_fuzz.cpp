// The configuration block: locating it behind the image, parsing it, then every setting
// read as the launcher reads it, through the key table's type and capacity of each key.
//
// Input: a whole launcher file when it starts with "MZ"; otherwise a block, put behind a
// small image of one section as the block writer puts it behind the stub. The last two
// bytes also pick the user's language, so that localized sets are chosen or passed over.
#include <climits>
#include <cstdlib>
#include <string>

#include "config/block_reader.h"
#include "core/keys.h"
#include "core/messages.h"
#include "core/settings.h"
#include "files/included_files.h"
#include "runtime/search_sequence.h"
#include "splash/splash_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace tesmo {
namespace {

std::uint16_t language = 0;

std::uint16_t userDefaultLanguage() {
    return language;
}

bool userInterfaceLanguage(std::uint16_t* value) {
    *value = static_cast<std::uint16_t>(language >> 8 | language << 8);
    return true;
}

void put(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Headers at 0x40, one section whose raw data ends the image at 0x400.
std::string smallImage() {
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put(image, 60, 0x40, 4);
    image.replace(0x40, 4, "PE\0\0", 4);
    put(image, 0x40 + 6, 1, 2);
    put(image, 0x40 + 20, 240, 2);
    std::size_t section = 0x40 + 24 + 240;
    put(image, section + 16, 0x200, 4);
    put(image, section + 20, 0x200, 4);
    return image;
}

// What the C library makes of the text, for comparison with the launcher's own parser.
int referenceDecimal(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void readAsText(const KeyInfo& info, const std::string* stored) {
    std::string text = getSettingString(info.key, info.capacity);
    FUZZ_REQUIRE(text.size() < info.capacity);
    FUZZ_REQUIRE(stored ? stored->compare(0, text.size(), text) == 0 : text.empty());
    WideString wide = getSettingWideString(info.key, info.capacity);
    FUZZ_REQUIRE(wide == widenBytes(text));
    // Each byte becomes one code unit, so the narrow code page gives the same bytes back.
    bool defaultUsed = true;
    FUZZ_REQUIRE(toNarrow(wide, &defaultUsed) == text && !defaultUsed);
}

void readSetting(const KeyInfo& info) {
    auto found = narrowSettings.find(info.key);
    const std::string* stored = found == narrowSettings.end() ? nullptr : &found->second;
    switch (info.type) {
        case KeyType::Text:
        case KeyType::Wide:
            readAsText(info, stored);
            break;
        case KeyType::Int:
            // Numbers are read from the text as cut to its capacity, like any other text.
            FUZZ_REQUIRE(getSettingInt(info.key) == referenceDecimal(getSettingString(info.key)));
            break;
        case KeyType::Colour: {
            std::uint32_t colour = getSettingColour(info.key);
            FUZZ_REQUIRE(colour <= 0xFFFFFFu);
            std::string text = getSettingString(info.key);
            std::string red = text.substr(0, text.find(','));
            FUZZ_REQUIRE((colour & 0xFFu) ==
                         (static_cast<std::uint32_t>(parseDecimal(red)) & 0xFFu));
            break;
        }
    }
}

// The readers that take a setting further than its text.
void useSettings() {
    for (std::int32_t id = kMessageTitle; id <= kMessageDamagedJvm64; ++id) {
        WideString argument = getSettingWideString(kKeyMainClass);
        WideString text = substituteArgument(getSettingWideString(id, kMessageCapacity), &argument);
        WideString message = composeMessage(text, getSettingWideString(kKeyErrorLogFile));
        FUZZ_REQUIRE(text.size() < kMessageCapacity && message.size() < kMessageCapacity);
    }
    WideString status = fitStatusText(widenBytes(getSettingString(kKeyStatusLineText)));
    FUZZ_REQUIRE(status.size() < kPathCapacity);

    int count = getSettingInt(kKeyIncludedFileCount);
    std::vector<WideString> names =
        includedFileNames(getSettingWideString(kKeyIncludedFileNames), count);
    FUZZ_REQUIRE(names.size() <= static_cast<std::size_t>(count < 0 ? 0 : count));
    for (const WideString& name : names) {
        FUZZ_REQUIRE(!name.empty() && name.find(u';') == WideString::npos);
        if (isSafeIncludedName(name)) {
            std::size_t slash = name.find(u'\\');
            FUZZ_REQUIRE(
                name.find_first_of(u":/") == WideString::npos && name != u".." &&
                name.front() != u'\\' && name.back() != u'\\' &&
                (slash == WideString::npos || name.find(u'\\', slash + 1) == WideString::npos));
        }
    }
    for (const SearchEntry& entry : parseSearchSequence(getSettingWideString(kKeySearchSequence))) {
        FUZZ_REQUIRE(entry.letter != u';' && entry.text.find(u';') == WideString::npos);
    }
    WideString preferred = getSettingWideString(kKeyPreferredVmType, 200);
    FUZZ_REQUIRE(vmDirectoryOrder(preferred).size() == (preferred.empty() ? 5u : 6u));
}

}  // namespace
}  // namespace tesmo

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view input = fuzz::bytesOf(data, size);
    MemoryFile file;
    if (input.substr(0, 2) != "MZ") file.bytes = smallImage();
    file.bytes.append(input);
    language = size >= 2 ? static_cast<std::uint16_t>(data[size - 2] | data[size - 1] << 8) : 0;
    std::vector<WideString> arguments = {u"launcher.exe"};
    if (language & 1) arguments.push_back(u"-Dsun.locale.formatasdefault=false");

    FileReader reader = memoryFileReader(file);
    ConfigurationBlock block;
    ReadFailure failure = locateBlock(reader);
    std::int64_t start = reader.position(reader.context);
    LocaleSource locale{userDefaultLanguage, userInterfaceLanguage};
    if (failure == ReadFailure::None) failure = parseBlock(reader, &arguments, locale, block);
    if (failure == ReadFailure::None) {
        // Magic, two ints, a long and three counts at the least.
        FUZZ_REQUIRE(block.endPosition >= start + 32);
        FUZZ_REQUIRE(block.endPosition <= static_cast<std::int64_t>(file.bytes.size()));
        FUZZ_REQUIRE(block.locale.size() >= 2);
    } else {
        FUZZ_REQUIRE(*readFailureMessage(failure) != '\0');
    }

    // As the launcher does: narrow texts read so far serve the failure message too.
    narrowSettings = std::move(block.narrow);
    wideSettings = std::move(block.wide);
    for (std::size_t i = 0; i < kKeyTableSize; ++i) readSetting(kKeyTable[i]);
    useSettings();
    return 0;
}

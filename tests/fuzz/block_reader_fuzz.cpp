// The configuration block: located behind the image, parsed, then every setting read as the
// launcher reads it. Input: a whole launcher file when it starts with "MZ", otherwise a block
// behind a small image; the last two bytes also pick the user's language.
#include "config/block_reader.h"
#include "core/keys.h"
#include "core/settings.h"
#include "runtime/search_sequence.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/fake_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tesmo;
    std::string_view input = fuzz::bytesOf(data, size);
    MemoryFile file;
    if (input.substr(0, 2) != "MZ") file.bytes = tools::fakeImage(1);
    file.bytes.append(input);
    static std::uint16_t language;
    language = size >= 2 ? static_cast<std::uint16_t>(data[size - 2] | data[size - 1] << 8) : 0;
    std::vector<WideString> arguments = {u"launcher.exe"};

    FileReader reader = memoryFileReader(file);
    ConfigurationBlock block;
    ReadFailure failure = locateBlock(reader);
    std::int64_t start = reader.position(reader.context);
    LocaleSource locale{[] { return language; }, [](std::uint16_t*) { return false; }};
    if (failure == ReadFailure::None) failure = parseBlock(reader, &arguments, locale, block);
    if (failure == ReadFailure::None) {
        // Magic, two ints, a long and three counts at the least.
        FUZZ_REQUIRE(block.endPosition >= start + 32);
        FUZZ_REQUIRE(block.endPosition <= static_cast<std::int64_t>(file.bytes.size()));
    }

    // As the launcher does: narrow texts read so far serve the failure message too.
    narrowSettings = std::move(block.narrow);
    wideSettings = std::move(block.wide);
    for (std::size_t i = 0; i < kKeyTableSize; ++i) {
        const KeyInfo& info = kKeyTable[i];
        std::string text = getSettingString(info.key, info.capacity);
        FUZZ_REQUIRE(text.size() < info.capacity);
        FUZZ_REQUIRE(getSettingWideString(info.key, info.capacity) == widenBytes(text));
        FUZZ_REQUIRE(getSettingColour(info.key) <= 0xFFFFFFu);
    }
    parseSearchSequence(getSettingWideString(kKeySearchSequence));
    vmDirectoryOrder(getSettingWideString(kKeyPreferredVmType, 200));
    return 0;
}

#include "tools/block_writer.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "config/block_reader.h"
#include "core/keys.h"
#include "files/included_files.h"
#include "tools/raw_config.h"

namespace tesmo::tools {
namespace {

std::uint16_t germanLanguage() {
    return 0x0407;
}
bool noInterfaceLanguage(std::uint16_t*) {
    return false;
}
const LocaleSource kGerman{germanLanguage, noInterfaceLanguage};

std::uint64_t littleEndian(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void putLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The headers the launcher walks to find its block: two sections, the last one ending
// exactly at the end of the file.
std::string fakeStub(std::size_t size = 1024) {
    std::string stub(size, '\x90');
    stub[0] = 'M';
    stub[1] = 'Z';
    putLittleEndian(stub, 60, 0x80, 4);
    stub.replace(0x80, 4, "PE\0\0", 4);
    putLittleEndian(stub, 0x80 + 6, 2, 2);
    putLittleEndian(stub, 0x80 + 20, 0xF0, 2);
    std::size_t lastSection = 0x80 + 24 + 0xF0 + 40;
    putLittleEndian(stub, lastSection + 16, static_cast<std::uint32_t>(size - 0x200), 4);
    putLittleEndian(stub, lastSection + 20, 0x200, 4);
    return stub;
}

struct ReadBack {
    ReadFailure failure;
    ConfigurationBlock block;
};

ReadBack readBack(const std::string& bytes, bool locate) {
    MemoryFile file{bytes, 0};
    FileReader reader = memoryFileReader(file);
    ReadBack result{ReadFailure::None, {}};
    if (locate) result.failure = locateBlock(reader);
    if (result.failure == ReadFailure::None) {
        result.failure = parseBlock(reader, nullptr, kGerman, result.block);
    }
    return result;
}

TEST(BlockWriter, HandWrittenBlockReadsBackWithLaterRecordsAndMatchingSetsWinning) {
    BlockDescription description{
        .narrow = {{101, "first"}, {121, ""}, {122, "caf\xE9\xFF"}, {101, "later"}},
        .wide = {{1005, u"\u0416\U0001F600"}, {103, u""}, {1006, u"top"}},
        .localized = {{"", {{1006, u"all"}}},
                      {"de", {{1005, u"deutsch"}}},
                      {"de_AT", {{1006, u"\u00f6sterreich"}}},
                      {"fr", {{1005, u"fran\u00e7ais"}}},
                      {"de_DE", {{103, u"deutschland"}}}},
    };
    std::string bytes = encodeBlock(description);
    ASSERT_EQ(bytes.substr(0, 12), std::string("\xD5\x13\xE4\xE8\0\0\0\0\1\0\0\0", 12));
    EXPECT_EQ(littleEndian(bytes, 12, 8), bytes.size() - 12);

    ReadBack result = readBack(bytes, false);
    ASSERT_EQ(result.failure, ReadFailure::None);
    EXPECT_EQ(result.block.locale, "de_DE");
    EXPECT_EQ(result.block.endPosition, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(result.block.narrow, (std::map<std::int32_t, std::string>{
                                       {101, "later"}, {121, ""}, {122, "caf\xE9\xFF"}}));
    EXPECT_EQ(result.block.wide, (std::map<std::int32_t, WideString>{
                                     {103, u"deutschland"}, {1005, u"deutsch"}, {1006, u"all"}}));
}

TEST(BlockWriter, RandomValidDescriptionsReadBackBehindTheStub) {
    std::mt19937 random(20240611);
    auto below = [&](std::size_t limit) { return static_cast<std::size_t>(random() % limit); };
    const std::int32_t keys[] = {101, 124, 152, 2001, 10112, 5, 1005, 123456};
    const char* prefixes[] = {"", "d", "de", "de_DE", "de_DEx", "en", "fr_FR"};
    std::string stub = fakeStub();

    for (int round = 0; round < 200; ++round) {
        BlockDescription description;
        std::map<std::int32_t, std::string> narrow;
        std::map<std::int32_t, WideString> wide;
        for (std::size_t n = below(6); n-- > 0;) {
            std::int32_t key = keys[below(std::size(keys))];
            std::string value(below(findKey(key) ? findKey(key)->capacity : 40), '\0');
            for (char& c : value) c = static_cast<char>(1 + below(255));
            narrow[key] = value;
            description.narrow.push_back({key, value});
        }
        auto wideRecords = [&](bool applies) {
            std::vector<WideRecord> records;
            for (std::size_t n = below(4); n-- > 0;) {
                WideString value(below(30), u'\0');
                for (char16_t& c : value) c = static_cast<char16_t>(below(0x10000));
                std::int32_t key = keys[below(std::size(keys))];
                if (applies) wide[key] = value;
                records.push_back({key, value});
            }
            return records;
        };
        description.wide = wideRecords(true);
        for (std::size_t n = below(4); n-- > 0;) {
            std::string prefix = prefixes[below(std::size(prefixes))];
            description.localized.push_back({prefix, wideRecords(startsWith("de_DE", prefix))});
        }

        LauncherBuild build = buildLauncher(stub, description);
        ASSERT_EQ(build.errors, std::vector<std::string>{}) << "round " << round;
        ReadBack result = readBack(build.bytes, true);
        ASSERT_EQ(result.failure, ReadFailure::None) << "round " << round;
        EXPECT_EQ(result.block.narrow, narrow) << "round " << round;
        EXPECT_EQ(result.block.wide, wide) << "round " << round;
        EXPECT_EQ(result.block.endPosition, static_cast<std::int64_t>(build.bytes.size()));
        EXPECT_EQ(littleEndian(build.bytes, stub.size() + 12, 8),
                  build.bytes.size() - stub.size() - 12);
    }
}

TEST(BlockWriter, IncludedFilesFollowTheBlockMaskedInTheOrderOfKey2003) {
    std::string big(6001, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    BlockDescription description{
        .narrow = {{101, "app"}},
        .included = {{u"a.txt", "abc"}, {u"lib\\empty.jar", ""}, {u"big.bin", big}}};
    std::string stub = fakeStub();
    LauncherBuild build = buildLauncher(stub, description);
    ASSERT_EQ(build.errors, std::vector<std::string>{});
    ASSERT_EQ(build.bytes.substr(0, stub.size()), stub);

    ReadBack result = readBack(build.bytes, true);
    ASSERT_EQ(result.failure, ReadFailure::None);
    EXPECT_EQ(result.block.narrow[2002], "3");
    EXPECT_EQ(result.block.narrow[2003], "a.txt;lib\\empty.jar;big.bin");

    std::size_t at = static_cast<std::size_t>(result.block.endPosition);
    for (const IncludedFile& file : description.included) {
        SCOPED_TRACE(toUtf8(file.name));
        ASSERT_LE(at + 8, build.bytes.size());
        std::size_t size = littleEndian(build.bytes, at, 8);
        ASSERT_EQ(size, file.content.size());
        std::string content = build.bytes.substr(at + 8, size);
        for (char& c : content) c = static_cast<char>(c ^ kIncludedFileMask);
        EXPECT_EQ(content, file.content);
        at += 8 + size;
    }
    EXPECT_EQ(at, build.bytes.size());
}

TEST(BlockWriter, ExplicitIncludedFileKeysThatAgreeAreKeptAsGiven) {
    BlockDescription description{.narrow = {{2003, "b;a"}, {2002, "2"}},
                                 .included = {{u"b", "1"}, {u"a", "2"}}};
    EXPECT_EQ(withIncludedFileKeys(description).narrow, description.narrow);
    EXPECT_TRUE(withIncludedFileKeys(BlockDescription{}).narrow.empty());
}

BlockDescription narrowOfLength(std::int32_t key, std::size_t length) {
    return {.narrow = {{key, std::string(length, 'v')}}};
}

BlockDescription includedNames(std::vector<WideString> names, std::vector<NarrowRecord> keys = {}) {
    BlockDescription description{.narrow = std::move(keys)};
    for (WideString& name : names) description.included.push_back({std::move(name), "x"});
    return description;
}

TEST(BlockWriter, ValidationRefusesWhatTheLauncherWouldMisread) {
    struct Case {
        const char* label;
        BlockDescription description;
        std::optional<std::string> error;
    };
    const Case cases[] = {
        {"fixed arguments fit", narrowOfLength(124, 1999), {}},
        {"fixed arguments", narrowOfLength(124, 2000),
         "key 124: the value has 2000 characters, but the launcher reads at most 1999"},
        {"VM type fits", narrowOfLength(152, 199), {}},
        {"VM type", narrowOfLength(152, 200), "key 152: the value has 200 characters"},
        {"flavour fits", narrowOfLength(2001, 1), {}},
        {"flavour", narrowOfLength(2001, 2), "reads at most 1"},
        {"status font", narrowOfLength(10112, 32), "key 10112: the value has 32"},
        {"version font fits", narrowOfLength(10119, 31), {}},
        {"version font", narrowOfLength(10119, 32), "key 10119: the value has 32"},
        {"installation directory", narrowOfLength(10003, 2000), "key 10003: the value has 2000"},
        {"path key", narrowOfLength(121, 6000), "reads at most 5999"},
        {"unknown key fits", narrowOfLength(777777, 5999), {}},
        {"unknown key", narrowOfLength(777777, 6000), "key 777777: the value has 6000"},
        {"NUL byte", {.narrow = {{101, std::string("a\0b", 3)}}}, "NUL byte at offset 1"},
        {"prefix fits", {.localized = {{"abcdefgh", {}}}}, {}},
        {"prefix", {.localized = {{"abcdefghi", {}}}}, "the prefix has 9 characters"},
        {"directory and file", includedNames({u"dir\\file.jar", u"\u00e9t\u00e9 1.txt"}), {}},
        {"empty name", includedNames({u""}), "has an empty name"},
        {"backslash", includedNames({u"\\x"}), "starts with a slash"},
        {"slash", includedNames({u"/x"}), "starts with a slash"},
        {"network path", includedNames({u"\\\\server\\share"}), "starts with a slash"},
        {"absolute", includedNames({u"C:\\x.txt"}), "has a drive"},
        {"drive relative", includedNames({u"c:x"}), "has a drive"},
        {"parent", includedNames({u"..\\x"}), "uses \"..\""},
        {"parent at end", includedNames({u"dir\\.."}), "uses \"..\""},
        {"current", includedNames({u".\\x"}), "uses \".\""},
        {"two levels", includedNames({u"a\\b\\c"}), "more than one directory level"},
        {"trailing separator", includedNames({u"dir\\"}), "empty path component"},
        {"less than", includedNames({u"a<b"}), "contains U+003C"},
        {"colon", includedNames({u"1:b"}), "contains U+003A"},
        {"quote", includedNames({u"a\"b"}), "contains U+0022"},
        {"inner slash", includedNames({u"a/b"}), "contains U+002F"},
        {"bar", includedNames({u"a|b"}), "contains U+007C"},
        {"question mark", includedNames({u"a?b"}), "contains U+003F"},
        {"star", includedNames({u"dir\\*"}), "contains U+002A"},
        {"control", includedNames({u"a\tb"}), "contains U+0009"},
        {"separator of key 2003", includedNames({u"a;b"}), "separates the names"},
        {"beyond Latin-1", includedNames({u"\u0416.txt"}), "contains U+0416"},
        {"astral", includedNames({u"\U0001F600"}), "contains U+1F600"},
        {"trailing dot", includedNames({u"dir.\\a"}), "ending in a dot or a blank"},
        {"trailing blank", includedNames({u"a "}), "ending in a dot or a blank"},
        {"device", includedNames({u"CON"}), "reserved Windows device name"},
        {"device with extension", includedNames({u"lib\\nul.txt"}), "reserved"},
        {"numbered device", includedNames({u"Lpt9.log"}), "reserved"},
        {"superscript device", includedNames({u"com\u00b9"}), "reserved"},
        {"not a device", includedNames({u"console.txt", u"com10"}), {}},
        {"same name", includedNames({u"a.txt", u"A.TXT"}), "is already included as \"a.txt\""},
        {"same accented name", includedNames({u"\u00e9", u"\u00c9"}), "is already included"},
        {"count too high", includedNames({u"a"}, {{2002, "2"}}),
         "key 2002 counts \"2\" included files, but 1 are given"},
        {"count without files", includedNames({}, {{2002, "1"}}), "key 2002 counts \"1\""},
        {"zero count without files", includedNames({}, {{2002, "0"}}), {}},
        {"later count wins", includedNames({u"a"}, {{2002, "5"}, {2002, "1"}}), {}},
        {"names reordered", includedNames({u"a", u"b"}, {{2003, "b;a"}}),
         "key 2003 lists \"b;a\", but the included files are \"a;b\""},
        {"names without files", includedNames({}, {{2003, "a"}}), "key 2003 lists \"a\""},
        {"both given", includedNames({u"a"}, {{2002, "1"}, {2003, "a"}}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> errors = validateDescription(withIncludedFileKeys(c.description));
        LauncherBuild build = buildLauncher(fakeStub(), c.description);
        EXPECT_EQ(build.errors, errors);
        if (!c.error) {
            EXPECT_EQ(errors, std::vector<std::string>{});
            EXPECT_EQ(readBack(build.bytes, true).failure, ReadFailure::None);
            continue;
        }
        ASSERT_EQ(errors.size(), 1u) << (errors.empty() ? "" : errors[0]);
        EXPECT_NE(errors[0].find(*c.error), std::string::npos) << errors[0];
        EXPECT_TRUE(build.bytes.empty());
    }
}

TEST(BlockWriter, StubMustEndWhereTheLauncherLooksForItsBlock) {
    std::string noMz = fakeStub();
    noMz[0] = 'X';
    std::string noPe = fakeStub();
    noPe[0x81] = 'X';
    std::string noSections = fakeStub();
    putLittleEndian(noSections, 0x80 + 6, 0, 2);
    std::string cutTable = fakeStub();
    putLittleEndian(cutTable, 0x80 + 20, 0xFF00, 2);
    const std::pair<std::string, const char*> cases[] = {
        {"", "no MZ header"},
        {noMz, "no MZ header"},
        {noPe, "no PE header"},
        {noSections, "no sections"},
        {cutTable, "section table is cut off"},
        {fakeStub() + "appended",
         "ends at byte 1024, where the launcher looks for its settings, "
         "but the stub has 1032 bytes (strip"},
        {fakeStub().substr(0, 1000), "ends at byte 1024"},
        {buildLauncher(fakeStub(), {}).bytes, "it is a launcher already"},
    };
    EXPECT_EQ(validateStub(fakeStub()), std::vector<std::string>{});
    for (const auto& [stub, error] : cases) {
        SCOPED_TRACE(error);
        std::vector<std::string> errors = buildLauncher(stub, {}).errors;
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(error), std::string::npos) << errors[0];
    }
}

TEST(RawConfig, ParsesSectionsEscapesAndIncludesAndBuildsALauncher) {
    const std::string text =
        "\xEF\xBB\xBF# sample\r\n"
        "\r\n"
        "  # indented comment\n"
        "101=app id \n"
        "122=caf\xC3\xA9\n"
        "123= -Xmx1g\t-Dx=y\n"
        "wide.1005=\xD0\x96 \\u00e9\\x41\\n\n"
        "include lib\\app.jar=build/app.jar\n"
        "[locale de]\n"
        "1005=Deutsch\n"
        "wide.1006=\xD0\x96\n"
        "[locale ]\n"
        "1005=alle\n"
        "include  readme.txt = docs/read me.txt \n";
    RawConfig raw = parseRawConfig(text, "raw.txt");
    ASSERT_EQ(raw.errors, std::vector<std::string>{});
    const BlockDescription& description = raw.description;
    EXPECT_EQ(
        description.narrow,
        (std::vector<NarrowRecord>{{101, "app id "}, {122, "caf\xE9"}, {123, " -Xmx1g\t-Dx=y"}}));
    EXPECT_EQ(description.wide, (std::vector<WideRecord>{{1005, u"\u0416 \u00e9A\n"}}));
    EXPECT_EQ(description.localized,
              (std::vector<LocalizedSet>{{"de", {{1005, u"Deutsch"}, {1006, u"\u0416"}}},
                                         {"", {{1005, u"alle"}}}}));
    EXPECT_EQ(raw.includes, (std::vector<IncludeLine>{{u"lib\\app.jar", "build/app.jar", 8},
                                                      {u"readme.txt", "docs/read me.txt", 14}}));
    EXPECT_TRUE(description.included.empty());

    ReadBack result = readBack(buildLauncher(fakeStub(), description).bytes, true);
    ASSERT_EQ(result.failure, ReadFailure::None);
    EXPECT_EQ(result.block.narrow[122], "caf\xE9");
    EXPECT_EQ(result.block.wide[1005], u"alle");
    EXPECT_EQ(result.block.wide[1006], u"\u0416");
}

TEST(RawConfig, EscapesGiveBytesInNarrowAndCodeUnitsInWideRecords) {
    struct Case {
        const char* value;
        std::optional<std::string> narrow;
        WideString wide;
    };
    const Case cases[] = {
        {"a\\tb\\n\\r\\\\", "a\tb\n\r\\", u"a\tb\n\r\\"},
        {"\\x41\\xfF\\x00", std::string("A\xFF\0", 3), WideString(u"A\u00ff\0", 3)},
        {"\\u00E9\\u0041",
         "\xE9"
         "A",
         u"\u00e9A"},
        {"\\u0416", {}, u"\u0416"},
        {"\\ud83d\\ude00", {}, u"\U0001F600"},
        {"\\\\x41", "\\x41", u"\\x41"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        RawConfig narrow = parseRawConfig(std::string("7=") + c.value, "raw.txt");
        if (c.narrow) {
            ASSERT_EQ(narrow.errors, std::vector<std::string>{});
            EXPECT_EQ(narrow.description.narrow, (std::vector<NarrowRecord>{{7, *c.narrow}}));
        } else {
            ASSERT_EQ(narrow.errors.size(), 1u);
            EXPECT_NE(narrow.errors[0].find("does not fit narrow text"), std::string::npos);
        }
        RawConfig wide = parseRawConfig(std::string("wide.7=") + c.value, "raw.txt");
        ASSERT_EQ(wide.errors, std::vector<std::string>{});
        EXPECT_EQ(wide.description.wide, (std::vector<WideRecord>{{7, c.wide}}));
    }
}

TEST(RawConfig, ReportsEveryFaultWithItsLine) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"101\n",
         {"raw.txt:1: expected KEY=VALUE, wide.KEY=VALUE, include NAME=HOSTPATH or "
          "[locale PREFIX]"}},
        {"# c\nabc=1\nwide.=2\n4294967296=3",
         {"raw.txt:2: \"abc\" is not a key number", "raw.txt:3: \"\" is not a key number",
          "raw.txt:4: \"4294967296\" is not a key number"}},
        {"1=a\\q\r\n2=a\\",
         {"raw.txt:1: key 1: unknown escape \\q (write \\\\ for a backslash)",
          "raw.txt:2: key 2: the value ends in a lone backslash (write \\\\ for a backslash)"}},
        {"1=\\x4\n2=\\u12G4",
         {"raw.txt:1: key 1: \\x needs 2 hexadecimal digits",
          "raw.txt:2: key 2: \\u needs 4 hexadecimal digits"}},
        {"122=\xE2\x82\xAC",
         {"raw.txt:1: key 122: U+20AC does not fit narrow text, which holds U+0000 to U+00FF "
          "(use wide.122=)"}},
        {"1=\xFF", {"raw.txt:1: the line is not valid UTF-8"}},
        {"1=a\nwide.1=b\n\n1=c", {"raw.txt:4: key 1 is already set on line 1"}},
        {"[locale de]\n1=a\nwide.1=b\n[locale fr]\n1=c",
         {"raw.txt:3: key 1 is already set on line 2"}},
        {"[locale de]\n[locale  de ]",
         {"raw.txt:2: locale \"de\" already starts a section on line 1"}},
        {"[locale\n[localede]\n[section]",
         {"raw.txt:1: expected [locale PREFIX]", "raw.txt:2: expected [locale PREFIX]",
          "raw.txt:3: expected [locale PREFIX]"}},
        {"[locale \xD0\x96]", {"raw.txt:1: the locale prefix holds U+0416, beyond U+00FF"}},
        {"include a.txt\ninclude a.txt= ",
         {"raw.txt:1: expected include NAME=HOSTPATH",
          "raw.txt:2: include has no host path after \"=\""}},
    };
    for (const auto& [text, errors] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseRawConfig(text, "raw.txt").errors, errors);
    }
}

TEST(RawConfig, AssignmentsReplaceRecordsOfTheSameKindAndKey) {
    BlockDescription description = parseRawConfig("1=a\nwide.1=b\n2=c", "raw.txt").description;
    EXPECT_EQ(applyAssignment(description, "1=z", "--set 1=z"), std::vector<std::string>{});
    EXPECT_EQ(applyAssignment(description, "wide.1=\\u0416", "--set"), std::vector<std::string>{});
    EXPECT_EQ(applyAssignment(description, "3=", "--set"), std::vector<std::string>{});
    EXPECT_EQ(description.narrow, (std::vector<NarrowRecord>{{2, "c"}, {1, "z"}, {3, ""}}));
    EXPECT_EQ(description.wide, (std::vector<WideRecord>{{1, u"\u0416"}}));

    BlockDescription before = description;
    EXPECT_EQ(applyAssignment(description, "x=1", "--set x=1"),
              std::vector<std::string>{"--set x=1: \"x\" is not a key number"});
    EXPECT_EQ(applyAssignment(description, "5=\xD0\x96", "--set"),
              std::vector<std::string>{"--set: key 5: U+0416 does not fit narrow text, which holds "
                                       "U+0000 to U+00FF (use wide.5=)"});
    EXPECT_EQ(description.narrow, before.narrow);
    EXPECT_EQ(description.wide, before.wide);
}

}  // namespace
}  // namespace tesmo::tools

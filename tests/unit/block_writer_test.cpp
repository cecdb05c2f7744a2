#include "tools/block_writer.h"

#include <gtest/gtest.h>

#include <optional>

#include "config/block_reader.h"
#include "core/keys.h"
#include "tests/support/fake_image.h"
#include "tools/raw_config.h"

namespace tesmo::tools {
namespace {

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
        {"NUL byte", {.narrow = {{101, std::string("a\0b", 3)}}}, "NUL byte at offset 1"},
        {"prefix", {.localized = {{"abcdefghi", {}}}}, "the prefix has 9 characters"},
        {"directory and file", includedNames({u"dir\\file.jar", u"\u00e9t\u00e9 1.txt"}), {}},
        {"network path", includedNames({u"\\\\server\\share"}), "starts with a slash"},
        {"two levels", includedNames({u"a\\b\\c"}), "more than one directory level"},
        {"separator of key 2003", includedNames({u"a;b"}), "separates the names"},
        {"superscript device", includedNames({u"com\u00b9"}), "reserved"},
        {"not a device", includedNames({u"console.txt", u"com10"}), {}},
        {"same accented name", includedNames({u"\u00e9", u"\u00c9"}), "is already included"},
        {"names reordered", includedNames({u"a", u"b"}, {{2003, "b;a"}}),
         "key 2003 lists \"b;a\", but the included files are \"a;b\""},
        {"both given", includedNames({u"a"}, {{2002, "1"}, {2003, "a"}}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> errors = validateDescription(withIncludedFileKeys(c.description));
        LauncherBuild build = buildLauncher(fakeImage(), c.description);
        EXPECT_EQ(build.errors, errors);
        if (!c.error) {
            EXPECT_EQ(errors, std::vector<std::string>{});
            EXPECT_EQ(readBack(build.bytes, 0x0407).failure, ReadFailure::None);
            continue;
        }
        ASSERT_EQ(errors.size(), 1u) << (errors.empty() ? "" : errors[0]);
        EXPECT_NE(errors[0].find(*c.error), std::string::npos) << errors[0];
        EXPECT_TRUE(build.bytes.empty());
    }
}

TEST(BlockWriter, StubMustEndWhereTheLauncherLooksForItsBlock) {
    std::string cutTable = fakeImage();
    put(cutTable, kPe + 20, 0xFF00, 2);
    const std::pair<std::string, const char*> cases[] = {
        {"", "no MZ header"},
        {cutTable, "section table is cut off"},
        {fakeImage() + "appended", "where the launcher looks for its settings, but the stub has"},
        {buildLauncher(fakeImage(), {}).bytes, "it is a launcher already"},
    };
    EXPECT_EQ(validateStub(fakeImage()), std::vector<std::string>{});
    for (const auto& [stub, error] : cases) {
        SCOPED_TRACE(error);
        std::vector<std::string> errors = buildLauncher(stub, {}).errors;
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(error), std::string::npos) << errors[0];
    }
}

TEST(RawConfig, ReportsEveryFaultWithItsLine) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"1=a\\q\r\n2=a\\\ninclude a.txt",
         {"raw.txt:1: key 1: unknown escape \\q (write \\\\ for a backslash)",
          "raw.txt:2: key 2: the value ends in a lone backslash (write \\\\ for a backslash)",
          "raw.txt:3: expected include NAME=HOSTPATH"}},
        {"[locale de]\n1=a\nwide.1=b\n[locale fr]\n1=c",
         {"raw.txt:3: key 1 is already set on line 2"}},
    };
    for (const auto& [text, errors] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseRawConfig(text, "raw.txt").errors, errors);
    }
}

}  // namespace
}  // namespace tesmo::tools

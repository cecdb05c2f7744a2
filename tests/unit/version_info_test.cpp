#include "tools/version_info.h"

#include <gtest/gtest.h>

#include "tests/unit/fake_image.h"
#include "tools/launcher_config.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

const std::string kMain = "[application]\nmain-class = \"M\"\n";

LauncherConfig parse(const std::string& text) {
    return parseLauncherConfig(text, "app.toml", "/",
                               [](const std::filesystem::path&) { return std::nullopt; });
}

// A stub with a manifest and a US English version resource, as the resource compiler gives.
std::string stub() {
    std::string ignored;
    std::string english = versionResource({{{"product-name", u"tesmo"}}}, ignored);
    english.replace(english.find(std::string("0\0000\0000\0000\0", 8)), 8,
                    std::string("0\0004\0000\0009\0", 8));
    std::string manifest =
        "<assembly>\n  <requestedExecutionLevel level=\"asInvoker\"/>\n</assembly>";
    return writeResources(fakeImage(), {{{24, {}}, {1, {}}, 0x409, 0, manifest},
                                        {{16, {}}, {1, {}}, 0x409, 0, english}})
        .bytes;
}

TEST(VersionInfo, InvalidChoicesAndTextsNameFileLineAndSetting) {
    const std::string kHalf(30000, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"[version-info]\nfile-version = \"1.2.3.4.5\"",
         "4: version-info.file-version: \"1.2.3.4.5\" has 5 numbers; at most four"},
        {"[version-info]\nproduct-version = \"1.65536\"",
         "4: version-info.product-version: \"1.65536\" holds 65536; each number is at most 65535"},
        {"[version-info]\nfile-version = \"1..2\"",
         "4: version-info.file-version: \"1..2\" is not numbers separated by dots, such as "
         "\"2.4.1.0\""},
        {"[version-info]\ncompany = \"a\\u0000b\"",
         "4: version-info.company: holds a NUL character, which would end the text for Windows"},
        {"[version-info]\ncomments = \"" + kHalf + kHalf.substr(0, 2001) + "\"",
         "4: version-info.comments: is 32001 UTF-16 units long; a version resource holds at "
         "most 32000"},
        {"[version-info]\ncomments = \"" + kHalf + "\"\ndescription = \"" + kHalf + "\"",
         "3: version-info: the texts together are too long for a version resource, whose "
         "lengths are 16 bits"},
        {"[version-info]\ncompnay = \"E\"",
         "4: version-info.compnay: unknown setting (did you mean version-info.company?)"},
        {"[executable]\nexecution-level = \"admin\"",
         "4: executable.execution-level: expected \"as-invoker\", \"highest-available\" or "
         "\"require-administrator\", found \"admin\""},
        {"[executable]\ndpi-awareness = true",
         "4: executable.dpi-awareness: expected \"unaware\", \"system\" or \"per-monitor-v2\", "
         "found a boolean"},
    };
    for (const auto& [text, error] : cases) {
        EXPECT_EQ(parse(kMain + text + "\n").errors, std::vector<std::string>{"app.toml:" + error});
    }
}

// Inspect prints what it finds (the fake stub is x64), and building from the print gives the
// same bytes again; without these settings the stub stays, its own version resource included.
TEST(VersionInfo, VersionsAndManifestChoicesSurviveInspectAndARebuild) {
    const char* const cases[] = {
        "",
        "[executable]\nexecution-level = \"require-administrator\"\n",
        "[executable]\ndpi-awareness = \"system\"\nlong-path-aware = true\n[version-info]\n",
        "[executable]\nexecution-level = \"highest-available\"\ndpi-awareness = "
        "\"per-monitor-v2\"\n[version-info]\nfile-version = \"2.4\"\nproduct-version = "
        "\"2.4.1\"\ncompany = \"Ex\u00e4mple \\\"Ltd\\\"\"\ncomments = \"\u2211 \u4e2d\"\n"
        "internal-name = 'C:\\x'\n",
    };
    for (const char* text : cases) {
        LauncherConfig config = parse(kMain + text);
        ImageEdit built = setLauncherImages(stub(), config.images);
        ASSERT_EQ(built.error, "") << text;
        std::string error;
        LauncherImages read = readLauncherImages(built.bytes, error);
        PrintedConfig printed = printLauncherConfig(config.description, read, "");
        LauncherConfig again = parse(printed.text);
        EXPECT_EQ(setLauncherImages(stub(), again.images).bytes, built.bytes) << printed.text;
        EXPECT_NE(printed.text.find("architecture = \"x64\""), std::string::npos);
        EXPECT_EQ(built.bytes == stub(), *text == '\0') << text;
    }
}

}  // namespace
}  // namespace tesmo::tools

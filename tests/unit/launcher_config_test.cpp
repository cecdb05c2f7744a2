#include "tools/launcher_config.h"

#include <gtest/gtest.h>

#include "config/block_reader.h"
#include "core/keys.h"
#include "tests/support/fake_image.h"
#include "tools/launcher_decoder.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

FileSource filesIn(const std::map<std::string, std::string>& bytes) {
    return [&bytes](const std::filesystem::path& path) -> std::optional<std::string> {
        auto found = bytes.find(path.lexically_normal().generic_string());
        if (found == bytes.end()) return std::nullopt;
        return found->second;
    };
}

LauncherConfig parse(const std::string& text) {
    static const std::map<std::string, std::string> files{
        {"/cfg/splash.bmp", bitmapFile(120, 40, 8)}};
    return parseLauncherConfig(text, "app.toml", "/cfg", filesIn(files));
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

// Reads the block as the launcher does, then checks that printing the launcher and parsing
// the print with the files it wrote builds the same launcher byte for byte.
ConfigurationBlock buildReadAndInspect(const std::string& text) {
    LauncherConfig config = parse(text);
    EXPECT_EQ(config.errors, std::vector<std::string>{}) << text;
    ImageEdit built = setLauncherImages(stub(), config.images);
    LauncherBuild build = buildLauncher(built.bytes, config.description);
    EXPECT_EQ(build.errors, std::vector<std::string>{});
    ReadBack read = readBack(build.bytes, 0x0807);
    EXPECT_EQ(read.failure, ReadFailure::None);

    DecodedLauncher decoded = decodeLauncher(build.bytes);
    std::string error;
    LauncherImages images = readLauncherImages(build.bytes, error);
    PrintedConfig printed = printLauncherConfig(decoded.description, images, "files");
    EXPECT_EQ(printed.warnings, std::vector<std::string>{}) << text;
    // Inspect names the stub's machine: the fake stub's is x64.
    EXPECT_NE(printed.text.find("architecture = \"x64\""), std::string::npos);
    std::map<std::string, std::string> written;
    for (const auto& [name, bytes] : printed.files) written["/out/files/" + name] = bytes;
    LauncherConfig again =
        parseLauncherConfig(printed.text, "printed.toml", "/out", filesIn(written));
    EXPECT_EQ(again.errors, std::vector<std::string>{}) << printed.text;
    EXPECT_EQ(setLauncherImages(stub(), again.images).bytes, built.bytes) << printed.text;
    EXPECT_EQ(encodeBlock(again.description),
              build.bytes.substr(decoded.blockStart, decoded.blockEnd - decoded.blockStart))
        << text;
    return read.block;
}

const std::string kMain = "[application]\nmain-class = \"M\"\n";

TEST(LauncherConfig, EachKindOfSettingIsStoredAsTheLauncherReadsItAndInspectedBack) {
    const std::tuple<std::string, std::int32_t, std::string> cases[] = {
        {"[redirect]\nerrors = true", 102, "1"},
        {"[splash.status]\ntext = \"Démarrage\"", 10111, "D\xE9marrage"},
        {"arguments = [\"--fixed\", \"two words\", 'say \"hi\"', \"\"]", 124,
         "--fixed \"two words\" 'say \"hi\"' \"\""},
        {"[classpath]\nentries = [{ directory = \".\" }, { archive = 'lib\\app.jar', required = "
         "true },\n{ scan = 'lib\\ext' }, { env = \"APP_CLASSPATH\", required = false }]",
         121, "D0.;A1lib\\app.jar;S0lib\\ext;E0APP_CLASSPATH;"},
        {"[java]\nsearch = ['bundled:.\\jre', 'directory:C:\\Java', 'install-directory:rt', "
         "\"env:JAVA_HOME\", \"registry\", \"system-path\"]",
         128, "B.\\jre;AC:\\Java;Rrt;EJAVA_HOME;Y;S;"},
        {"[executable]\ntype = \"console-message-boxes\"", 107, "5"},
        {"[splash.status]\ncolour = [1, 2, 3]", 10114, "1,2,3"},
        // Stored texts that the arrays cannot give are kept as strings.
        {"arguments = 'a  b \"c'", 124, "a  b \"c"},
    };
    for (const auto& [text, key, stored] : cases) {
        EXPECT_EQ(buildReadAndInspect(kMain + text + "\n").narrow[key], stored) << text;
    }
}

TEST(LauncherConfig, MessageSetsAndWideRawRecordsReachTheLauncher) {
    ConfigurationBlock block = buildReadAndInspect(kMain + R"toml(
[messages.""]
main-class-missing = "für alle: 主类"
[messages.de]
title = "Fehler"
[messages.de_CH]
title = "Fehler (CH)"
[raw.wide]
150 = "wide ∑"
)toml");
    // Sets apply in block order, general before specific.
    EXPECT_EQ(block.wide,
              (std::map<std::int32_t, WideString>{{150, u"wide \u2211"},
                                                  {1000, u"Fehler (CH)"},
                                                  {1010, u"f\u00fcr alle: \u4e3b\u7c7b"}}));
}

TEST(LauncherConfig, DefaultsFillWhatTheFileLeavesOutUnlessTurnedOff) {
    std::map<std::int32_t, std::string> defaults = {{107, "1"}, {122, "M"}, {128, "B.\\jre;Y;V;"}};
    for (std::int32_t key = kMessageTitle; key <= kMessageDamagedJvm64; ++key) {
        defaults[key] = findKey(key)->defaultText;
    }
    EXPECT_EQ(buildReadAndInspect(kMain).narrow, defaults);
    defaults.insert({{141, "120"}, {142, "40"}});
    EXPECT_EQ(buildReadAndInspect(kMain + "[splash]\nbitmap = \"splash.bmp\"\n").narrow, defaults);
    // Without defaults, messages equal to their English text still must be printed.
    EXPECT_EQ(buildReadAndInspect("defaults = false\n" + kMain + "[messages]\ntitle = \"Error\"\n")
                  .narrow,
              (std::map<std::int32_t, std::string>{{122, "M"}, {1000, "Error"}}));
}

TEST(LauncherConfig, InvalidFilesNameFileLineAndSettingAndBuildNothing) {
    const std::string kHalf(30000, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"[java]\nmin-verison = \"1.8\"",
         "4: java.min-verison: unknown setting (did you mean java.min-version?)"},
        {"[splash]\nwidth = -1", "4: splash.width: -1 is outside 0 to 65535"},
        {"# still [application]\nid = \"中\"",
         "4: application.id: \"中\" holds U+4E2D, but the launcher reads this setting as "
         "narrow text (U+0000 to U+00FF)"},
        {"[java]\nsearch = [\"registry\"", "4:"},
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
        LauncherConfig config = parse(kMain + text + "\n");
        ASSERT_EQ(config.errors.size(), 1u) << text;
        EXPECT_TRUE(config.errors[0].starts_with("app.toml:" + error)) << config.errors[0];
        EXPECT_TRUE(config.description.narrow.empty()) << text;
    }
    EXPECT_EQ(parse("[application]\nid = \"x\"\n").errors,
              std::vector<std::string>{"app.toml: application.main-class: is missing; the "
                                       "launcher has no application to start without it"});
}

TEST(LauncherConfig, TheGreySplashWarningOnlyWhenNoBitmapIsNamed) {
    // A named bitmap that cannot be read is an error already; a warning would repeat it.
    const std::pair<const char*, bool> cases[] = {
        {"enabled = true", true},
        {"enabled = true\nbitmap = \"missing.bmp\"", false},
        {"enabled = true\nruntime-library = true", false},
        {"enabled = false", false}};
    for (const auto& [splash, warned] : cases) {
        int grey = 0;
        for (const auto& w : parse(kMain + "[splash]\n" + splash + "\n").warnings) {
            grey += w.find("grey area") != std::string::npos;
        }
        EXPECT_EQ(grey, warned ? 1 : 0) << splash;
    }
}

TEST(LauncherConfig, VersionsAndManifestChoicesSurviveInspectAndARebuild) {
    // Without these settings the stub stays, its own version resource included.
    EXPECT_EQ(setLauncherImages(stub(), parse(kMain).images).bytes, stub());
    for (const char* text :
         {"[executable]\nexecution-level = \"require-administrator\"\n",
          "[executable]\ndpi-awareness = \"system\"\nlong-path-aware = true\n[version-info]\n",
          "[executable]\nexecution-level = \"highest-available\"\ndpi-awareness = "
          "\"per-monitor-v2\"\n[version-info]\nfile-version = \"2.4\"\nproduct-version = "
          "\"2.4.1\"\ncompany = \"Ex\u00e4mple \\\"Ltd\\\"\"\ncomments = \"\u2211 \u4e2d\"\n"
          "internal-name = 'C:\\x'\n"}) {
        buildReadAndInspect(kMain + text);
        EXPECT_NE(setLauncherImages(stub(), parse(kMain + text).images).bytes, stub()) << text;
    }
}

TEST(LauncherConfig, InspectWarnsAboutBlocksTheFormatCannotExpress) {
    PrintedConfig printed = printLauncherConfig({.narrow = {{107, "2"}, {122, "M"}}}, {}, "");
    EXPECT_EQ(printed.warnings.size(), 1u);
    EXPECT_NE(printed.warnings.at(0).find("key 107 (executable.type) holds \"2\""),
              std::string::npos);
}

}  // namespace
}  // namespace tesmo::tools

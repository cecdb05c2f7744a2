#include "tools/launcher_config.h"

#include <gtest/gtest.h>

#include "config/block_reader.h"
#include "core/keys.h"
#include "tests/unit/fake_image.h"
#include "tools/launcher_decoder.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

const LocaleSource kSwissGerman{[] { return std::uint16_t{0x0807}; },
                                [](std::uint16_t*) { return false; }};

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

// Reads the block as the launcher does, then checks that printing the launcher and parsing
// the print with the files it wrote encodes the same block byte for byte.
ConfigurationBlock buildReadAndInspect(const std::string& text) {
    LauncherConfig config = parse(text);
    EXPECT_EQ(config.errors, std::vector<std::string>{}) << text;
    ImageEdit stub = setLauncherImages(fakeImage(), config.images);
    LauncherBuild build = buildLauncher(stub.bytes, config.description);
    EXPECT_EQ(build.errors, std::vector<std::string>{});
    ConfigurationBlock block;
    MemoryFile file{build.bytes, 0};
    FileReader reader = memoryFileReader(file);
    EXPECT_EQ(locateBlock(reader), ReadFailure::None);
    EXPECT_EQ(parseBlock(reader, nullptr, kSwissGerman, block), ReadFailure::None);

    DecodedLauncher decoded = decodeLauncher(build.bytes);
    std::string error;
    LauncherImages images = readLauncherImages(build.bytes, error);
    PrintedConfig printed = printLauncherConfig(decoded.description, images, "files");
    EXPECT_EQ(printed.warnings, std::vector<std::string>{}) << text;
    std::map<std::string, std::string> written;
    for (const auto& [name, bytes] : printed.files) written["/out/files/" + name] = bytes;
    LauncherConfig again =
        parseLauncherConfig(printed.text, "printed.toml", "/out", filesIn(written));
    EXPECT_EQ(again.errors, std::vector<std::string>{}) << printed.text;
    EXPECT_EQ(again.images.splashBitmap, config.images.splashBitmap);
    EXPECT_EQ(encodeBlock(again.description),
              build.bytes.substr(decoded.blockStart, decoded.blockEnd - decoded.blockStart))
        << text;
    return block;
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
    std::map<std::int32_t, std::string> defaults = {{107, "1"}, {122, "M"}, {128, "B.\\jre;Y;"}};
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
    const std::pair<std::string, std::string> cases[] = {
        {"[java]\nmin-verison = \"1.8\"",
         "app.toml:4: java.min-verison: unknown setting (did you mean java.min-version?)"},
        {"[splash]\nwidth = -1", "app.toml:4: splash.width: -1 is outside 0 to 65535"},
        {"# still [application]\nid = \"中\"",
         "app.toml:4: application.id: \"中\" holds U+4E2D, but the launcher reads this setting as "
         "narrow text (U+0000 to U+00FF)"},
        {"[java]\nsearch = [\"registry\"", "app.toml:4:"},
    };
    for (const auto& [text, error] : cases) {
        LauncherConfig config =
            parse("[application]\nmain-class = \"com.example.Main\"\n" + text + "\n");
        ASSERT_EQ(config.errors.size(), 1u) << text;
        EXPECT_EQ(config.errors[0].substr(0, error.size()), error) << config.errors[0];
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

TEST(LauncherConfig, InspectWarnsAboutBlocksTheFormatCannotExpress) {
    PrintedConfig printed = printLauncherConfig({.narrow = {{107, "2"}, {122, "M"}}}, {}, "");
    EXPECT_EQ(printed.warnings.size(), 1u);
    EXPECT_NE(printed.warnings.at(0).find("key 107 (executable.type) holds \"2\""),
              std::string::npos);
}

}  // namespace
}  // namespace tesmo::tools

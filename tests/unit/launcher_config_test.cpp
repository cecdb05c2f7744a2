#include "tools/launcher_config.h"

#include <gtest/gtest.h>

#include "config/block_reader.h"
#include "core/keys.h"
#include "tests/unit/fake_image.h"
#include "tools/launcher_decoder.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

namespace fs = std::filesystem;

const LocaleSource kSwissGerman{[] { return std::uint16_t{0x0807}; },
                                [](std::uint16_t*) { return false; }};

// Files the configurations name, below the folder /cfg.
struct Files {
    std::map<std::string, std::string> bytes;

    FileSource source() const {
        return [this](const fs::path& path) -> std::optional<std::string> {
            auto found = bytes.find(path.lexically_normal().generic_string());
            if (found == bytes.end()) return std::nullopt;
            return found->second;
        };
    }
};

LauncherConfig parse(const std::string& text) {
    static const Files files{{{"/cfg/a.txt", "alpha"},
                              {"/cfg/splash.bmp", bitmapFile(120, 40, 8)},
                              {"/cfg/splash.png", std::string("\x89PNG\r\n\x1A\n", 8)}}};
    return parseLauncherConfig(text, "app.toml", "/cfg", files.source());
}

struct Built {
    std::string launcher;
    ConfigurationBlock block;  // as the launcher reads it
};

Built buildAndRead(const LauncherConfig& config) {
    ImageEdit stub = setLauncherImages(fakeImage(), config.images);
    EXPECT_EQ(stub.error, "");
    LauncherBuild build = buildLauncher(stub.bytes, config.description);
    EXPECT_EQ(build.errors, std::vector<std::string>{});
    Built built{build.bytes, {}};
    MemoryFile file{built.launcher, 0};
    FileReader reader = memoryFileReader(file);
    EXPECT_EQ(locateBlock(reader), ReadFailure::None);
    EXPECT_EQ(parseBlock(reader, nullptr, kSwissGerman, built.block), ReadFailure::None);
    return built;
}

// Build, take the launcher apart, print, parse the print with the files it wrote, and
// encode again: the printed configuration must build the same block byte for byte.
void expectSameBlockFromInspect(const std::string& text) {
    LauncherConfig config = parse(text);
    ASSERT_EQ(config.errors, std::vector<std::string>{}) << text;
    Built built = buildAndRead(config);
    DecodedLauncher decoded = decodeLauncher(built.launcher);
    std::string error;
    LauncherImages images = readLauncherImages(built.launcher, error);
    PrintedConfig printed = printLauncherConfig(decoded.description, images, "files");
    EXPECT_EQ(printed.warnings, std::vector<std::string>{}) << text;

    Files written;
    for (const auto& [name, bytes] : printed.files) written.bytes["/out/files/" + name] = bytes;
    LauncherConfig again =
        parseLauncherConfig(printed.text, "printed.toml", "/out", written.source());
    EXPECT_EQ(again.errors, std::vector<std::string>{}) << printed.text;
    EXPECT_EQ(again.description.included, decoded.description.included);
    EXPECT_EQ(again.images.splashBitmap, config.images.splashBitmap);
    EXPECT_EQ(again.images.icon, config.images.icon);
    EXPECT_EQ(encodeBlock(again.description),
              built.launcher.substr(decoded.blockStart, decoded.blockEnd - decoded.blockStart))
        << text;
}

const std::string kMain = "[application]\nmain-class = \"M\"\n";

// One row for each way a setting is turned into the launcher's text.
TEST(LauncherConfig, EachKindOfSettingIsStoredAsTheLauncherReadsItAndInspectedBack) {
    struct Case {
        std::string text;  // follows kMain
        std::int32_t key;
        std::string stored;
    };
    const Case cases[] = {
        {"[redirect]\nerrors = true", 102, "1"},
        {"[splash.status]\ny = -5", 10110, "-5"},
        {"[splash.status]\ntext = \"Démarrage\"", 10111, "D\xE9marrage"},
        {"arguments = [\"--fixed\", \"two words\", 'say \"hi\"', \"\"]", 124,
         "--fixed \"two words\" 'say \"hi\"' \"\""},
        {"[classpath]\nentries = [{ directory = \".\" }, { archive = 'lib\\app.jar', required = "
         "true },\n{ scan = 'lib\\ext' }, { env = \"APP_CLASSPATH\", required = false }]",
         121, "D0.;A1lib\\app.jar;S0lib\\ext;E0APP_CLASSPATH;"},
        {"[java]\nsearch = ['bundled:.\\jre', 'directory:C:\\Java', 'install-directory:rt', "
         "\"env:JAVA_HOME\", \"registry\", \"system-path\"]",
         128, "B.\\jre;AC:\\Java;Rrt;EJAVA_HOME;Y;S;"},
        {"[vm]\nnative-library-directories = ['lib\\native', \"bin\"]", 10004, "lib\\native;bin"},
        {"[executable]\ntype = \"console-message-boxes\"", 107, "5"},
        {"flavour = \"korvane\"", 2001, "k"},
        {"[splash.status]\ncolour = [1, 2, 3]", 10114, "1,2,3"},
        {"[java]\nmin-version = \"1.7.0_51\"", 126, "1.7.0_51"},
        {"[messages]\nvm-not-started = \"Die VM startet nicht\"", 1005, "Die VM startet nicht"},
        {"[raw]\n149 = \"other tool\"", 149, "other tool"},
        // Stored texts that the arrays cannot give are kept as strings.
        {"arguments = 'a  b \"c'", 124, "a  b \"c"},
        {"[java]\nsearch = 'B.\\jre;Y'", 128, "B.\\jre;Y"},
        {"[classpath]\nentries = 'A0a.jar;;D1x'", 121, "A0a.jar;;D1x"},
    };
    for (const Case& c : cases) {
        LauncherConfig config = parse(kMain + c.text + "\n");
        ASSERT_EQ(config.errors, std::vector<std::string>{}) << c.text;
        std::map<std::int32_t, std::string> narrow;
        for (const NarrowRecord& record : config.description.narrow)
            narrow[record.key] = record.value;
        EXPECT_EQ(narrow[c.key], c.stored) << c.text;
        expectSameBlockFromInspect(kMain + c.text + "\n");
    }
}

TEST(LauncherConfig, MessageSetsAndWideRawRecordsReachTheLauncher) {
    const std::string text = kMain + R"toml(
[messages.""]
main-class-missing = "für alle: 主类"
[messages.de]
title = "Fehler"
[messages.de_CH]
title = "Fehler (CH)"
[messages.fr]
title = "Erreur"
[raw.wide]
150 = "wide ∑"
)toml";
    Built built = buildAndRead(parse(text));
    // Sets apply in block order, general before specific: "" and "de" and then "de_CH".
    EXPECT_EQ(built.block.wide,
              (std::map<std::int32_t, WideString>{{150, u"wide \u2211"},
                                                  {1000, u"Fehler (CH)"},
                                                  {1010, u"f\u00fcr alle: \u4e3b\u7c7b"}}));
    expectSameBlockFromInspect(text);
}

TEST(LauncherConfig, DefaultsFillWhatTheFileLeavesOutUnlessTurnedOff) {
    std::map<std::int32_t, std::string> withDefaults = {{107, "1"}, {128, "B.\\jre;Y;"}};
    for (std::int32_t key = kMessageTitle; key <= kMessageDamagedJvm64; ++key) {
        withDefaults[key] = findKey(key)->defaultText;
    }
    struct Case {
        std::string text;
        std::map<std::int32_t, std::string> expected;  // with main class "M"
    };
    std::map<std::int32_t, std::string> sized = withDefaults;
    sized[141] = "120";
    sized[142] = "40";
    for (Case c : std::vector<Case>{
             {kMain, withDefaults},
             {kMain + "[splash]\nbitmap = \"splash.bmp\"\n", sized},
             // Without defaults, messages equal to their English text still must be printed.
             {"defaults = false\n" + kMain + "[messages]\ntitle = \"Error\"\n", {{1000, "Error"}}},
         }) {
        c.expected[122] = "M";
        LauncherConfig config = parse(c.text);
        ASSERT_EQ(config.errors, std::vector<std::string>{}) << c.text;
        std::map<std::int32_t, std::string> narrow;
        for (const NarrowRecord& record : config.description.narrow)
            narrow[record.key] = record.value;
        EXPECT_EQ(narrow, c.expected) << c.text;
        expectSameBlockFromInspect(c.text);
    }
}

TEST(LauncherConfig, InvalidFilesNameFileLineAndSettingAndBuildNothing) {
    struct Case {
        std::string text;  // follows a valid [application] table on lines 1-2
        std::string error;
    };
    const std::vector<Case> cases = {
        {"[java]\nmin-verison = \"1.8\"",
         "app.toml:4: java.min-verison: unknown setting (did you mean java.min-version?)"},
        {"[splash]\nwidth = -1", "app.toml:4: splash.width: -1 is outside 0 to 65535"},
        {"# still [application]\narguments = \"" + std::string(2000, 'a') + "\"",
         "app.toml:4: application.arguments: the value has 2000 characters, but the launcher "
         "reads at most 1999"},
        {"# still [application]\nid = \"中\"",
         "app.toml:4: application.id: \"中\" holds U+4E2D, but the launcher reads this setting as "
         "narrow text (U+0000 to U+00FF)"},
        {"[java]\nsearch = [\"registry\", \"bundle:jre\"]",
         "app.toml:4: java.search: unknown search entry \"bundle:jre\""},
        {"[files]\ninclude = [\n{ name = \"a.txt\", source = \"a.txt\" },\n"
         "{ name = \"A.TXT\", source = \"a.txt\" }]",
         "app.toml:6: files.include: \"A.TXT\" is already included as \"a.txt\""},
        {"[splash]\nbitmap = \"splash.png\"",
         "app.toml:4: splash.bitmap: splash.png: not a bitmap file"},
        {"[java]\nsearch = [\"registry\"", "app.toml:4:"},
    };
    for (const Case& c : cases) {
        std::string text = "[application]\nmain-class = \"com.example.Main\"\n" + c.text + "\n";
        LauncherConfig config = parse(text);
        ASSERT_EQ(config.errors.size(), 1u) << text;
        EXPECT_EQ(config.errors[0].substr(0, c.error.size()), c.error) << config.errors[0];
        EXPECT_TRUE(config.description.narrow.empty()) << text;
    }

    LauncherConfig missing = parse("[application]\nid = \"x\"\n");
    EXPECT_EQ(missing.errors,
              std::vector<std::string>{"app.toml: application.main-class: is missing; the "
                                       "launcher has no application to start without it"});
}

TEST(LauncherConfig, TheGreySplashWarningOnlyWhenNoBitmapIsNamed) {
    // A named bitmap that cannot be read is an error already; a warning would repeat it.
    const std::pair<const char*, bool> cases[] = {
        {"enabled = true\n", true},
        {"enabled = true\nbitmap = \"missing.bmp\"\n", false},
        {"enabled = true\nruntime-library = true\n", false},
        {"enabled = false\n", false}};
    for (const auto& [splash, warned] : cases) {
        LauncherConfig config =
            parse(std::string("[application]\nmain-class = \"M\"\n[splash]\n") + splash);
        auto grey = std::count_if(config.warnings.begin(), config.warnings.end(),
                                  [](const std::string& warning) {
                                      return warning.find("grey area") != std::string::npos;
                                  });
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

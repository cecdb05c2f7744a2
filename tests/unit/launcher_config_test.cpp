#include "tools/launcher_config.h"

#include <gtest/gtest.h>

#include "config/block_reader.h"
#include "core/keys.h"
#include "runtime/search_sequence.h"
#include "tests/unit/fake_image.h"
#include "tools/launcher_decoder.h"
#include "tools/launcher_resources.h"

namespace tesmo::tools {
namespace {

namespace fs = std::filesystem;

std::uint16_t swissGerman() {
    return 0x0807;
}
bool noInterfaceLanguage(std::uint16_t*) {
    return false;
}
const LocaleSource kSwissGerman{swissGerman, noInterfaceLanguage};

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

const std::string kSplashBitmap = bitmapFile(120, 40, 8);

Files sampleFiles() {
    std::string dib(40 + 64, 'd');
    put(dib, 0, 40, 4);
    return {{{"/cfg/a.txt", "alpha"},
             {"/cfg/sub/b.dll", std::string(7000, '\xFF')},
             {"/cfg/splash.bmp", kSplashBitmap},
             {"/cfg/splash.png", std::string("\x89PNG\r\n\x1A\n", 8)},
             {"/cfg/app.ico", iconFile({dib})}}};
}

LauncherConfig parse(const std::string& text, const Files& files = sampleFiles()) {
    return parseLauncherConfig(text, "app.toml", "/cfg", files.source());
}

// Every setting of the format once.
const char kEverySetting[] = R"toml(
[application]
id = "My Application"
main-class = "com.example.Main"
arguments = ["--fixed", "two words", 'say "hi"', ""]
flavour = "korvane"
working-directory = "."
installation-directory = "app"
installation-id = "MyApp-1"

[executable]
type = "console-message-boxes"
icon = "app.ico"

[java]
min-version = "1.7.0_51"
max-version = "1.8"
search = ['bundled:.\jre', 'directory:C:\Java', 'install-directory:rt', "env:JAVA_HOME",
    "registry", "system-path"]
allow-prerelease = true
require-jdk = false
vm-type = "server"

[vm]
options = '-Xms64m "-Dconfigured=a b"'
accept-j-arguments = true
native-library-directories = ['lib\native', "bin"]

[classpath]
entries = [
    { directory = "." },
    { archive = 'lib\app.jar', required = true },
    { scan = 'lib\ext' },
    { env = "APP_CLASSPATH", required = false },
]

[redirect]
errors = true
error-file = "error.log"
output = false
output-file = "$STDOUT"
append = true

[console]
accept-quiet-switches = true
accept-console-switch = false

[single-instance]
enabled = true
global = true

[splash]
enabled = true
runtime-library = false
width = 800
height = 87
auto-close = true
topmost = false
bitmap = "splash.bmp"
image = "splash.png"

[splash.status]
x = 20
y = -5
text = "Démarrage"
font = "Arial"
size = 8
colour = [1, 2, 3]
weight = 500

[splash.version]
x = 21
y = 40
text = "version 3.2.0"
font = "Tahoma"
size = 9
colour = "0, 0,255"
weight = 700

[files]
include = [
    { name = "a.txt", source = "a.txt" },
    { name = 'lib\b.dll', source = "sub/b.dll" },
]

[messages]
title = "My Application"
vm-not-started = "Die VM startet nicht"

[messages.""]
main-class-missing = "für alle: 主类"

[messages.de]
title = "Fehler"

[messages.de_CH]
title = "Fehler (CH)"

[messages.fr]
title = "Erreur"

[raw]
149 = "other tool"

[raw.wide]
150 = "wide ∑"
)toml";

// What the launcher reads for each key of kEverySetting, messages left at their default
// texts included.
std::map<std::int32_t, std::string> everySettingExpected() {
    std::map<std::int32_t, std::string> expected = {
        {101, "My Application"},
        {102, "1"},
        {103, "error.log"},
        {104, "0"},
        {105, "$STDOUT"},
        {106, "1"},
        {107, "5"},
        {108, "1"},
        {121, "D0.;A1lib\\app.jar;S0lib\\ext;E0APP_CLASSPATH;"},
        {122, "com.example.Main"},
        {123, "-Xms64m \"-Dconfigured=a b\""},
        {124, "--fixed \"two words\" 'say \"hi\"' \"\""},
        {125, "1"},
        {126, "1.7.0_51"},
        {127, "1.8"},
        {128, "B.\\jre;AC:\\Java;Rrt;EJAVA_HOME;Y;S;"},
        {130, "1"},
        {131, "0"},
        {141, "800"},
        {142, "87"},
        {145, "1"},
        {146, "."},
        {147, "0"},
        {149, "other tool"},
        {152, "server"},
        {154, "1"},
        {156, "0"},
        {158, "1"},
        {160, "MyApp-1"},
        {1000, "My Application"},
        {1005, "Die VM startet nicht"},
        {2001, "k"},
        {2002, "2"},
        {2003, "a.txt;lib\\b.dll"},
        {10003, "app"},
        {10004, "lib\\native;bin"},
        {10005, "1"},
        {10109, "20"},
        {10110, "-5"},
        {10111, "D\xE9marrage"},
        {10112, "Arial"},
        {10113, "8"},
        {10114, "1,2,3"},
        {10115, "500"},
        {10116, "21"},
        {10117, "40"},
        {10118, "version 3.2.0"},
        {10119, "Tahoma"},
        {10120, "9"},
        {10121, "0, 0,255"},
        {10122, "700"},
        {10123, "0"},
    };
    for (std::int32_t key = kMessageTitle; key <= kMessageDamagedJvm64; ++key) {
        expected.emplace(key, findKey(key)->defaultText);
    }
    return expected;
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

TEST(LauncherConfig, EverySettingReachesTheLauncherAsItReadsThem) {
    LauncherConfig config = parse(kEverySetting);
    ASSERT_EQ(config.errors, std::vector<std::string>{});
    EXPECT_EQ(config.warnings, std::vector<std::string>{});
    Built built = buildAndRead(config);

    std::map<std::int32_t, std::string> expected = everySettingExpected();
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(built.block.narrow[key], value) << "key " << key;
    }
    EXPECT_EQ(built.block.narrow.size(), expected.size());
    for (std::size_t i = 0; i < kKeyTableSize; ++i) {
        EXPECT_TRUE(built.block.narrow.count(kKeyTable[i].key))
            << "no setting of the sample writes key " << kKeyTable[i].key;
    }
    // Sets apply in block order, general before specific: "" and "de" and then "de_CH".
    EXPECT_EQ(built.block.wide,
              (std::map<std::int32_t, WideString>{{150, u"wide \u2211"},
                                                  {1000, u"Fehler (CH)"},
                                                  {1010, u"f\u00fcr alle: \u4e3b\u7c7b"}}));

    DecodedLauncher decoded = decodeLauncher(built.launcher);
    ASSERT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.description.included,
              (std::vector<IncludedFile>{{u"a.txt", "alpha"},
                                         {u"lib\\b.dll", std::string(7000, '\xFF')}}));
    std::string error;
    LauncherImages images = readLauncherImages(built.launcher, error);
    EXPECT_EQ(images.splashBitmap, kSplashBitmap);
    EXPECT_EQ(images.splashImage, sampleFiles().bytes["/cfg/splash.png"]);
    EXPECT_EQ(images.icon, sampleFiles().bytes["/cfg/app.ico"]);
}

TEST(LauncherConfig, DefaultsFillWhatTheFileLeavesOutUnlessTurnedOff) {
    std::map<std::int32_t, std::string> english;
    for (std::int32_t key = kMessageTitle; key <= kMessageDamagedJvm64; ++key) {
        english[key] = findKey(key)->defaultText;
    }
    auto with = [&](std::map<std::int32_t, std::string> extra) {
        std::map<std::int32_t, std::string> all = english;
        all[122] = "M";
        all[107] = "1";
        all[128] = "B.\\jre;Y;";
        for (auto& [key, value] : extra) all[key] = value;
        return all;
    };
    struct Case {
        std::string text;
        std::map<std::int32_t, std::string> expected;
    };
    const std::string main = "[application]\nmain-class = \"M\"\n";
    for (const Case& c : std::vector<Case>{
             {main, with({})},
             {main + "[messages]\ntitle = \"T\"\n[java]\nsearch = [\"registry\"]\n",
              with({{1000, "T"}, {128, "Y;"}})},
             {main + "[splash]\nbitmap = \"splash.bmp\"\n", with({{141, "120"}, {142, "40"}})},
             {main + "[splash]\nbitmap = \"splash.bmp\"\nwidth = 800\n",
              with({{141, "800"}, {142, "40"}})},
             {"defaults = false\n" + main + "[messages]\ntitle = \"T\"\n",
              {{122, "M"}, {1000, "T"}}},
         }) {
        LauncherConfig config = parse(c.text);
        ASSERT_EQ(config.errors, std::vector<std::string>{}) << c.text;
        std::map<std::int32_t, std::string> narrow;
        for (const NarrowRecord& record : config.description.narrow)
            narrow[record.key] = record.value;
        EXPECT_EQ(narrow, c.expected) << c.text;
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
        {"[aplication]\nid = \"x\"",
         "app.toml:3: aplication: unknown table or setting (did you mean application?)"},
        {"[splash]\nwidth = \"800\"",
         "app.toml:4: splash.width: expected an integer, found a string"},
        {"[splash]\nwidth = -1", "app.toml:4: splash.width: -1 is outside 0 to 65535"},
        {"[single-instance]\nenabled = 1",
         "app.toml:4: single-instance.enabled: expected true or false, found an integer"},
        {"# still [application]\narguments = \"" + std::string(2000, 'a') + "\"",
         "app.toml:4: application.arguments: the value has 2000 characters, but the launcher "
         "reads at most 1999"},
        {"[java]\nvm-type = \"" + std::string(200, 'c') + "\"",
         "app.toml:4: java.vm-type: the value has 200 characters, but the launcher reads at most "
         "199"},
        {"[splash.status]\nfont = \"" + std::string(32, 'f') + "\"",
         "app.toml:4: splash.status.font: the value has 32 characters, but the launcher reads at "
         "most 31"},
        {"# still [application]\nid = \"中\"",
         "app.toml:4: application.id: \"中\" holds U+4E2D, but the launcher reads this setting as "
         "narrow text (U+0000 to U+00FF)"},
        {"[java]\nmin-version = \"java 8\"",
         "app.toml:4: java.min-version: \"java 8\" is not a Java version"},
        {"[java]\nsearch = [\"registry\", \"bundle:jre\"]",
         "app.toml:4: java.search: unknown search entry \"bundle:jre\""},
        {"[java]\nsearch = \"B.\\\\jre;X;\"",
         "app.toml:4: java.search: the entry \"X\" does not start with a search letter"},
        {"[classpath]\nentries = [{ archive = \"a.jar;b.jar\" }]",
         "app.toml:4: classpath.entries: \"a.jar;b.jar\" is empty or holds \";\""},
        {"[classpath]\nentries = [{ archive = \"a.jar\", optional = true }]",
         "app.toml:4: classpath.entries: unknown key \"optional\""},
        {"# still [application]\narguments = [\"it's \\\"quoted\\\"\"]",
         "app.toml:4: application.arguments: element 1 \"it's \"quoted\"\" holds both kinds of "
         "quote"},
        {"[splash.version]\ncolour = [0, 0, 256]",
         "app.toml:4: splash.version.colour: expected [red, green, blue] with numbers from 0 to "
         "255"},
        {"[splash.version]\ncolour = \"1,2\"",
         "app.toml:4: splash.version.colour: \"1,2\" is not three numbers"},
        {"# still [application]\nflavour = \"t\"",
         "app.toml:4: application.flavour: \"t\" is not one of \"tesmo\" or \"korvane\""},
        {"[executable]\ntype = \"gui\"", "app.toml:4: executable.type: \"gui\" is not one of"},
        {"[files]\ninclude = [{ name = '..\\evil.dll', source = \"a.txt\" }]",
         "app.toml:4: files.include: the name \"..\\evil.dll\" uses \"..\", but names stay "
         "inside the temporary directory"},
        {"[files]\ninclude = [{ name = 'a\\b\\c.dll', source = \"a.txt\" }]",
         "app.toml:4: files.include: the name \"a\\b\\c.dll\" has more than one directory level"},
        {"[files]\ninclude = [{ name = 'C:\\x.dll', source = \"a.txt\" }]",
         "app.toml:4: files.include: the name \"C:\\x.dll\" has a drive"},
        {"[files]\ninclude = [\n{ name = \"a.txt\", source = \"a.txt\" },\n"
         "{ name = \"A.TXT\", source = \"a.txt\" }]",
         "app.toml:6: files.include: \"A.TXT\" is already included as \"a.txt\""},
        {"[files]\ninclude = [{ name = \"x.txt\", source = \"missing.txt\" }]",
         "app.toml:4: files.include: cannot read \"" +
             fs::path("/cfg/missing.txt").make_preferred().string() + "\""},
        {"[splash]\nbitmap = \"splash.png\"",
         "app.toml:4: splash.bitmap: splash.png: not a bitmap file"},
        {"[messages.titel]\ntitle = \"x\"",
         "app.toml:3: messages.titel: no locale the launcher chooses starts with \"titel\""},
        {"[messages.de]\ntitel = \"x\"",
         "app.toml:4: messages.de.titel: unknown setting (did you mean messages.title?)"},
        {"[raw]\n122 = \"com.example.Other\"",
         "app.toml:4: raw.122: key 122 is the setting application.main-class; set it there"},
        {"[raw]\nname = \"x\"", "app.toml:4: raw.name: raw records are numbered"},
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
        {"enabled = true\nbitmap = \"splash.bmp\"\n", false},
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

struct RoundTrip {
    std::string block;  // the launcher's block as built
    std::string rebuilt;
    std::vector<std::string> warnings;
};

// Build, take the launcher apart, print, parse the print with the files it wrote, and
// encode again.
RoundTrip roundTrip(const std::string& text) {
    LauncherConfig config = parse(text);
    EXPECT_EQ(config.errors, std::vector<std::string>{}) << text;
    Built built = buildAndRead(config);
    DecodedLauncher decoded = decodeLauncher(built.launcher);
    std::string error;
    LauncherImages images = readLauncherImages(built.launcher, error);
    PrintedConfig printed = printLauncherConfig(decoded.description, images, "files");

    Files written;
    for (const auto& [name, bytes] : printed.files) written.bytes["/out/files/" + name] = bytes;
    LauncherConfig again =
        parseLauncherConfig(printed.text, "printed.toml", "/out", written.source());
    EXPECT_EQ(again.errors, std::vector<std::string>{}) << printed.text;
    EXPECT_EQ(again.description.included, decoded.description.included);
    EXPECT_EQ(again.images.splashBitmap, config.images.splashBitmap);
    EXPECT_EQ(again.images.icon, config.images.icon);
    return {built.launcher.substr(decoded.blockStart, decoded.blockEnd - decoded.blockStart),
            encodeBlock(again.description), printed.warnings};
}

TEST(LauncherConfig, InspectOutputBuildsTheSameBlockByteForByte) {
    const std::string main = "[application]\nmain-class = \"M\"\n";
    for (const std::string& text : {
             std::string(kEverySetting),
             main,
             // Stored texts that the arrays cannot give are kept as strings.
             main + "arguments = 'a  b \"c'\n[java]\nsearch = 'B.\\jre;Y'\n"
                    "[vm]\nnative-library-directories = \"a;;b;\"\n"
                    "[classpath]\nentries = 'A0a.jar;;D1x'\n",
             // Without defaults, messages equal to their English text still must be printed.
             "defaults = false\n" + main + "[messages]\ntitle = \"Error\"\n",
             main + "[files]\ninclude = []\n[messages.\"\"]\ntitle = \"\\u0001\\t'\\\"\"\n",
         }) {
        RoundTrip trip = roundTrip(text);
        EXPECT_EQ(trip.warnings, std::vector<std::string>{}) << text;
        EXPECT_EQ(trip.rebuilt, trip.block) << text;
    }
}

// Inspect never falls back to the stored text for a letter the builder can write by name.
TEST(LauncherConfig, InspectNamesEverySearchLetter) {
    for (std::size_t i = 0; i < kSearchLetterCount; ++i) {
        const SearchLetter& letter = kSearchLetters[i];
        std::string stored(1, static_cast<char>(letter.letter));
        stored += letter.hasText ? "x;" : ";";
        PrintedConfig printed =
            printLauncherConfig({.narrow = {{122, "M"}, {128, stored}}}, {}, "");
        std::string named = std::string(letter.name) + (letter.hasText ? ":x" : "");
        EXPECT_NE(printed.text.find("\"" + named + "\""), std::string::npos) << printed.text;
    }
}

TEST(LauncherConfig, InspectWarnsAboutBlocksTheFormatCannotExpress) {
    struct Case {
        BlockDescription description;
        std::string warning;
    };
    std::vector<Case> cases = {
        {{.narrow = {{122, "M"}, {107, "2"}}}, "key 107 (executable.type) holds \"2\""},
        {{.narrow = {{122, "M"}, {101, "a"}}}, "not in ascending key order"},
        {{.narrow = {{122, "M"}, {141, "08"}}}, "key 141 (splash.width) holds \"08\""},
        {{.narrow = {{122, "M"}}, .localized = {{"de", {{122, u"x"}}}}},
         "key 122 of the localized set \"de\" is not a message"},
        {{.narrow = {{122, "M"}}, .localized = {{"fr", {}}, {"de", {}}}},
         "not in ascending order of their prefixes"},
        {{.narrow = {{122, "M"}}, .included = {{u"a.txt", "x"}}}, "give a folder"},
    };
    for (const Case& c : cases) {
        PrintedConfig printed = printLauncherConfig(c.description, {}, "");
        bool found = false;
        for (const std::string& warning : printed.warnings) {
            found = found || warning.find(c.warning) != std::string::npos;
        }
        EXPECT_TRUE(found) << c.warning << "\n" << printed.text;
    }
}

}  // namespace
}  // namespace tesmo::tools

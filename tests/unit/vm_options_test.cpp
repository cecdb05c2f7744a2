#include "vm/vm_options.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A small file system of options files, by resolved path.
std::map<WideString, std::string> files;

void expandFake(WideString& text) {
    std::size_t at = text.find(u"${DIR}");
    if (at != WideString::npos) text.replace(at, 6, u"C:\\cfg\\");
}

bool resolveFake(WideString& out, const WideString& path, const WideString* baseFile) {
    if (path.size() > 1 && path[1] == u':') {
        out = path;
    } else {
        WideString base = baseFile ? baseFile->substr(0, baseFile->rfind(u'\\') + 1) : u"C:\\App\\";
        out = base + path;
    }
    return true;
}

std::optional<std::string> readFake(const WideString& path) {
    auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
}

const VmOptionSources kSources = {expandFake, resolveFake, readFake};

struct Collected {
    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources};
};

TEST(OptionLines, TrimsSpacesAndSkipsCommentsAndEmptyLines) {
    EXPECT_EQ(optionLines("   -Dx=1   \r\n#-Dy=2\n   \n\n-Xmx1g\r\n\t-Dtab\n-Da b\n"),
              (std::vector<std::string>{"-Dx=1", "-Xmx1g", "\t-Dtab", "-Da b"}));
    EXPECT_EQ(optionLines("last line without break"),
              std::vector<std::string>{"last line without break"});
    EXPECT_TRUE(optionLines("").empty());
}

TEST(OptionLines, LongLinesArriveInPieces) {
    std::string line = "-D" + std::string(7000, 'x');
    std::vector<std::string> pieces = optionLines(line + "\n-Dnext\n");
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].size(), 5999u);
    EXPECT_EQ(pieces[0] + pieces[1], line);
    EXPECT_EQ(pieces[2], "-Dnext");
}

TEST(OptionsFileText, ALineHoldingANulIsNoOption) {
    // The VM reads an option up to its first NUL: such a line would reach it cut short, a
    // UTF-16 file as fragments.
    using namespace std::string_literals;
    const WideString path = u"C:\\App\\app.vmoptions";
    const std::pair<std::string, std::vector<WideString>> rows[] = {
        {"-Dnul=a\0b\n-Dafter=1\n"s, {u"-Dafter=1"}},
        {"\0\n-Da\n\0-Db"s, {u"-Da"}},
        {"\xFF\xFE-\0D\0x\0\r\0\n\0"s, {}}};
    for (const auto& [contents, options] : rows) {
        Collected c;
        c.context.filePath = &path;
        readVmOptionsText(c.context, contents);
        EXPECT_EQ(c.options, options) << contents.size();
    }
}

TEST(AddVmOption, DirectivesTakeTheLastOfEachKind) {
    Collected c;
    for (const char16_t* option :
         {u"-classpath/a extra.jar", u"-Xmx1g", u"-classpath/a more.jar", u"-classpath a;b",
          u"-classpath/p first.jar", u"-classpath", u"-classpathx y", u"-classpath/ax"}) {
        addVmOption(c.context, option);
    }
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Xmx1g", u"-classpath", u"-classpathx y",
                                                  u"-classpath/ax"}));
    EXPECT_EQ(c.directives.appended, u"more.jar");
    EXPECT_EQ(c.directives.replacement, u"a;b");
    EXPECT_EQ(c.directives.prepended, u"first.jar");
}

TEST(Includes, ResolveAgainstTheIncludingFile) {
    files = {{u"C:\\App\\a.vmoptions", "-Da\n-include-options ..\\cfg\\b.vmoptions\n-Dafter\n"},
             {u"C:\\App\\..\\cfg\\b.vmoptions", "-Db\n-include-options c.vmoptions\n"},
             {u"C:\\App\\..\\cfg\\c.vmoptions", "-Dc\n"}};
    Collected c;
    addVmOption(c.context, u"-include-options a.vmoptions");
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Da", u"-Db", u"-Dc", u"-Dafter"}));
}

TEST(Includes, ExpandedAndMissingFilesAddNothing) {
    files = {{u"C:\\cfg\\common.vmoptions", "-Dcommon\n"}};
    Collected c;
    testing::clearCapturedLog();
    addVmOption(c.context, u"-include-options ${DIR}common.vmoptions");
    addVmOption(c.context, u"-include-options missing.vmoptions");
    EXPECT_EQ(c.options, std::vector<WideString>{u"-Dcommon"});
    const auto& log = testing::capturedLog();
    EXPECT_EQ(log[0], "after exp from C:\\cfg\\common.vmoptions ${DIR}common.vmoptions");
    EXPECT_EQ(log[1].rfind("adding vmoptions from (", 0), 0u);
    EXPECT_NE(log[1].find(") <C:\\cfg\\common.vmoptions> (C:\\cfg\\common.vmoptions)"),
              std::string::npos);
    // A file that cannot be opened shows a null handle.
    std::string nullHandle(sizeof(void*) * 2, '0');
    EXPECT_EQ(log[5], "adding vmoptions from (" + nullHandle +
                          ") <C:\\App\\missing.vmoptions> (missing.vmoptions)");
}

TEST(Includes, ASelfIncludeEndsAtTheDepthOrTheFileLimit) {
    struct Case {
        const char* contents;
        int options;
        const char* refusal;
    };
    const Case cases[] = {
        {"-Dline\n-include-options self.vmoptions\n", kMaxIncludeDepth,
         "ERROR: not including C:\\App\\self.vmoptions: options files nested more than 16 "
         "deep"},
        // Within the depth limit two includes a file would be read some 130,000 times.
        {"-Dline\n-include-options self.vmoptions\n-include-options self.vmoptions\n",
         kMaxIncludedFiles,
         "ERROR: not including C:\\App\\self.vmoptions: more than 256 options files included"}};
    for (const Case& c : cases) {
        files = {{u"C:\\App\\self.vmoptions", c.contents}};
        Collected collected;
        testing::clearCapturedLog();
        addVmOption(collected.context, u"-include-options self.vmoptions");
        EXPECT_EQ(collected.options.size(), static_cast<std::size_t>(c.options));
        const auto& log = testing::capturedLog();
        EXPECT_NE(std::find(log.begin(), log.end(), c.refusal), log.end()) << c.refusal;
    }
}

TEST(ConfiguredOptions, SplitLikeACommandLineWithIncludeJoining) {
    files = {{u"C:\\App\\x.vmoptions", "-Dfrom.file\n"}};
    Collected c;
    addConfiguredOptions(c.context,
                         u"-Xms128m \"-Dname=a b\" -include-options x.vmoptions "
                         u"\"-classpath/a lib\\extra.jar\" -classpath sep -include-options");
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Xms128m", u"-Dname=a b", u"-Dfrom.file",
                                                  u"-classpath", u"sep", u"-include-options"}));
    EXPECT_EQ(c.directives.appended, u"lib\\extra.jar");
}

TEST(DashJAndLocale, FromTheCommandLine) {
    Collected c;
    ArgumentList arguments{u"app",
                           u"-J-Xmx2g",
                           u"a",
                           u"-Jx",
                           u"-Dsun.locale.formatasdefault=no",
                           u"-Dsun.locale.formatasdefault=false"};
    addDashJOptions(c.context, arguments);
    addLocaleOptions(c.context, arguments, "de", "CH");
    EXPECT_EQ(c.options,
              (std::vector<WideString>{u"-Xmx2g", u"x", u"-Dsun.locale.formatasdefault=false",
                                       u"-Duser.language=de", u"-Duser.country=CH"}));
}

TEST(DashJAndLocale, TrueOrAbsentAddsNoLanguage) {
    Collected c;
    addLocaleOptions(c.context, {u"app", u"-Dsun.locale.formatasdefault=true"}, "de", "CH");
    addLocaleOptions(c.context, {u"app"}, "de", "CH");
    EXPECT_EQ(c.options, std::vector<WideString>{u"-Dsun.locale.formatasdefault=true"});
    Collected bare;
    addLocaleOptions(bare.context, {u"-Dsun.locale.formatasdefault=off"}, "no", "");
    EXPECT_EQ(bare.options, (std::vector<WideString>{u"-Dsun.locale.formatasdefault=off",
                                                     u"-Duser.language=no"}));
}

TEST(OptionsFileLimit, EndsWithTheLastWholeLineBeforeTheLimit) {
    for (const auto& [contents, kept] :
         std::vector<std::pair<std::string, std::string>>{{"-Da\n-Db\n", "-Da\n-Db\n"},
                                                          {"-Da\n-Db\n-Dc", "-Da\n-Db\n"},
                                                          {"-Da\n-Dbcdef\n", "-Da\n"},
                                                          {"-Dabcdefghi", ""}}) {
        std::string cut = contents;
        keepWholeLinesWithin(cut, 8, u"a");
        EXPECT_EQ(cut, kept) << contents;
    }
}

TEST(DefaultOptionsFile, BesideEachExecutableNameTheShortNameFirst) {
    EXPECT_TRUE(vmOptionsFileNames(u".ex").empty());
    files = {{u"C:\\App\\app.exe.vmoptions", "-Dlong"}, {u"C:\\APP~1\\app.vmoptions", "-Dshort"}};
    EXPECT_EQ(readDefaultVmOptionsFile({u"C:\\App\\app.exe", u"C:\\APP~1\\app.exe"}, kSources),
              "-Dlong");
    files[u"C:\\App\\app.vmoptions"] = "-Dfirst";
    EXPECT_EQ(readDefaultVmOptionsFile({u"C:\\App\\app.exe", u"C:\\APP~1\\app.exe"}, kSources),
              "-Dfirst");
    files = {{u"C:\\APP~1\\app.vmoptions", "-Dshort"}};
    EXPECT_EQ(readDefaultVmOptionsFile({u"x", u"C:\\APP~1\\app.exe"}, kSources), "-Dshort");
    EXPECT_EQ(readDefaultVmOptionsFile({u"C:\\App\\app.exe"}, kSources), std::nullopt);
}

}  // namespace
}  // namespace tesmo

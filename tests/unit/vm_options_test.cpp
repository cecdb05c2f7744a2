#include "vm/vm_options.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

std::map<WideString, std::string> files;

const VmOptionSources kSources = {
    [](WideString& text) {
        if (text.rfind(u"${DIR}", 0) == 0) text.replace(0, 6, u"C:\\cfg\\");
    },
    [](WideString& out, const WideString& path, const WideString* baseFile) {
        WideString base = baseFile ? baseFile->substr(0, baseFile->rfind(u'\\') + 1) : u"C:\\App\\";
        out = path.size() > 1 && path[1] == u':' ? path : base + path;
        return true;
    },
    [](const WideString& path) {
        return files.count(path) ? std::optional(files[path]) : std::nullopt;
    }};

struct Collected {
    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources};
};

TEST(OptionsFileText, ALineHoldingANulIsNoOption) {
    // The VM reads an option up to its first NUL: such a line would reach it cut short, a
    // UTF-16 file as fragments.
    using namespace std::string_literals;
    const std::pair<std::string, std::vector<WideString>> rows[] = {
        {"   -Dx=1   \r\n#-Dy=2\n   \n\t-Dtab\n-Da b"s, {u"-Dx=1", u"\t-Dtab", u"-Da b"}},
        {"-Dnul=a\0b\n-Dafter=1\n"s, {u"-Dafter=1"}},
        {"\xFF\xFE-\0D\0x\0\r\0\n\0"s, {}},
        {"-D" + std::string(7000, 'x') + "\n-Dnext\n",
         {u"-D" + WideString(5997, u'x'), WideString(1003, u'x'), u"-Dnext"}}};
    for (const auto& [contents, options] : rows) {
        Collected c;
        readVmOptionsText(c.context, contents);
        EXPECT_EQ(c.options, options) << contents.substr(0, 20);
    }
}

TEST(AddVmOption, DirectivesTakeTheLastOfEachKind) {
    Collected c;
    for (const char16_t* option : {u"-classpath/a extra.jar", u"-Xmx1g", u"-classpath/a more.jar",
                                   u"-classpath a;b", u"-classpath/p first.jar", u"-classpath/ax"})
        addVmOption(c.context, option);
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Xmx1g", u"-classpath/ax"}));
    EXPECT_EQ(c.directives.appended, u"more.jar");
    EXPECT_EQ(c.directives.replacement, u"a;b");
    EXPECT_EQ(c.directives.prepended, u"first.jar");
}

TEST(Includes, ResolveAgainstTheIncludingFile) {
    files = {{u"C:\\App\\a.vmoptions", "-Da\n-include-options ..\\cfg\\b.vmoptions\n-Dafter\n"},
             {u"C:\\App\\..\\cfg\\b.vmoptions", "-Db\n-include-options c.vmoptions\n"},
             {u"C:\\App\\..\\cfg\\c.vmoptions",
              "-Dc\n-include-options missing.vmoptions\n-include-options ${DIR}d.vmoptions\n"},
             {u"C:\\cfg\\d.vmoptions", "-Dd\n"}};
    Collected c;
    addVmOption(c.context, u"-include-options a.vmoptions");
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Da", u"-Db", u"-Dc", u"-Dd", u"-Dafter"}));
}

TEST(Includes, ASelfIncludeEndsAtTheDepthOrTheFileLimit) {
    const std::string include = "-include-options self.vmoptions\n";
    const std::tuple<std::string, std::size_t, std::string> cases[] = {
        {"-Dline\n" + include, kMaxIncludeDepth, "options files nested more than 16 deep"},
        // Within the depth limit two includes a file would be read some 130,000 times.
        {"-Dline\n" + include + include, kMaxIncludedFiles,
         "more than 256 options files included"}};
    for (const auto& [contents, options, refusal] : cases) {
        files = {{u"C:\\App\\self.vmoptions", contents}};
        Collected collected;
        testing::clearCapturedLog();
        addVmOption(collected.context, u"-include-options self.vmoptions");
        EXPECT_EQ(collected.options.size(), options);
        const auto& log = testing::capturedLog();
        const std::string line = "ERROR: not including C:\\App\\self.vmoptions: " + refusal;
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end());
    }
}

TEST(OptionsFileLimit, EndsWithTheLastWholeLineBeforeTheLimit) {
    const auto kept = [](std::string text) { return keepWholeLinesWithin(text, 8, u"a"), text; };
    EXPECT_EQ(kept("-Da\n-Db\n-Dc"), "-Da\n-Db\n");
    EXPECT_EQ(kept("-Dabcdefghi"), "");
}

TEST(DefaultOptionsFile, BesideEachExecutableNameTheShortNameFirst) {
    files = {{u"C:\\APP~1\\app.vmoptions", "-Dshort"}};
    const std::vector<WideString> names = {u"x", u"C:\\App\\app.exe", u"C:\\APP~1\\app.exe"};
    EXPECT_EQ(readDefaultVmOptionsFile(names, kSources), "-Dshort");
    files[u"C:\\App\\app.exe.vmoptions"] = "-Dlong";
    EXPECT_EQ(readDefaultVmOptionsFile(names, kSources), "-Dlong");
    files[u"C:\\App\\app.vmoptions"] = "-Dfirst";
    EXPECT_EQ(readDefaultVmOptionsFile(names, kSources), "-Dfirst");
}

}  // namespace
}  // namespace tesmo

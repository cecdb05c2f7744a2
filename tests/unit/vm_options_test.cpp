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
    WideString base = baseFile ? baseFile->substr(0, baseFile->rfind(u'\\') + 1) : u"C:\\App\\";
    out = path.size() > 1 && path[1] == u':' ? path : base + path;
    return true;
}

std::optional<std::string> readFake(const WideString& path) {
    auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional(found->second);
}

const VmOptionSources kSources = {expandFake, resolveFake, readFake};

struct Collected {
    std::vector<WideString> options;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, kSources};
};

TEST(OptionsFileText, ALineHoldingANulIsNoOption) {
    // The VM reads an option up to its first NUL: such a line would reach it cut short, a
    // UTF-16 file as fragments.
    using namespace std::string_literals;
    const WideString path = u"C:\\App\\app.vmoptions";
    const std::pair<std::string, std::vector<WideString>> rows[] = {
        {"   -Dx=1   \r\n#-Dy=2\n   \n\t-Dtab\n-Da b"s, {u"-Dx=1", u"\t-Dtab", u"-Da b"}},
        {"-Dnul=a\0b\n-Dafter=1\n"s, {u"-Dafter=1"}},
        {"\0\n-Da\n\0-Db"s, {u"-Da"}},
        {"\xFF\xFE-\0D\0x\0\r\0\n\0"s, {}},
        // Long lines arrive in pieces rather than cut.
        {"-D" + std::string(7000, 'x') + "\n-Dnext\n",
         {u"-D" + WideString(5997, u'x'), WideString(1003, u'x'), u"-Dnext"}}};
    for (const auto& [contents, options] : rows) {
        Collected c;
        c.context.filePath = &path;
        readVmOptionsText(c.context, contents);
        EXPECT_EQ(c.options, options) << contents.substr(0, 20);
    }
}

TEST(AddVmOption, DirectivesTakeTheLastOfEachKind) {
    Collected c;
    for (const char16_t* option :
         {u"-classpath/a extra.jar", u"-Xmx1g", u"-classpath/a more.jar", u"-classpath a;b",
          u"-classpath/p first.jar", u"-classpath/ax"}) {
        addVmOption(c.context, option);
    }
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Xmx1g", u"-classpath/ax"}));
    EXPECT_EQ(c.directives.appended, u"more.jar");
    EXPECT_EQ(c.directives.replacement, u"a;b");
    EXPECT_EQ(c.directives.prepended, u"first.jar");
}

TEST(Includes, ResolveAgainstTheIncludingFile) {
    files = {{u"C:\\App\\a.vmoptions", "-Da\n-include-options ..\\cfg\\b.vmoptions\n-Dafter\n"},
             {u"C:\\App\\..\\cfg\\b.vmoptions", "-Db\n-include-options c.vmoptions\n"},
             {u"C:\\App\\..\\cfg\\c.vmoptions", "-Dc\n"},
             {u"C:\\cfg\\d.vmoptions", "-Dd\n"}};
    Collected c;
    addVmOption(c.context, u"-include-options a.vmoptions");
    addVmOption(c.context, u"-include-options missing.vmoptions");
    addVmOption(c.context, u"-include-options ${DIR}d.vmoptions");
    EXPECT_EQ(c.options, (std::vector<WideString>{u"-Da", u"-Db", u"-Dc", u"-Dafter", u"-Dd"}));
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
    files = {{u"C:\\App\\app.exe.vmoptions", "-Dlong"}, {u"C:\\APP~1\\app.vmoptions", "-Dshort"}};
    const std::vector<WideString> names = {u"C:\\App\\app.exe", u"C:\\APP~1\\app.exe"};
    EXPECT_EQ(readDefaultVmOptionsFile(names, kSources), "-Dlong");
    files[u"C:\\App\\app.vmoptions"] = "-Dfirst";
    EXPECT_EQ(readDefaultVmOptionsFile(names, kSources), "-Dfirst");
    files = {{u"C:\\APP~1\\app.vmoptions", "-Dshort"}};
    EXPECT_EQ(readDefaultVmOptionsFile({u"x", names[1]}, kSources), "-Dshort");
}

}  // namespace
}  // namespace tesmo

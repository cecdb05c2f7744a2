#include "vm/launch_arguments.h"

#include <gtest/gtest.h>

#include "files/included_files.h"

namespace tesmo {
namespace {

TEST(SystemProperties, InTheirOrderWithTheirConditions) {
    PropertyValues values;
    values.modulePath = "C:\\App\\app.exe";
    values.tempDirectory = u"C:\\Temp\\tsm1.tmp_dir5";
    values.unextractedPosition = -1;
    values.libraryPath = u"C:\\App\\lib;C:\\windows";
    values.consoleCodepage = 850;
    EXPECT_EQ(
        systemProperties(values),
        (std::vector<WideString>{
            u"-Dtesmo.moduleName=C:\\App\\app.exe", u"-Dsun.java.command=C:\\App\\app.exe",
            u"-Dtesmo.tempDir=C:\\Temp\\tsm1.tmp_dir5", u"-Dtesmo.unextractedPosition=-1",
            u"-Djava.library.path=C:\\App\\lib;C:\\windows", u"-Dtesmo.consoleCodepage=cp850"}));
    values.semaphoreName = "Local\\app_0";
    values.korvane = true;
    values.processCommFile = "C:\\Temp\\tsm_p42.tmp";
    values.consoleCodepage.reset();
    values.libraryPath = WideString(20000, u'p');
    std::vector<WideString> all = systemProperties(values);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0], u"-Dtesmo.semaphoreName=Local\\app_0");
    EXPECT_EQ(all[1], u"-Dtesmo.isKorvane=true");
    EXPECT_EQ(all[4], u"-Dtesmo.processCommFile=C:\\Temp\\tsm_p42.tmp");
    // A library path beyond any fixed buffer is passed whole.
    EXPECT_EQ(all[7].size(), 20000u + 20);
}

TEST(WrapperArguments, LeadingValuesThenFixedThenUserArguments) {
    WrapperSettings settings;
    settings.windowed = true;
    settings.mainClass = u"com.example.App";
    settings.errorLog = u"C:\\App\\error.log";
    settings.flag = true;
    settings.fixedArguments = u"--fixed \"two words\"";
    ArgumentList arguments{
        u"C:\\App\\app.exe",   u"a",        u"-Jx", u"-Dsun.locale.formatasdefault=false",
        u"__kvn_lang_restart", u"-console", u"b"};
    std::vector<WideString> expected{u"true",
                                     u"com.example.App",
                                     u"C:\\App\\error.log",
                                     u"",
                                     u"true",
                                     u"C:\\App\\app.exe",
                                     u"--fixed",
                                     u"two words",
                                     u"a",
                                     u"-Jx",
                                     u"__kvn_lang_restart",
                                     u"-console",
                                     u"b"};
    EXPECT_EQ(wrapperArguments(settings, arguments), expected);
    settings.dashJOptions = true;
    expected.erase(expected.begin() + 9);
    EXPECT_EQ(wrapperArguments(settings, arguments), expected);
}

TEST(WrapperArguments, EmptyArgumentListHasNoProgramName) {
    WrapperSettings settings;
    EXPECT_EQ(wrapperArguments(settings, {}),
              (std::vector<WideString>{u"false", u"", u"", u"", u"false"}));
}

TEST(NarrowOption, OneBytePerUnitUpToLatin1) {
    EXPECT_EQ(narrowOption(u"-Dname=caf\u00E9"), "-Dname=caf\xE9");
    EXPECT_EQ(narrowOption(u"-Dname=\u4E2D"), "-Dname=?");
}

TEST(IncludedFiles, NamesUpToTheCount) {
    EXPECT_EQ(includedFileNames(u"a.jar;;lib\\b.dll;c", 2),
              (std::vector<WideString>{u"a.jar", u"lib\\b.dll"}));
    EXPECT_EQ(includedFileNames(u"a;b", 5).size(), 2u);
    EXPECT_TRUE(includedFileNames(u"a;b", -1).empty());
}

TEST(IncludedFiles, NamesMustStayInTheTemporaryDirectory) {
    for (const char16_t* name : {u"a.jar", u"lib\\b.dll", u"x y.txt", u"..x", u"lib\\..x"}) {
        EXPECT_TRUE(isSafeIncludedName(name)) << toUtf8(name);
    }
    for (const char16_t* name : {u"", u"..\\evil.dll", u"lib\\..\\..\\evil", u"C:\\evil", u"C:evil",
                                 u"\\evil", u"\\\\server\\share\\x", u"a\\b\\c", u"lib\\", u".",
                                 u"lib\\.", u"a/b", u"..", u"lib\\.."}) {
        EXPECT_FALSE(isSafeIncludedName(name)) << toUtf8(name);
    }
}

}  // namespace
}  // namespace tesmo

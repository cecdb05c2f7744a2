#include "vm/launch_arguments.h"

#include <gtest/gtest.h>

#include "files/included_files.h"
#include "tests/support/log_capture.h"
#include "vm/native_library_path.h"

namespace tesmo {
namespace {

TEST(SystemProperties, InTheirOrderWithTheirConditions) {
    // A library path beyond any fixed buffer is passed whole.
    const PropertyValues values{"Local\\app_0", true, "C:\\App\\app.exe",      "C:\\T\\tsm_p42.tmp",
                                u"C:\\T\\d",    -1,   WideString(20000, u'p'), 850};
    EXPECT_EQ(systemProperties(values),
              (std::vector<WideString>{
                  u"-Dtesmo.semaphoreName=Local\\app_0", u"-Dtesmo.isKorvane=true",
                  u"-Dtesmo.moduleName=C:\\App\\app.exe", u"-Dsun.java.command=C:\\App\\app.exe",
                  u"-Dtesmo.processCommFile=C:\\T\\tsm_p42.tmp", u"-Dtesmo.tempDir=C:\\T\\d",
                  u"-Dtesmo.unextractedPosition=-1", u"-Djava.library.path=" + values.libraryPath,
                  u"-Dtesmo.consoleCodepage=cp850"}));
}

WideString fakeShortPath(const WideString& path) {
    if (path == u"C:\\\u0394\\lib") return u"C:\\D~1\\lib";
    if (path == u"C:\\\u4E2D.jar") return u"C:\\4E2D~1.JAR";
    return {};
}

TEST(NarrowablePaths, EntriesBeyondLatin1TakeTheirShortForm) {
    for (const auto& [list, narrowable] : std::vector<std::pair<WideView, WideView>>{
             {u"", u""},
             {u"C:\\caf\u00E9;;C:\\\u0394\\lib;", u"C:\\caf\u00E9;;C:\\D~1\\lib;"},
             {u"C:\\\u4E2D.jar;C:\\\u4E2D\\none", u"C:\\4E2D~1.JAR;C:\\\u4E2D\\none"}}) {
        EXPECT_EQ(narrowablePathList(list, fakeShortPath), narrowable) << toUtf8(list);
    }
    EXPECT_EQ(narrowableClassPathOption(u"-Djava.class.path=a;C:\\\u4E2D.jar", fakeShortPath),
              u"-Djava.class.path=a;C:\\4E2D~1.JAR");
}

TEST(NativeLibraryPath, DirectoriesInFrontOfTheWholePathAndAFailureLogged) {
    testing::clearCapturedLog();
    applyNativeLibraryPath(
        u"%H%",
        {[](WideString& text) { text = u"$home"; },
         [](WideString& out, const WideString& list) { return !(out = u"C:\\" + list).empty(); },
         [] { return WideString(u"C:\\windows"); },
         [](const WideString&, int& error) { return (error = 206), false; }});
    EXPECT_EQ(testing::capturedLog(),
              (std::vector<std::string>{
                  "native lib dir is %H%",
                  "Setting PATH (native libs) C:\\$home;C:\\windows failed with error 206"}));
}

TEST(WrapperArguments, LeadingValuesThenFixedThenUserArguments) {
    // Windowed, the main class, the error log, no output log, the flag, the fixed arguments.
    WrapperSettings settings{true, u"com.example.App",      u"C:\\App\\error.log", u"",
                             true, u"--fixed \"two words\""};
    ArgumentList arguments{
        u"C:\\App\\app.exe",   u"a",        u"-Jx", u"-Dsun.locale.formatasdefault=false",
        u"__kvn_lang_restart", u"-console", u"b"};
    std::vector<WideString> expected = wrapperArguments(settings, arguments);
    EXPECT_EQ(expected,
              (std::vector<WideString>{u"true", u"com.example.App", u"C:\\App\\error.log", u"",
                                       u"true", u"C:\\App\\app.exe", u"--fixed", u"two words", u"a",
                                       u"-Jx", u"__kvn_lang_restart", u"-console", u"b"}));
    settings.dashJOptions = true;
    expected.erase(expected.begin() + 9);
    EXPECT_EQ(wrapperArguments(settings, arguments), expected);
    EXPECT_EQ(wrapperArguments(WrapperSettings{}, {}),
              (std::vector<WideString>{u"false", u"", u"", u"", u"false"}));
}

TEST(IncludedFiles, NamesUpToTheCountAndOnlyInsideTheTemporaryDirectory) {
    EXPECT_EQ(includedFileNames(u"a.jar;;lib\\b.dll;c", 2),
              (std::vector<WideString>{u"a.jar", u"lib\\b.dll"}));
    for (const char16_t* name : {u"lib\\b.dll", u"x y.txt", u"lib\\..x"})
        EXPECT_TRUE(isSafeIncludedName(name)) << toUtf8(name);
    for (const char16_t* name :
         {u"", u"..\\evil.dll", u"C:evil", u"\\evil", u"a\\b\\c", u"lib\\", u"a/b", u"lib\\.."})
        EXPECT_FALSE(isSafeIncludedName(name)) << toUtf8(name);
}

}  // namespace
}  // namespace tesmo

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_library_windows.h"
#include "splash/splash.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

std::size_t loggedLines(const std::string& prefix) {
    return std::ranges::count_if(testing::capturedLog(),
                                 [&](const std::string& line) { return line.starts_with(prefix); });
}

// The runtime's splash library is loaded once though asked again, and closed once though two
// error paths ask. With no RT_RCDATA 10000 in the test program it gets no bytes to show.
TEST(LibrarySplash, StartsOnceAndClosesOnce) {
    WideString bin = executableDirectoryWide() + u"splash-home\\bin";
    CreateDirectoryW(asWindows(directoryOf(bin)), nullptr);
    CreateDirectoryW(asWindows(bin), nullptr);
    WideString record = bin + u"\\splash-record.txt";
    DeleteFileW(asWindows(record));
    WideString standin = executableDirectoryWide() + u"standins\\splashscreen-standin.dll";
    ASSERT_TRUE(CopyFileW(asWindows(standin), asWindows(bin + u"\\splashscreen.dll"), FALSE))
        << "the stand-in splashscreen.dll is not built beside the tests";
    narrowSettings[kKeySplashThroughRuntime] = "1";
    launcherInstance = GetModuleHandleW(nullptr);
    testing::clearCapturedLog();

    // A runtime without the library: logged, and the next request may try again.
    jvmHome = executableDirectoryWide() + u"no-such-runtime\\bin\\..";
    splashScreen(1);
    EXPECT_EQ(loggedLines("ERROR: Could not load splashscreen.dll"), 1u);

    jvmHome = bin + u"\\..";
    for (int show : {1, 1, 0, 0}) splashScreen(show);
    narrowSettings.erase(kKeySplashThroughRuntime);
    jvmHome.clear();

    std::string pid = std::to_string(GetCurrentProcessId());
    std::ifstream recorded(asWindows(record));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(recorded), {}),
              pid + " init\n" + pid + " load 0 0\n" + pid + " close\n");
    EXPECT_EQ(loggedLines("splash load memory returned 0 ("), 1u);
    // The library's splash is the runtime's: the launcher's own window never starts.
    EXPECT_EQ(loggedLines("Starting splash screen thread"), 0u);
}

}  // namespace
}  // namespace tesmo

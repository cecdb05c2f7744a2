#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

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
    const auto& lines = testing::capturedLog();
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

// The whole life of the runtime's splash in one process: the library is loaded once, even
// when asked again, and closed once, even when two error paths ask. The test program has
// no RT_RCDATA 10000, so the library is handed no bytes and its answer is only logged.
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
    std::stringstream recorded;
    recorded << std::ifstream(asWindows(record)).rdbuf();
    EXPECT_EQ(recorded.str(), pid + " init\n" + pid + " load 0 0\n" + pid + " close\n");
    EXPECT_EQ(loggedLines("loading splashscreen dll from " + toNarrow(bin) +
                          "\\..\\bin\\splashscreen.dll"),
              1u);
    EXPECT_EQ(loggedLines("splash load memory returned 0 ("), 1u);
    // The library's splash is the runtime's: the launcher's own window never starts.
    EXPECT_EQ(loggedLines("Starting splash screen thread") + loggedLines("Hiding splash screen"),
              0u);
}

}  // namespace
}  // namespace tesmo

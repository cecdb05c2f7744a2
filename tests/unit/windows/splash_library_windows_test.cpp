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

std::vector<std::string> readLines(const WideString& path) {
    std::ifstream file(asWindows(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

bool logged(const std::string& wanted) {
    const auto& lines = testing::capturedLog();
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The whole life of the runtime's splash in one process: the library is loaded once, even
// when asked again, and closed once, even when two error paths ask. The test program has
// no RT_RCDATA 10000, so the library is handed no bytes and its answer is only logged.
TEST(LibrarySplash, StartsOnceAndClosesOnce) {
    WideString home = executableDirectoryWide() + u"splash-home";
    WideString bin = home + u"\\bin";
    CreateDirectoryW(asWindows(home), nullptr);
    CreateDirectoryW(asWindows(bin), nullptr);
    WideString library = bin + u"\\splashscreen.dll";
    WideString record = bin + u"\\splash-record.txt";
    DeleteFileW(asWindows(record));
    WideString standin = executableDirectoryWide() + u"standins\\splashscreen-standin.dll";
    ASSERT_TRUE(CopyFileW(asWindows(standin), asWindows(library), FALSE))
        << "the stand-in splashscreen.dll is not built beside the tests";
    narrowSettings[kKeySplashThroughRuntime] = "1";
    launcherInstance = GetModuleHandleW(nullptr);
    testing::clearCapturedLog();

    // A runtime without the library: logged, and the next request may try again.
    jvmHome = executableDirectoryWide() + u"no-such-runtime\\bin\\..";
    splashScreen(1);
    EXPECT_TRUE(logged("ERROR: Could not load splashscreen.dll"));

    jvmHome = bin + u"\\..";
    splashScreen(1);
    splashScreen(1);
    splashScreen(0);
    splashScreen(0);
    narrowSettings.erase(kKeySplashThroughRuntime);
    jvmHome.clear();

    std::string pid = std::to_string(GetCurrentProcessId());
    EXPECT_EQ(readLines(record),
              (std::vector<std::string>{pid + " init", pid + " load 0 0", pid + " close"}));
    EXPECT_TRUE(
        logged("loading splashscreen dll from " + toNarrow(bin) + "\\..\\bin\\splashscreen.dll"));
    EXPECT_EQ(std::count_if(testing::capturedLog().begin(), testing::capturedLog().end(),
                            [](const std::string& line) {
                                return line.rfind("splash load memory returned 0 (", 0) == 0;
                            }),
              1);
    // The library's splash is the runtime's: the launcher's own window never starts.
    EXPECT_FALSE(logged("Starting splash screen thread"));
    EXPECT_FALSE(logged("Hiding splash screen"));
}

}  // namespace
}  // namespace tesmo

#include <gtest/gtest.h>

#include <functional>

#include "core/launcher_state.h"
#include "core/settings.h"
#include "files/temp_directory.h"
#include "instance/instance_protocol.h"
#include "instance/single_instance.h"
#include "platform/system_calls_windows.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

constexpr char kPidsKey[] = "SOFTWARE\\dravik-labs\\tesmo\\pids";

// The registry value name and semaphore basis, formed independently of the launcher's code.
std::string loweredExecutablePath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string lowered(path, length);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

void deletePidValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, loweredExecutablePath().c_str());
        RegCloseKey(key);
    }
}

bool semaphoreExists(const std::string& name) {
    HANDLE handle = OpenSemaphoreA(SYNCHRONIZE, FALSE, name.c_str());
    if (handle == nullptr) return false;
    CloseHandle(handle);
    return true;
}

bool logged(const std::string& line) {
    const auto& log = testing::capturedLog();
    return std::find(log.begin(), log.end(), line) != log.end();
}

// The stage itself is left to the end-to-end tests: it takes names formed from this
// executable's path, which a concurrent run of the same tests would share, and a start that
// meets another ends the process.
class InstanceRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        savedName = instanceSemaphoreName;
        narrowSettings.clear();
        deletePidValue();
        testing::clearCapturedLog();
    }
    void TearDown() override {
        instanceSemaphoreName = savedName;
        narrowSettings.clear();
        deletePidValue();
    }
    std::optional<std::string> savedName;
};

TEST_F(InstanceRegistry, APidValueOfTheWrongSizeReadsAsNone) {
    EXPECT_EQ(readInstancePid(), 0u);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const BYTE twoBytes[] = {7, 0};
    RegSetValueExA(key, loweredExecutablePath().c_str(), 0, REG_BINARY, twoBytes, 2);
    EXPECT_EQ(readInstancePid(), 0u);
    const BYTE four[] = {0x39, 0x30, 0, 0};
    RegSetValueExA(key, loweredExecutablePath().c_str(), 0, REG_BINARY, four, 4);
    RegCloseKey(key);
    // The type is not looked at.
    EXPECT_EQ(readInstancePid(), 12345u);
}

// A second start's hand-over, with this test playing the first instance: it holds the
// instance semaphore and reacts while the hand-over sleeps, which the seam makes instant.
class HandOver : public InstanceRegistry {
  protected:
    void SetUp() override {
        InstanceRegistry::SetUp();
        saved = systemCalls;
        current = this;
        systemCalls.sleep = fakeSleep;
        instanceSemaphoreName = "Local\\tesmo_unit_first_" + std::to_string(GetCurrentProcessId());
        first = CreateSemaphoreA(nullptr, 1, 1, instanceSemaphoreName->c_str());
        // Held here as well, so that the count the hand-over leaves behind can be read.
        notification = CreateSemaphoreA(nullptr, 1, 1,
                                        notificationSemaphoreName(*instanceSemaphoreName).c_str());
        file = processCommFileName(GetCurrentProcessId()).value();
        DeleteFileA(file.c_str());
        testing::clearCapturedLog();
    }
    void TearDown() override {
        systemCalls = saved;
        current = nullptr;
        endFirstInstance();
        CloseHandle(notification);
        DeleteFileA(file.c_str());
        InstanceRegistry::TearDown();
    }
    void endFirstInstance() {
        if (first != nullptr) CloseHandle(first);
        first = nullptr;
    }
    // Takes the file the way the application does: read, then delete.
    void takeFile() {
        HANDLE handle =
            CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return;
        char buffer[256];
        DWORD got = 0;
        ReadFile(handle, buffer, sizeof buffer, &got, nullptr);
        CloseHandle(handle);
        taken.emplace_back(buffer, got);
        DeleteFileA(file.c_str());
    }
    // Takes the count for a moment and gives it back, so the next hand-over gets in.
    bool notificationReleased() {
        if (WaitForSingleObject(notification, 0) != WAIT_OBJECT_0) return false;
        ReleaseSemaphore(notification, 1, nullptr);
        return true;
    }
    bool fileExists() { return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES; }

    static VOID WINAPI fakeSleep(DWORD milliseconds) {
        current->sleeps.push_back(milliseconds);
        if (current->onSleep) current->onSleep(static_cast<int>(current->sleeps.size()) - 1);
    }

    static HandOver* current;
    SystemCalls saved;
    HANDLE first = nullptr;
    HANDLE notification = nullptr;
    std::string file;
    std::vector<DWORD> sleeps;
    std::vector<std::string> taken;
    std::function<void(int)> onSleep;
};

HandOver* HandOver::current = nullptr;

TEST_F(HandOver, WritesTheTextAndWaitsUntilTheFirstInstanceTookIt) {
    onSleep = [this](int) { takeFile(); };
    EXPECT_EQ(notifyRunningInstance(GetCurrentProcessId(), u"\"a b\" c\u00e9").messageId, 0);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0], notificationBytes(u"\"a b\" c\u00e9"));
    EXPECT_EQ(sleeps.size(), 1u);
    EXPECT_TRUE(logged("notification via " + file));
    EXPECT_TRUE(logged("wait returned 0"));
    EXPECT_TRUE(logged("waiting for file deletion"));
    EXPECT_TRUE(notificationReleased());
}

TEST_F(HandOver, AliveCheckTellsByTheSemaphore) {
    EXPECT_TRUE(isMainInstanceAlive());
    endFirstInstance();
    EXPECT_FALSE(isMainInstanceAlive());
    // The check made the semaphore only for a moment.
    EXPECT_FALSE(semaphoreExists(*instanceSemaphoreName));
}

}  // namespace
}  // namespace tesmo

// What the stand-in VM needs from Windows: the record beside the DLL, standard error in the
// ANSI code page (or through a launcher's vfprintf hook, as a VM would), the class path's
// files, and the loud end of a misused VM.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "vm.h"

namespace standin::jvm {

// The hooks a launcher may pass as the options "vfprintf", "exit" and "abort".
struct Hooks {
    int(__stdcall* vfprintf)(FILE*, const char*, va_list) = nullptr;
    void(__stdcall* exit)(long) = nullptr;
    void(__stdcall* abort)() = nullptr;
};

class WindowsFiles : public FileSystem {
  public:
    bool isDirectory(const std::u16string& path) override;
    std::optional<std::vector<std::uint8_t>> readFile(const std::u16string& path) override;
};

class WindowsHost : public Host {
  public:
    explicit WindowsHost(HMODULE module);

    void persist(const std::string& json) override;
    void printError(const std::u16string& text) override;
    [[noreturn]] void fatal(const std::string& message) override;
    std::u16string decodeOption(std::string_view bytes) override;
    FileSystem& files() override { return files_; }
    void mainCalled() override;

    // Says why on standard error and aborts, through the abort hook when there is one.
    [[noreturn]] void die(const std::string& message);

    Hooks& hooks() { return hooks_; }
    // Appends a line to jvm-record.txt, the record of loads that predates the JSON one.
    void appendLoadRecord(const std::string& line);
    // Ends the process as System.exit does, through the exit hook when there is one.
    [[noreturn]] void exitProcess(long code);

  private:
    std::wstring directory_;
    std::wstring recordPath_;
    WindowsFiles files_;
    Hooks hooks_;
};

std::wstring wide(const std::u16string& text);
std::u16string utf16(const std::wstring& text);

}  // namespace standin::jvm

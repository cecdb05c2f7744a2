#include "instance/instance_protocol.h"

namespace tesmo {

std::string instanceSemaphoreBase(std::string_view keyPath, bool global) {
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : keyPath) name.push_back(c == '\\' || c == ' ' ? '_' : c);
    return name;
}

std::string numberedSemaphoreName(std::string_view base, int number) {
    return std::string(base) + std::to_string(number);
}

std::string notificationSemaphoreName(std::string_view instanceName) {
    return std::string(instanceName) + "_notification";
}

WideView handedOverArguments(WideView commandLine) {
    std::size_t from = 0;
    if (!commandLine.empty() && commandLine.front() == u'"') {
        from = commandLine.find(u'"', 1);
        if (from == WideView::npos) return {};
    }
    std::size_t space = commandLine.find(u' ', from);
    if (space == WideView::npos) return {};
    std::size_t start = commandLine.find_first_not_of(u' ', space);
    return start == WideView::npos ? WideView() : commandLine.substr(start);
}

std::string notificationBytes(WideView arguments) {
    std::string bytes;
    bytes.reserve((arguments.size() + 1) * 2);
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    };
    for (char16_t unit : arguments) put(unit);
    put(u'\n');
    return bytes;
}

FileWait waitWhileFileExists(const FileWaitCalls& calls) {
    for (int pass = 0; pass < kFileWaitPasses; ++pass) {
        if (!calls.fileExists()) return FileWait::Free;
        calls.sleep(kFileWaitPassMilliseconds);
        if (pass % kAliveCheckPasses == 0 && !calls.firstInstanceAlive()) {
            return FileWait::FirstInstanceGone;
        }
    }
    return FileWait::TimedOut;
}

}  // namespace tesmo

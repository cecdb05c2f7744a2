// Files and a version cache for the runtime search's tests: a java.exe among the files holds
// the version its probe prints, "" for a probe that fails.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "runtime/installation_check.h"

namespace tesmo::testing {

struct FakeMachine {
    std::map<WideString, WideString> files;
    std::map<WideString, CachedVersionRecord> cache;
    std::vector<WideString> checked;  // the executables the installation check was asked about
    int probes = 0;
};
inline FakeMachine fakeMachine;
// The last write time of every file, as the version cache stores it.
inline const std::string kFakeStamp("\x08\x07\x06\x05\x04\x03\x02\x01", 8);

inline bool fakeExists(const WideString& path) {
    return fakeMachine.files.count(path) != 0;
}

inline const InstallationSources kFakeInstallation = {
    &fakeExists,
    [](const WideString& path) { return fakeExists(path + u"\\bin\\java.exe"); },
    [](WideString& out, const WideString& path, bool) { return !(out = path).empty(); },
    [](const WideString& path, std::uint64_t* time) {
        fakeMachine.checked.push_back(path);
        *time = 0x0102030405060708ULL;
        return fakeExists(path);
    },
    [](const WideString& key, CachedVersionRecord& record) {
        if (!fakeMachine.cache.count(key)) return false;
        record = fakeMachine.cache[key];
        return true;
    },
    [](const WideString& key, const std::string& stamp, const WideString& text) {
        fakeMachine.cache[key] = {stamp, text};
    },
    [](const WideString& javaExe, WideString& version) {
        version = fakeMachine.files.at(javaExe);
        ++fakeMachine.probes;
        return version.empty() ? ProbeResult::ExitCode : ProbeResult::Version;
    }};

}  // namespace tesmo::testing

// Judging one Java installation: which executable represents a home, and whether that
// executable is an acceptable runtime (exists, known version within the limits, no
// refused prerelease, javaw.exe beside it for windowed launchers).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/text.h"

namespace tesmo {

// A version probe that runs longer than this is ended and refused.
constexpr unsigned long kVersionProbeTimeoutMs = 60000;

// Cached for an executable whose probe exited with an error; such an entry is probed again.
constexpr char16_t kFailedProbeVersion[] = u"1.0.0";

enum class ProbeResult {
    Version,   // exited with 0 and printed a version line
    Failed,    // could not start, ran too long, or printed no version
    ExitCode,  // exited with another code
};

// The version cache's values for one executable, as stored.
struct CachedVersionRecord {
    std::string stamp;               // the bytes of LastWriteTime; empty when unreadable
    std::optional<WideString> text;  // Version, only when it is stored as text
};

struct InstallationSources {
    bool (*exists)(const WideString& path);
    bool (*isDirectory)(const WideString& path);
    bool (*fullPath)(WideString& out, const WideString& path, bool keepCase);
    // False when the file does not exist.
    bool (*lastWriteTime)(const WideString& path, std::uint64_t* time);
    // False when the cache has no key `key` below the user's hive.
    bool (*readCache)(const WideString& key, CachedVersionRecord& record);
    void (*writeCache)(const WideString& key, const std::string& stamp, const WideString& version);
    // Runs "<javaExe> -version"; `version` is set only for ProbeResult::Version.
    ProbeResult (*probe)(const WideString& javaExe, WideString& version);
};

// home\jre\bin\java.exe for a development kit's home, else home\bin\java.exe. False only
// when a development kit is required (key 131) and the home is none.
bool javaExeForHome(const InstallationSources& sources, const WideString& home,
                    WideString& javaExe);

// The whole check of one executable. `javaExe` is rewritten into its normalised form (and
// to javaw.exe for a windowed launcher that passed).
bool checkJavaExe(const InstallationSources& sources, WideString& javaExe, WideString& versionOut,
                  const WideString& lower, const WideString& upper, bool allowPrerelease);

// The per-user version cache, keyed by the executable's path and valid while the
// executable's last-write time is unchanged. The key is below HKEY_CURRENT_USER.
WideString versionCacheKey(WideView javaExe);
bool readCachedVersion(const InstallationSources& sources, const WideString& javaExe,
                       std::uint64_t lastWriteTime, WideString& versionOut);
void writeCachedVersion(const InstallationSources& sources, const WideString& javaExe,
                        std::uint64_t lastWriteTime, const WideString& version);

}  // namespace tesmo

#include "runtime/installation_check.h"

#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "runtime/java_version.h"

namespace tesmo {

namespace {

constexpr char16_t kVersionCacheKey[] = u"SOFTWARE\\dravik-labs\\tesmo\\jvms\\";
constexpr std::size_t kStampBytes = 8;

bool isOldSeriesMarker(const WideString& version) {
    return version == u"1.7." || version == u"1.6." || version == u"1.5.";
}

bool judgeVersion(const InstallationSources& sources, const WideString& javaExe,
                  std::uint64_t lastWriteTime, WideString& versionOut, const WideString& lower,
                  const WideString& upper, bool allowPrerelease) {
    versionOut.clear();
    bool prereleaseConfigured = getSettingInt(kKeyAllowPrerelease) != 0;
    if (readCachedVersion(sources, javaExe, lastWriteTime, versionOut) &&
        versionOut != kFailedProbeVersion) {
        logMessage("got version from registry %S", versionOut);
        return versionAcceptable(versionOut, lower, upper, allowPrerelease, prereleaseConfigured);
    }
    ProbeResult probe = sources.probe(javaExe, versionOut);
    if (probe == ProbeResult::Version) {
        logMessage("got version from execution %S", versionOut);
        writeCachedVersion(sources, javaExe, lastWriteTime, versionOut);
        return versionAcceptable(versionOut, lower, upper, allowPrerelease, prereleaseConfigured);
    }
    // A start that failed or timed out may succeed next time: only an exit code is kept.
    if (probe == ProbeResult::ExitCode) {
        writeCachedVersion(sources, javaExe, lastWriteTime, kFailedProbeVersion);
    }
    logMessage("couldn't get version");
    return false;
}

}  // namespace

bool javaExeForHome(const InstallationSources& sources, const WideString& home,
                    WideString& javaExe) {
    javaExe = home + u"\\jre\\bin\\java.exe";
    if (getSettingInt(kKeyRequireDevelopmentKit) != 0) {
        if (sources.exists(home + u"\\lib\\tools.jar")) return true;
        // Development kits since Java 9 have neither tools.jar nor an embedded jre; their
        // compiler marks them.
        if (!sources.isDirectory(home + u"\\jre") && sources.exists(home + u"\\bin\\javac.exe")) {
            javaExe = home + u"\\bin\\java.exe";
            return true;
        }
        return false;
    }
    if (!sources.exists(javaExe)) javaExe = home + u"\\bin\\java.exe";
    return true;
}

bool checkJavaExe(const InstallationSources& sources, WideString& javaExe, WideString& versionOut,
                  const WideString& lower, const WideString& upper, bool allowPrerelease) {
    logMessage("checkJavaExe (%S, [out], %S, %S, %d)", javaExe, lower, upper,
               allowPrerelease ? 1 : 0);
    WideString normalised;
    sources.fullPath(normalised, javaExe, false);
    javaExe = normalised;

    bool result = false;
    std::uint64_t lastWriteTime = 0;
    if (!sources.lastWriteTime(javaExe, &lastWriteTime)) {
        logMessage("file doesn't exist");
    } else {
        logMessage("file exists");
        result = judgeVersion(sources, javaExe, lastWriteTime, versionOut, lower, upper,
                              allowPrerelease);
    }
    if (result && getSettingInt(kKeyExecutableType) == 1 && javaExe.size() >= 4) {
        javaExe.replace(javaExe.size() - 4, 4, u"w.exe");
        result = sources.exists(javaExe);
    }
    logMessage("checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

WideString versionCacheKey(WideView javaExe) {
    return kVersionCacheKey + versionCacheSubkey(javaExe);
}

bool readCachedVersion(const InstallationSources& sources, const WideString& javaExe,
                       std::uint64_t lastWriteTime, WideString& versionOut) {
    CachedVersionRecord record;
    // Only text is a version: a number's bytes read as text are garbage such as ".8",
    // which would refuse a runtime whose real version fits.
    if (!sources.readCache(versionCacheKey(javaExe), record) ||
        record.stamp.size() != kStampBytes || !record.text) {
        return false;
    }
    std::uint64_t cached = 0;
    for (std::size_t i = kStampBytes; i-- > 0;) {
        cached = (cached << 8) | static_cast<unsigned char>(record.stamp[i]);
    }
    if (cached != lastWriteTime) return false;
    // Stored with or without terminator; either way the text ends at the first one.
    versionOut = record.text->substr(0, record.text->find(u'\0'));
    return !isOldSeriesMarker(versionOut);
}

void writeCachedVersion(const InstallationSources& sources, const WideString& javaExe,
                        std::uint64_t lastWriteTime, const WideString& version) {
    std::string stamp(kStampBytes, '\0');
    for (std::size_t i = 0; i < kStampBytes; ++i) {
        stamp[i] = static_cast<char>(lastWriteTime >> (8 * i));
    }
    sources.writeCache(versionCacheKey(javaExe), stamp, version);
}

}  // namespace tesmo

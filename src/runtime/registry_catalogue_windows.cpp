#include <algorithm>
#include <vector>

#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/path_text.h"
#include "platform/text_windows.h"
#include "runtime/installation_check.h"
#include "runtime/java_version.h"
#include "runtime/registry_catalogue.h"

namespace tesmo {

namespace {

// A development kit and a runtime product, read as a pair.
struct ProductKeys {
    const char16_t* kit;
    const char16_t* runtime;
};

constexpr ProductKeys kLegacyProducts = {u"SOFTWARE\\JavaSoft\\Java Development Kit",
                                         u"SOFTWARE\\JavaSoft\\Java Runtime Environment"};
// Where runtimes since Java 9 register themselves.
constexpr ProductKeys kModernProducts = {u"SOFTWARE\\JavaSoft\\JDK", u"SOFTWARE\\JavaSoft\\JRE"};

constexpr char16_t kLocatedKey[] = u"SOFTWARE\\dravik-labs\\tesmo\\locatedjvms\\";
constexpr char16_t kInstallationsKey[] = u"SOFTWARE\\dravik-labs\\korvane\\installations";

constexpr DWORD kCurrentVersionBytes = 100;
constexpr DWORD kValueBytes = kPathCapacity;

// A string value read into a buffer of `capacityBytes`; a longer value counts as absent.
// Values are not checked for their type, and may lack a terminator.
bool readString(HKEY root, const WideString& key, const wchar_t* value, DWORD capacityBytes,
                WideString& out) {
    HKEY handle;
    if (RegOpenKeyExW(root, asWindows(key), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    WideString buffer(capacityBytes / 2, u'\0');
    DWORD bytes = capacityBytes;
    LONG status = RegQueryValueExW(handle, value, nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS) return false;
    buffer.resize(bytes / 2);
    std::size_t end = buffer.find(u'\0');
    if (end != WideString::npos) buffer.resize(end);
    out = buffer;
    return true;
}

// Subkey names by index until the system reports no more; a name that cannot be read is
// skipped rather than ending the walk.
std::vector<WideString> subkeyNames(HKEY handle) {
    std::vector<WideString> names;
    WideString name(kPathCapacity, u'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG status = RegEnumKeyExW(handle, index, asWindows(name), &length, nullptr, nullptr,
                                    nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            names.emplace_back(name.data(), length);
        } else if (status != ERROR_MORE_DATA) {
            // The end, or an error that every later index would meet again (the key
            // deleted meanwhile): counting on through four billion indexes would hang.
            break;
        }
    }
    return names;
}

bool checkHome(const WideString& home, WideString& javaExe, WideString& version,
               const WideString& lower, const WideString& upper, bool allowPrerelease) {
    WideString candidate;
    if (!javaExeForHome(home, candidate)) return false;
    if (!checkJavaExe(candidate, version, lower, upper, allowPrerelease)) return false;
    javaExe = candidate;
    return true;
}

bool requireDevelopmentKit() {
    return getSettingInt(kKeyRequireDevelopmentKit) != 0;
}

bool findCurrentVersionJvm(const ProductKeys& products, WideString& javaExe, WideString& version,
                           const WideString& lower, const WideString& upper) {
    WideString kitVersion, runtimeVersion;
    if (!readString(HKEY_LOCAL_MACHINE, products.kit, L"CurrentVersion", kCurrentVersionBytes,
                    kitVersion) ||
        !versionInLooseRange(kitVersion, lower, upper)) {
        kitVersion.clear();
    }
    if (requireDevelopmentKit() ||
        !readString(HKEY_LOCAL_MACHINE, products.runtime, L"CurrentVersion", kCurrentVersionBytes,
                    runtimeVersion) ||
        !versionInLooseRange(runtimeVersion, lower, upper)) {
        runtimeVersion.clear();
    }
    WideString subkey = kitVersion > runtimeVersion
                            ? WideString(products.kit) + u"\\" + kitVersion
                            : WideString(products.runtime) + u"\\" + runtimeVersion;
    WideString home;
    if (!readString(HKEY_LOCAL_MACHINE, subkey, L"JavaHome", kValueBytes, home)) return false;
    return checkHome(home, javaExe, version, lower, upper, false);
}

bool findEnumeratedJvm(const char16_t* productKey, WideString& javaExe, WideString& version,
                       const WideString& lower, const WideString& upper) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(productKey), 0, KEY_READ,
                      &handle) != ERROR_SUCCESS) {
        return false;
    }
    std::vector<WideString> names = subkeyNames(handle);
    RegCloseKey(handle);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const WideString& name) {
                                   return !versionInLooseRange(name, lower, upper);
                               }),
                names.end());
    // Ordinal by code unit, highest first: 1.9 before 1.10, 1.7.0_51 before 1.7.
    std::sort(names.begin(), names.end(), std::greater<WideString>());
    for (const WideString& name : names) {
        WideString home;
        if (!readString(HKEY_LOCAL_MACHINE, WideString(productKey) + u"\\" + name, L"JavaHome",
                        kValueBytes, home)) {
            continue;
        }
        if (checkHome(home, javaExe, version, lower, upper, false)) return true;
    }
    return false;
}

bool findJavaSoftJvmIn(const ProductKeys& products, WideString& javaExe, WideString& version,
                       const WideString& lower, const WideString& upper) {
    if (findCurrentVersionJvm(products, javaExe, version, lower, upper)) return true;
    if (!requireDevelopmentKit() &&
        findEnumeratedJvm(products.runtime, javaExe, version, lower, upper)) {
        return true;
    }
    return findEnumeratedJvm(products.kit, javaExe, version, lower, upper);
}

bool findJavaSoftJvm(WideString& javaExe, WideString& version, const WideString& lower,
                     const WideString& upper) {
    if (findJavaSoftJvmIn(kLegacyProducts, javaExe, version, lower, upper)) return true;
    // Only when the old product keys have nothing acceptable: a machine with nothing but a
    // modern runtime must still be served, without letting it override an accepted one.
    logMessage("no runtime under the old JavaSoft keys, trying %S and %S",
               WideString(kModernProducts.kit), WideString(kModernProducts.runtime));
    return findJavaSoftJvmIn(kModernProducts, javaExe, version, lower, upper);
}

bool findLocatedInHive(HKEY hive, WideString& javaExe, WideString& version, const WideString& lower,
                       const WideString& upper) {
    HKEY handle;
    if (RegOpenKeyExW(hive, asWindows(WideString(kLocatedKey)), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::vector<WideString> names = subkeyNames(handle);
    RegCloseKey(handle);
    bool found = false;
    WideString bestVersion;
    for (WideString candidate : names) {
        for (char16_t& c : candidate) {
            if (c == u'/') c = u'\\';
        }
        WideString candidateVersion;
        if (checkJavaExe(candidate, candidateVersion, lower, upper, true) &&
            candidateVersion > bestVersion) {
            javaExe = candidate;
            bestVersion = candidateVersion;
            found = true;
        }
    }
    version = bestVersion;
    return found;
}

bool findLocatedJvm(WideString& javaExe, WideString& version, const WideString& lower,
                    const WideString& upper) {
    WideString userExe, userVersion, machineExe, machineVersion;
    bool user = findLocatedInHive(HKEY_CURRENT_USER, userExe, userVersion, lower, upper);
    bool machine = findLocatedInHive(HKEY_LOCAL_MACHINE, machineExe, machineVersion, lower, upper);
    if (user && (!machine || userVersion > machineVersion)) {
        javaExe = userExe;
        version = userVersion;
        return true;
    }
    if (machine) {
        javaExe = machineExe;
        version = machineVersion;
        return true;
    }
    return false;
}

}  // namespace

bool findRegisteredJvm(WideString& javaExe, const WideString& lower, const WideString& upper) {
    WideString sunExe, sunVersion, locatedExe, locatedVersion;
    bool sun = findJavaSoftJvm(sunExe, sunVersion, lower, upper);
    if (sun) logMessage("found sun %S %S", sunExe, sunVersion);
    bool located = findLocatedJvm(locatedExe, locatedVersion, lower, upper);
    if (located) logMessage("found located %S %S", locatedExe, locatedVersion);
    if (!sun && !located) return false;
    javaExe = sun && (!located || sunVersion > locatedVersion) ? sunExe : locatedExe;
    return true;
}

bool findPreviousInstallation(bool machine, WideString& javaExe, const WideString& lower,
                              const WideString& upper) {
    WideString name = getSettingWideString(kKeyInstallationId);
    if (name.empty()) return false;
    WideString directories;
    if (!readString(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kInstallationsKey,
                    asWindows(name), kValueBytes, directories) ||
        directories.empty()) {
        return false;
    }
    logMessage("found installations: %S", directories);
    for (const WideString& directory : splitList(directories, u';')) {
        WideString version;
        if (checkHome(directory + u"\\jre", javaExe, version, lower, upper, false)) return true;
    }
    return false;
}

}  // namespace tesmo

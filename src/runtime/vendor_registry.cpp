#include "runtime/vendor_registry.h"

#include <optional>
#include <vector>

#include "core/log.h"
#include "runtime/java_version.h"
#include "runtime/search_sequence.h"

namespace tesmo {

namespace {

// Each subkey of `key` is one installed version; its home is the value `value` of the
// key `below` it. Unused places in `below` are null.
struct VendorKey {
    const char16_t* key;
    const char16_t* below[2];
    const char16_t* value;
};

// In the order that breaks ties between equal versions.
constexpr VendorKey kVendorKeys[] = {
    {u"SOFTWARE\\Eclipse Adoptium\\JDK", {u"\\hotspot\\MSI"}, u"Path"},
    {u"SOFTWARE\\Eclipse Adoptium\\JRE", {u"\\hotspot\\MSI"}, u"Path"},
    // Where the first Temurin builds of 2021 registered.
    {u"SOFTWARE\\Eclipse Foundation\\JDK", {u"\\hotspot\\MSI"}, u"Path"},
    {u"SOFTWARE\\AdoptOpenJDK\\JDK", {u"\\hotspot\\MSI", u"\\openj9\\MSI"}, u"Path"},
    {u"SOFTWARE\\AdoptOpenJDK\\JRE", {u"\\hotspot\\MSI", u"\\openj9\\MSI"}, u"Path"},
    {u"SOFTWARE\\Semeru\\JDK", {u"\\openj9\\MSI"}, u"Path"},
    {u"SOFTWARE\\Semeru\\JRE", {u"\\openj9\\MSI"}, u"Path"},
    {u"SOFTWARE\\Microsoft\\JDK", {u"\\hotspot\\MSI"}, u"Path"},
    {u"SOFTWARE\\Azul Systems\\Zulu", {u""}, u"InstallationPath"},
    {u"SOFTWARE\\BellSoft\\Liberica", {u""}, u"InstallationPath"},
};

// Read as UTF-16 units: a home must fit a path buffer with its terminator.
constexpr std::size_t kHomeBytes = kPathCapacity * sizeof(char16_t);

struct VendorSearch {
    const RegistrySources& registry;
    const InstallationSources& installation;
    const WideString& lower;
    const WideString& upper;
    bool found = false;
    WideString javaExe{};
    WideString version{};
};

WideString hiveName(Hive hive) {
    return hive == Hive::CurrentUser ? u"HKEY_CURRENT_USER" : u"HKEY_LOCAL_MACHINE";
}

// The home a value names, without trailing backslashes; nothing, with the reason logged,
// when the value cannot name one.
std::optional<WideString> homeOf(const VendorSearch& search, Hive hive, const WideString& key,
                                 const char16_t* value) {
    RegistryText read = search.registry.readText(hive, key, value, kHomeBytes);
    WideString where = hiveName(hive) + u"\\" + key + u"\\" + value;
    if (read.status == ValueStatus::Absent) {
        logMessage("vendor value %S missing", where);
        return std::nullopt;
    }
    if (read.status == ValueStatus::NotText) {
        logMessage("vendor value %S is not a string", where);
        return std::nullopt;
    }
    // Cut to a path buffer it could name another directory, one its first characters name.
    if (read.status == ValueStatus::TooLong || read.text.size() > kPathCapacity - 1) {
        logMessage("vendor value %S is longer than %d characters", where,
                   static_cast<int>(kPathCapacity - 1));
        return std::nullopt;
    }
    WideString home = read.text;
    while (!home.empty() && home.back() == u'\\') home.pop_back();
    logMessage("vendor candidate %S from %S", home, where);
    // A relative path would be taken against some directory the vendor never meant.
    if (!isAbsoluteForFallback(home)) {
        logMessage("vendor home %S is not an absolute path", home);
        return std::nullopt;
    }
    if (!search.installation.isDirectory(home)) {
        logMessage("vendor home %S does not exist", home);
        return std::nullopt;
    }
    return home;
}

void judgeHome(VendorSearch& search, const WideString& home) {
    WideString javaExe, version;
    if (!javaExeForHome(search.installation, home, javaExe) ||
        !checkJavaExe(search.installation, javaExe, version, search.lower, search.upper, false)) {
        return;
    }
    if (search.found && compareJavaVersions(version, search.version) <= 0) return;
    search.found = true;
    search.javaExe = javaExe;
    search.version = version;
}

void searchVendorKey(VendorSearch& search, Hive hive, const VendorKey& vendor) {
    void* handle = search.registry.openKey(hive, vendor.key);
    if (!handle) return;
    std::vector<WideString> versions = subkeyNames(search.registry, handle);
    search.registry.closeKey(handle);
    logMessage("vendor key %S: %d subkeys", hiveName(hive) + u"\\" + vendor.key,
               static_cast<int>(versions.size()));
    for (const WideString& version : versions) {
        for (const char16_t* below : vendor.below) {
            if (!below) continue;
            WideString key = WideString(vendor.key) + u"\\" + version + below;
            if (std::optional<WideString> home = homeOf(search, hive, key, vendor.value)) {
                judgeHome(search, *home);
            }
        }
    }
}

}  // namespace

bool findVendorRegisteredJvm(const RegistrySources& registry,
                             const InstallationSources& installation, WideString& javaExe,
                             const WideString& lower, const WideString& upper) {
    VendorSearch search{registry, installation, lower, upper};
    for (Hive hive : {Hive::CurrentUser, Hive::LocalMachine}) {
        for (const VendorKey& vendor : kVendorKeys) searchVendorKey(search, hive, vendor);
    }
    if (!search.found) return false;
    logMessage("found vendor %S %S", search.javaExe, search.version);
    javaExe = search.javaExe;
    return true;
}

}  // namespace tesmo

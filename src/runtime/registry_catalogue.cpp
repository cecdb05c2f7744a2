#include "runtime/registry_catalogue.h"

#include <algorithm>

#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/path_text.h"
#include "runtime/java_version.h"

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

constexpr std::size_t kCurrentVersionBytes = 100;
constexpr std::size_t kValueBytes = kPathCapacity;

struct Catalogue {
    const RegistrySources& registry;
    const InstallationSources& installation;
    const WideString& lower;
    const WideString& upper;
};

// A runtime and its version, as one source of the catalogue offers it.
struct Candidate {
    WideString javaExe;
    WideString version;
};

bool checkHome(const Catalogue& catalogue, const WideString& home, Candidate& found) {
    WideString candidate, version;
    if (!javaExeForHome(catalogue.installation, home, candidate)) return false;
    if (!checkJavaExe(catalogue.installation, candidate, version, catalogue.lower, catalogue.upper,
                      false)) {
        return false;
    }
    found = {candidate, version};
    return true;
}

bool requireDevelopmentKit() {
    return getSettingInt(kKeyRequireDevelopmentKit) != 0;
}

// The product's CurrentVersion when it lies within the limits, else empty.
WideString currentVersionInRange(const Catalogue& catalogue, const char16_t* product) {
    std::optional<WideString> version = catalogue.registry.readString(
        Hive::LocalMachine, product, u"CurrentVersion", kCurrentVersionBytes);
    if (!version || !versionInLooseRange(*version, catalogue.lower, catalogue.upper)) return {};
    return *version;
}

bool findCurrentVersionJvm(const Catalogue& catalogue, const ProductKeys& products,
                           Candidate& found) {
    WideString kitVersion = currentVersionInRange(catalogue, products.kit);
    WideString runtimeVersion =
        requireDevelopmentKit() ? WideString() : currentVersionInRange(catalogue, products.runtime);
    WideString subkey = kitVersion > runtimeVersion
                            ? WideString(products.kit) + u"\\" + kitVersion
                            : WideString(products.runtime) + u"\\" + runtimeVersion;
    std::optional<WideString> home =
        catalogue.registry.readString(Hive::LocalMachine, subkey, u"JavaHome", kValueBytes);
    return home && checkHome(catalogue, *home, found);
}

std::vector<WideString> subkeyNamesOf(const RegistrySources& registry, Hive hive,
                                      const WideString& key) {
    void* handle = registry.openKey(hive, key);
    if (!handle) return {};
    std::vector<WideString> names = subkeyNames(registry, handle);
    registry.closeKey(handle);
    return names;
}

bool findEnumeratedJvm(const Catalogue& catalogue, const char16_t* productKey, Candidate& found) {
    std::vector<WideString> names =
        subkeyNamesOf(catalogue.registry, Hive::LocalMachine, productKey);
    std::erase_if(names, [&](const WideString& name) {
        return !versionInLooseRange(name, catalogue.lower, catalogue.upper);
    });
    // Ordinal by code unit, highest first: 1.9 before 1.10, 1.7.0_51 before 1.7.
    std::sort(names.begin(), names.end(), std::greater<WideString>());
    for (const WideString& name : names) {
        std::optional<WideString> home = catalogue.registry.readString(
            Hive::LocalMachine, WideString(productKey) + u"\\" + name, u"JavaHome", kValueBytes);
        if (home && checkHome(catalogue, *home, found)) return true;
    }
    return false;
}

bool findJavaSoftJvmIn(const Catalogue& catalogue, const ProductKeys& products, Candidate& found) {
    if (findCurrentVersionJvm(catalogue, products, found)) return true;
    if (!requireDevelopmentKit() && findEnumeratedJvm(catalogue, products.runtime, found)) {
        return true;
    }
    return findEnumeratedJvm(catalogue, products.kit, found);
}

bool findJavaSoftJvm(const Catalogue& catalogue, Candidate& found) {
    if (findJavaSoftJvmIn(catalogue, kLegacyProducts, found)) return true;
    // Only when the old product keys have nothing acceptable: a machine with nothing but a
    // modern runtime must still be served, without letting it override an accepted one.
    logMessage("no runtime under the old JavaSoft keys, trying %S and %S",
               WideString(kModernProducts.kit), WideString(kModernProducts.runtime));
    return findJavaSoftJvmIn(catalogue, kModernProducts, found);
}

// The highest version wins; among equal versions the one enumerated first.
bool findLocatedInHive(const Catalogue& catalogue, Hive hive, Candidate& best) {
    bool found = false;
    for (WideString candidate : subkeyNamesOf(catalogue.registry, hive, kLocatedKey)) {
        std::replace(candidate.begin(), candidate.end(), u'/', u'\\');
        WideString version;
        if (checkJavaExe(catalogue.installation, candidate, version, catalogue.lower,
                         catalogue.upper, true) &&
            version > best.version) {
            best = {candidate, version};
            found = true;
        }
    }
    return found;
}

// Between the hives a tie goes to the machine's.
bool findLocatedJvm(const Catalogue& catalogue, Candidate& found) {
    Candidate user, machine;
    bool inUser = findLocatedInHive(catalogue, Hive::CurrentUser, user);
    bool inMachine = findLocatedInHive(catalogue, Hive::LocalMachine, machine);
    if (inUser && (!inMachine || user.version > machine.version)) {
        found = user;
    } else if (inMachine) {
        found = machine;
    }
    return inUser || inMachine;
}

}  // namespace

std::vector<WideString> subkeyNames(const RegistrySources& registry, void* key) {
    std::vector<WideString> names;
    WideString name;
    for (std::uint32_t index = 0;; ++index) {
        SubkeyStatus status = registry.subkeyAt(key, index, name);
        if (status == SubkeyStatus::Named) {
            names.push_back(name);
        } else if (status != SubkeyStatus::NameTooLong) {
            // The end, or an error that every later index would meet again (the key
            // deleted meanwhile): counting on through four billion indexes would hang.
            break;
        }
    }
    return names;
}

bool findRegisteredJvm(const RegistrySources& registry, const InstallationSources& installation,
                       WideString& javaExe, const WideString& lower, const WideString& upper) {
    Catalogue catalogue{registry, installation, lower, upper};
    Candidate sun, located;
    bool inSun = findJavaSoftJvm(catalogue, sun);
    if (inSun) logMessage("found sun %S %S", sun.javaExe, sun.version);
    bool inLocated = findLocatedJvm(catalogue, located);
    if (inLocated) logMessage("found located %S %S", located.javaExe, located.version);
    if (!inSun && !inLocated) return false;
    javaExe =
        inSun && (!inLocated || sun.version > located.version) ? sun.javaExe : located.javaExe;
    return true;
}

bool findPreviousInstallation(const RegistrySources& registry,
                              const InstallationSources& installation, Hive hive,
                              WideString& javaExe, const WideString& lower,
                              const WideString& upper) {
    WideString name = getSettingWideString(kKeyInstallationId);
    if (name.empty()) return false;
    std::optional<WideString> directories =
        registry.readString(hive, kInstallationsKey, name, kValueBytes);
    if (!directories || directories->empty()) return false;
    logMessage("found installations: %S", *directories);
    Catalogue catalogue{registry, installation, lower, upper};
    for (const WideString& directory : splitList(*directories, u';')) {
        Candidate found;
        if (checkHome(catalogue, directory + u"\\jre", found)) {
            javaExe = found.javaExe;
            return true;
        }
    }
    return false;
}

}  // namespace tesmo

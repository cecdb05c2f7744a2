// Runtimes known to the registry: the Java runtime's own registrations, the list of
// located runtimes other programs keep, and the runtimes of earlier installations.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"
#include "runtime/installation_check.h"

namespace tesmo {

enum class Hive { CurrentUser, LocalMachine };

enum class SubkeyStatus {
    Named,
    NameTooLong,  // a name longer than the buffer
    Failed,       // the end of the list, or any other error
};

// A value read as text, or what kept it from being read so.
enum class ValueStatus {
    Text,
    Absent,   // no such key or value
    NotText,  // a value of another type than a string
    TooLong,  // longer than the buffer
};

struct RegistryText {
    ValueStatus status;
    WideString text;  // up to its first terminator; a value stored without one ends with its data
};

struct RegistrySources {
    // An open key for reading, or null.
    void* (*openKey)(Hive hive, const WideString& key);
    void (*closeKey)(void* key);
    SubkeyStatus (*subkeyAt)(void* key, std::uint32_t index, WideString& name);
    // A string value read into a buffer of `capacityBytes`, up to its first terminator;
    // nothing when absent or longer. Values are not checked for their type.
    std::optional<WideString> (*readString)(Hive hive, const WideString& key,
                                            const WideString& value, std::size_t capacityBytes);
    // The same with the value's type checked, for the vendors' keys, whose values are paths
    // only when they are strings.
    RegistryText (*readText)(Hive hive, const WideString& key, const WideString& value,
                             std::size_t capacityBytes);
};

// Subkey names by index until the enumeration fails; a name that is too long for the
// buffer is skipped rather than ending the walk.
std::vector<WideString> subkeyNames(const RegistrySources& registry, void* key);

// The search entry Y: the registered runtime and the located one, the higher version wins.
bool findRegisteredJvm(const RegistrySources& registry, const InstallationSources& installation,
                       WideString& javaExe, const WideString& lower, const WideString& upper);

// Runtimes carried in the "jre" folder of an earlier installation of this application.
bool findPreviousInstallation(const RegistrySources& registry,
                              const InstallationSources& installation, Hive hive,
                              WideString& javaExe, const WideString& lower,
                              const WideString& upper);

}  // namespace tesmo

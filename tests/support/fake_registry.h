// A registry for the runtime search's tests. Keys are written "HKCU\..." or "HKLM\..."; a key
// exists while values lie below it, and open, it is the sorted list of its subkeys, as
// Windows enumerates them.
#pragma once

#include <map>
#include <set>
#include <utility>

#include "platform/path_text.h"
#include "runtime/registry_catalogue.h"

namespace tesmo::testing {

using RegistryValue = std::pair<WideString, WideString>;  // (HKxx\key, name)

struct FakeRegistry {
    std::map<RegistryValue, WideString> texts;
    std::map<RegistryValue, ValueStatus> oddities;  // values that are no string, or too long
    int openKeys = 0;                               // a test ends with every key closed
};
inline FakeRegistry fakeRegistry;

inline WideString fakeKeyPath(Hive hive, WideString key) {
    if (!key.empty() && key.back() == u'\\') key.pop_back();
    return (hive == Hive::LocalMachine ? u"HKLM\\" : u"HKCU\\") + key;
}

inline void* fakeOpenKey(Hive hive, const WideString& key) {
    const WideString path = fakeKeyPath(hive, key) + u"\\";
    std::set<WideString> names;
    bool found = false;
    const auto note = [&](const WideString& where) {
        if (!startsWith(where + u"\\", path)) return;
        found = true;
        const WideString below = (where + u"\\").substr(path.size());
        if (!below.empty()) names.insert(below.substr(0, below.find(u'\\')));
    };
    for (const auto& entry : fakeRegistry.texts) note(entry.first.first);
    for (const auto& entry : fakeRegistry.oddities) note(entry.first.first);
    if (!found) return nullptr;
    ++fakeRegistry.openKeys;
    return new std::set<WideString>(names);
}

inline const RegistrySources kFakeRegistry = {
    &fakeOpenKey,
    [](void* key) {
        --fakeRegistry.openKeys;
        delete static_cast<std::set<WideString>*>(key);
    },
    [](void* key, std::uint32_t index, WideString& name) {
        const auto& names = *static_cast<std::set<WideString>*>(key);
        if (index >= names.size()) return SubkeyStatus::Failed;
        name = *std::next(names.begin(), index);
        return SubkeyStatus::Named;
    },
    [](Hive hive, const WideString& key, const WideString& value, std::size_t) {
        auto found = fakeRegistry.texts.find({fakeKeyPath(hive, key), value});
        if (found == fakeRegistry.texts.end()) return std::optional<WideString>();
        return std::optional(found->second);
    },
    [](Hive hive, const WideString& key, const WideString& value, std::size_t) {
        const RegistryValue where{fakeKeyPath(hive, key), value};
        if (fakeRegistry.oddities.count(where))
            return RegistryText{fakeRegistry.oddities[where], {}};
        auto found = fakeRegistry.texts.find(where);
        if (found == fakeRegistry.texts.end()) return RegistryText{ValueStatus::Absent, {}};
        return RegistryText{ValueStatus::Text, found->second};
    }};

}  // namespace tesmo::testing

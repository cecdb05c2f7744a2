#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"

namespace tesmo {

namespace {

HKEY rootOf(Hive hive) {
    return hive == Hive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

void* openKey(Hive hive, const WideString& key) {
    HKEY handle;
    if (RegOpenKeyExW(rootOf(hive), asWindows(key), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return nullptr;
    }
    return handle;
}

void closeKey(void* key) {
    RegCloseKey(static_cast<HKEY>(key));
}

SubkeyStatus subkeyAt(void* key, std::uint32_t index, WideString& name) {
    WideString buffer(kPathCapacity, u'\0');
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG status = RegEnumKeyExW(static_cast<HKEY>(key), index, asWindows(buffer), &length, nullptr,
                                nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA) return SubkeyStatus::NameTooLong;
    if (status != ERROR_SUCCESS) return SubkeyStatus::Failed;
    name.assign(buffer.data(), length);
    return SubkeyStatus::Named;
}

std::optional<WideString> readString(Hive hive, const WideString& key, const WideString& value,
                                     std::size_t capacityBytes) {
    void* handle = openKey(hive, key);
    if (!handle) return std::nullopt;
    WideString buffer(capacityBytes / 2, u'\0');
    DWORD bytes = static_cast<DWORD>(capacityBytes);
    LONG status = RegQueryValueExW(static_cast<HKEY>(handle), asWindows(value), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    closeKey(handle);
    if (status != ERROR_SUCCESS) return std::nullopt;
    buffer.resize(bytes / 2);
    return buffer.substr(0, buffer.find(u'\0'));
}

RegistryText readText(Hive hive, const WideString& key, const WideString& value,
                      std::size_t capacityBytes) {
    void* handle = openKey(hive, key);
    if (!handle) return {ValueStatus::Absent, {}};
    WideString buffer(capacityBytes / 2, u'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * 2);
    DWORD type = REG_NONE;
    LONG status = RegQueryValueExW(static_cast<HKEY>(handle), asWindows(value), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    closeKey(handle);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return {ValueStatus::Absent, {}};
    // Only REG_SZ: an expandable string would need its variables, and anything else is no
    // path at all.
    if (type != REG_SZ) return {ValueStatus::NotText, {}};
    if (status == ERROR_MORE_DATA) return {ValueStatus::TooLong, {}};
    buffer.resize(bytes / 2);
    return {ValueStatus::Text, buffer.substr(0, buffer.find(u'\0'))};
}

}  // namespace

const RegistrySources kWindowsRegistry = {&openKey, &closeKey, &subkeyAt, &readString, &readText};

}  // namespace tesmo

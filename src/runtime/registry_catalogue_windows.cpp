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

// The status of reading `value` and its type; on success `text` holds the data up to its
// first terminator. A key that does not open reads as a missing value.
LONG queryValue(Hive hive, const WideString& key, const WideString& value,
                std::size_t capacityBytes, DWORD& type, WideString& text) {
    void* handle = openKey(hive, key);
    if (!handle) return ERROR_FILE_NOT_FOUND;
    WideString buffer(capacityBytes / 2, u'\0');
    DWORD bytes = static_cast<DWORD>(buffer.size() * 2);
    LONG status = RegQueryValueExW(static_cast<HKEY>(handle), asWindows(value), nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    closeKey(handle);
    if (status == ERROR_SUCCESS) {
        buffer.resize(bytes / 2);
        text = buffer.substr(0, buffer.find(u'\0'));
    }
    return status;
}

std::optional<WideString> readString(Hive hive, const WideString& key, const WideString& value,
                                     std::size_t capacityBytes) {
    DWORD type = REG_NONE;
    WideString text;
    if (queryValue(hive, key, value, capacityBytes, type, text) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return text;
}

RegistryText readText(Hive hive, const WideString& key, const WideString& value,
                      std::size_t capacityBytes) {
    DWORD type = REG_NONE;
    WideString text;
    LONG status = queryValue(hive, key, value, capacityBytes, type, text);
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return {ValueStatus::Absent, {}};
    // Only REG_SZ: an expandable string would need its variables, and anything else is no
    // path at all.
    if (type != REG_SZ) return {ValueStatus::NotText, {}};
    if (status == ERROR_MORE_DATA) return {ValueStatus::TooLong, {}};
    return {ValueStatus::Text, text};
}

}  // namespace

const RegistrySources kWindowsRegistry = {&openKey, &closeKey, &subkeyAt, &readString, &readText};

}  // namespace tesmo

#include "core/keys.h"

#include <cstdint>

#include "platform/text.h"

namespace tesmo {

namespace {
constexpr std::size_t P = kPathCapacity;
constexpr long long kInt32Min = INT32_MIN;
constexpr long long kInt32Max = INT32_MAX;
}  // namespace

#define TESMO_SETTING_ROW(name, number, type, capacity, path, kind, minimum, maximum) \
    {number,           KeyType::type,     capacity, path,   nullptr,                  \
     KeyRole::Setting, SettingKind::kind, minimum,  maximum},
#define TESMO_FILES_ROW(name, number, type, capacity, path)                                        \
    {number, KeyType::type, capacity, path, nullptr, KeyRole::IncludedFiles, SettingKind::Text, 0, \
     0},
#define TESMO_MESSAGE_ROW(name, number, type, path, text) \
    {number, KeyType::type, P, path, text, KeyRole::Message, SettingKind::Text, 0, 0},

const KeyInfo kKeyTable[] = {TESMO_KEY_LIST(TESMO_SETTING_ROW, TESMO_FILES_ROW, TESMO_MESSAGE_ROW)};

#undef TESMO_SETTING_ROW
#undef TESMO_FILES_ROW
#undef TESMO_MESSAGE_ROW

const std::size_t kKeyTableSize = sizeof kKeyTable / sizeof kKeyTable[0];

bool isIgnoredKey(std::int32_t key) {
    switch (key) {
        case 149:
        case 150:
        case 151:
        case 153:
        case 155:
        case 157:
        case 159:
        case 161:
            return true;
        default:
            return false;
    }
}

const KeyInfo* findKey(std::int32_t key) {
    for (std::size_t i = 0; i < kKeyTableSize; ++i) {
        if (kKeyTable[i].key == key) return &kKeyTable[i];
    }
    return nullptr;
}

}  // namespace tesmo

// Numbers of the configuration keys and the table that describes them. The launcher reads
// keys through the accessors of settings.h; the block writer checks values against the
// same table so that it never writes a value a reading site would cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/key_list.h"

namespace tesmo {

#define TESMO_KEY_ENUMERATOR(name, number, ...) name = number,
#define TESMO_KEY_SKIP(...)

enum SettingKey : std::int32_t {
    TESMO_KEY_LIST(TESMO_KEY_ENUMERATOR, TESMO_KEY_ENUMERATOR, TESMO_KEY_SKIP)
};

// Message texts: the key is the message id.
enum MessageId : std::int32_t {
    TESMO_KEY_LIST(TESMO_KEY_SKIP, TESMO_KEY_SKIP, TESMO_KEY_ENUMERATOR)
};

#undef TESMO_KEY_ENUMERATOR
#undef TESMO_KEY_SKIP

// How the launcher reads a key.
enum class KeyType { Text, Wide, Int, Colour };

// How the builder's configuration file writes a setting's value.
enum class SettingKind {
    Text,            // a string
    Flag,            // true / false: "1" / "0"
    Integer,         // a number within the setting's range
    Colour,          // [red, green, blue] or "r,g,b"
    Version,         // a Java version limit such as "1.8" or "1.7.0_51"
    Flavour,         // "tesmo" or "korvane"
    ExecutableType,  // "windowed", "console" or "console-message-boxes"
    CommandLine,     // arguments as an array (quoted here) or as one string
    PathList,        // ";"-separated: an array of paths or one string
    SearchSequence,  // ["bundled:.\\jre", "registry", ...] or the stored text
    ClassPath,       // [{ archive = "...", required = true }, ...] or the stored text
};

enum class KeyRole {
    Setting,        // set by its own setting of the builder's configuration file
    IncludedFiles,  // derived by the builder from files.include
    Message,        // a message text; its setting is in the messages table
};

struct KeyInfo {
    std::int32_t key;
    KeyType type;
    std::size_t capacity;     // characters including the terminator
    const char* setting;      // "table.name" in the builder's configuration file
    const char* defaultText;  // default English message text, or nullptr
    KeyRole role;
    SettingKind kind;
    long long minimum;  // the range of an Integer setting
    long long maximum;
};

// Every key the launcher reads, in ascending order, message keys 1000-1020 included.
extern const KeyInfo kKeyTable[];
extern const std::size_t kKeyTableSize;

// Keys written into blocks by other builders but read by nothing here.
bool isIgnoredKey(std::int32_t key);

const KeyInfo* findKey(std::int32_t key);

}  // namespace tesmo

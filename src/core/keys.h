// Numbers of the configuration keys and the table that describes them. The launcher reads
// keys through the accessors of settings.h; the block writer checks values against the
// same table so that it never writes a value a reading site would cut.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tesmo {

enum SettingKey : std::int32_t {
    kKeyApplicationId = 101,
    kKeyErrorLogEnabled = 102,
    kKeyErrorLogFile = 103,
    kKeyOutputLogEnabled = 104,
    kKeyOutputLogFile = 105,
    kKeyWrapperFlag = 106,
    kKeyExecutableType = 107,
    kKeySplashEnabled = 108,
    kKeyClassPath = 121,
    kKeyMainClass = 122,
    kKeyVmOptions = 123,
    kKeyFixedArguments = 124,
    kKeyDashJOptions = 125,
    kKeyMinimumVersion = 126,
    kKeyMaximumVersion = 127,
    kKeySearchSequence = 128,
    kKeyAllowPrerelease = 130,
    kKeyRequireDevelopmentKit = 131,
    kKeySplashWidth = 141,
    kKeySplashHeight = 142,
    kKeySplashAutoClose = 145,
    kKeyWorkingDirectory = 146,
    kKeySplashTopmost = 147,
    kKeyPreferredVmType = 152,
    kKeyQuietSwitches = 154,
    kKeyConsoleSwitch = 156,
    kKeyGlobalSemaphore = 158,
    kKeyInstallationId = 160,
    kKeyFlavour = 2001,
    kKeyIncludedFileCount = 2002,
    kKeyIncludedFileNames = 2003,
    kKeyInstallationDirectory = 10003,
    kKeyNativeLibraryDirectories = 10004,
    kKeySingleInstance = 10005,
    kKeyStatusLineX = 10109,
    kKeyStatusLineY = 10110,
    kKeyStatusLineText = 10111,
    kKeyStatusLineFont = 10112,
    kKeyStatusLineSize = 10113,
    kKeyStatusLineColour = 10114,
    kKeyStatusLineWeight = 10115,
    kKeyVersionLineX = 10116,
    kKeyVersionLineY = 10117,
    kKeyVersionLineText = 10118,
    kKeyVersionLineFont = 10119,
    kKeyVersionLineSize = 10120,
    kKeyVersionLineColour = 10121,
    kKeyVersionLineWeight = 10122,
    kKeySplashThroughRuntime = 10123,
};

// Message texts: the key is the message id.
enum MessageId : std::int32_t {
    kMessageTitle = 1000,
    kMessageVmNotStarted = 1005,
    kMessageClassPathEntryMissing = 1006,
    kMessageVariableUndefined = 1008,
    kMessageInternalError = 1009,
    kMessageMainClassMissing = 1010,
    kMessageMainMethodMissing = 1011,
    kMessageNotPoweruser = 1015,
    kMessageNoJvm = 1016,
    kMessageVariableNoJvm32 = 1017,
    kMessageVariableNoJvm64 = 1018,
    kMessageDamagedJvm32 = 1019,
    kMessageDamagedJvm64 = 1020,
};

enum class KeyType { Text, Wide, Int, Colour };

struct KeyInfo {
    std::int32_t key;
    KeyType type;
    std::size_t capacity;     // characters including the terminator
    const char* setting;      // "table.name" in the builder's configuration file
    const char* defaultText;  // default English message text, or nullptr
};

// Every key the launcher reads, in ascending order, message keys 1000-1020 included.
extern const KeyInfo kKeyTable[];
extern const std::size_t kKeyTableSize;

// Keys written into blocks by other builders but read by nothing here.
bool isIgnoredKey(std::int32_t key);

const KeyInfo* findKey(std::int32_t key);

}  // namespace tesmo

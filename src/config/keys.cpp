#include "config/keys.h"

#include "platform/text.h"

namespace tesmo {

namespace {
constexpr std::size_t P = kPathCapacity;
}

const KeyInfo kKeyTable[] = {
    {101, KeyType::Text, P, "application id", nullptr},
    {102, KeyType::Int, P, "error log enabled", nullptr},
    {103, KeyType::Wide, P, "error log file", nullptr},
    {104, KeyType::Int, P, "output log enabled", nullptr},
    {105, KeyType::Wide, P, "output log file", nullptr},
    {106, KeyType::Int, P, "wrapper flag", nullptr},
    {107, KeyType::Int, P, "executable type", nullptr},
    {108, KeyType::Int, P, "splash screen", nullptr},
    {121, KeyType::Wide, P, "class path", nullptr},
    {122, KeyType::Wide, P, "main class", nullptr},
    {123, KeyType::Wide, P, "VM options", nullptr},
    {124, KeyType::Wide, 2000, "fixed arguments", nullptr},
    {125, KeyType::Int, P, "-J options", nullptr},
    {126, KeyType::Wide, P, "minimum Java version", nullptr},
    {127, KeyType::Wide, P, "maximum Java version", nullptr},
    {128, KeyType::Wide, P, "runtime search sequence", nullptr},
    {130, KeyType::Int, P, "prerelease runtimes allowed", nullptr},
    {131, KeyType::Int, P, "development kit required", nullptr},
    {141, KeyType::Int, P, "splash width", nullptr},
    {142, KeyType::Int, P, "splash height", nullptr},
    {145, KeyType::Int, P, "splash closes with first window", nullptr},
    {146, KeyType::Wide, P, "working directory", nullptr},
    {147, KeyType::Int, P, "splash on top", nullptr},
    {152, KeyType::Wide, 200, "preferred VM type", nullptr},
    {154, KeyType::Int, P, "-q and -c switches", nullptr},
    {156, KeyType::Int, P, "-console switch", nullptr},
    {158, KeyType::Int, P, "global semaphores", nullptr},
    {160, KeyType::Wide, P, "installation id", nullptr},
    {1000, KeyType::Text, P, "message title", "Error"},
    {1001, KeyType::Text, P, "message 1001",
     "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to an "
     "installed JDK or JRE"},
    {1002, KeyType::Text, P, "message 1002",
     "The JVM found in your path is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto "
     "point to an installed JDK or JRE."},
    {1003, KeyType::Text, P, "message 1003",
     "The {0} environment variable does not\npoint to a working JDK or JRE."},
    {1004, KeyType::Text, P, "message 1004",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed JDK or JRE."},
    {1005, KeyType::Wide, P, "message VM not started",
     "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an "
     "antivirus or firewall tool could block the execution."},
    {1006, KeyType::Wide, P, "message class path entry missing",
     "File or directory {0} not found or empty\n"},
    {1007, KeyType::Text, P, "message 1007", "Wrong Parameter Usage"},
    {1008, KeyType::Text, P, "message variable undefined",
     "The environment variable {0} has to be defined"},
    {1009, KeyType::Text, P, "message internal error",
     "An internal error occurred (error code: {0})"},
    {1010, KeyType::Text, P, "message main class missing", "Couldn't load main class."},
    {1011, KeyType::Text, P, "message main method missing", "Main method not found."},
    {1012, KeyType::Text, P, "message 1012", "Error"},
    {1013, KeyType::Text, P, "message 1013", "Ok"},
    {1014, KeyType::Text, P, "message 1014", "An error occurred while starting up {0}:"},
    {1015, KeyType::Wide, P, "message not poweruser",
     "You must be at least Poweruser to run this program."},
    {1016, KeyType::Text, P, "message no JVM",
     "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to an "
     "installed {0}-bit JDK or JRE"},
    {1017, KeyType::Wide, P, "message variable no 32-bit JVM",
     "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
    {1018, KeyType::Wide, P, "message variable no 64-bit JVM",
     "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
    {1019, KeyType::Wide, P, "message damaged 32-bit JVM",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed 32-bit JDK or JRE."},
    {1020, KeyType::Wide, P, "message damaged 64-bit JVM",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed 64-bit JDK or JRE."},
    {2001, KeyType::Text, 2, "flavour", nullptr},
    {2002, KeyType::Int, P, "included file count", nullptr},
    {2003, KeyType::Wide, P, "included file names", nullptr},
    // Also read as narrow text of 2000 bytes for the first-run marker.
    {10003, KeyType::Wide, 2000, "installation directory", nullptr},
    {10004, KeyType::Wide, P, "native library directories", nullptr},
    {10005, KeyType::Int, P, "single instance", nullptr},
    {10109, KeyType::Int, P, "status line x", nullptr},
    {10110, KeyType::Int, P, "status line y", nullptr},
    {10111, KeyType::Text, P, "status line text", nullptr},
    {10112, KeyType::Text, 32, "status line font", nullptr},
    {10113, KeyType::Int, P, "status line size", nullptr},
    {10114, KeyType::Colour, P, "status line colour", nullptr},
    {10115, KeyType::Int, P, "status line weight", nullptr},
    {10116, KeyType::Int, P, "version line x", nullptr},
    {10117, KeyType::Int, P, "version line y", nullptr},
    {10118, KeyType::Text, P, "version line text", nullptr},
    {10119, KeyType::Text, 32, "version line font", nullptr},
    {10120, KeyType::Int, P, "version line size", nullptr},
    {10121, KeyType::Colour, P, "version line colour", nullptr},
    {10122, KeyType::Int, P, "version line weight", nullptr},
    {10123, KeyType::Int, P, "splash through runtime library", nullptr},
};

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

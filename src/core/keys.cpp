#include "core/keys.h"

#include "platform/text.h"

namespace tesmo {

namespace {
constexpr std::size_t P = kPathCapacity;
}

const KeyInfo kKeyTable[] = {
    {101, KeyType::Text, P, "application.id", nullptr},
    {102, KeyType::Int, P, "redirect.errors", nullptr},
    {103, KeyType::Wide, P, "redirect.error-file", nullptr},
    {104, KeyType::Int, P, "redirect.output", nullptr},
    {105, KeyType::Wide, P, "redirect.output-file", nullptr},
    {106, KeyType::Int, P, "redirect.append", nullptr},
    {107, KeyType::Int, P, "executable.type", nullptr},
    {108, KeyType::Int, P, "splash.enabled", nullptr},
    {121, KeyType::Wide, P, "classpath.entries", nullptr},
    {122, KeyType::Wide, P, "application.main-class", nullptr},
    {123, KeyType::Wide, P, "vm.options", nullptr},
    {124, KeyType::Wide, 2000, "application.arguments", nullptr},
    {125, KeyType::Int, P, "vm.accept-j-arguments", nullptr},
    {126, KeyType::Wide, P, "java.min-version", nullptr},
    {127, KeyType::Wide, P, "java.max-version", nullptr},
    {128, KeyType::Wide, P, "java.search", nullptr},
    {130, KeyType::Int, P, "java.allow-prerelease", nullptr},
    {131, KeyType::Int, P, "java.require-jdk", nullptr},
    {141, KeyType::Int, P, "splash.width", nullptr},
    {142, KeyType::Int, P, "splash.height", nullptr},
    {145, KeyType::Int, P, "splash.auto-close", nullptr},
    {146, KeyType::Wide, P, "application.working-directory", nullptr},
    {147, KeyType::Int, P, "splash.topmost", nullptr},
    {152, KeyType::Wide, 200, "java.vm-type", nullptr},
    {154, KeyType::Int, P, "console.accept-quiet-switches", nullptr},
    {156, KeyType::Int, P, "console.accept-console-switch", nullptr},
    {158, KeyType::Int, P, "single-instance.global", nullptr},
    {160, KeyType::Wide, P, "application.installation-id", nullptr},
    {1000, KeyType::Text, P, "messages.title", "Error"},
    {1001, KeyType::Text, P, "messages.no-jvm-generic",
     "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to an "
     "installed JDK or JRE"},
    {1002, KeyType::Text, P, "messages.damaged-jvm-on-path",
     "The JVM found in your path is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto "
     "point to an installed JDK or JRE."},
    {1003, KeyType::Text, P, "messages.variable-no-jvm-generic",
     "The {0} environment variable does not\npoint to a working JDK or JRE."},
    {1004, KeyType::Text, P, "messages.damaged-jvm-generic",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed JDK or JRE."},
    {1005, KeyType::Wide, P, "messages.vm-not-started",
     "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an "
     "antivirus or firewall tool could block the execution."},
    {1006, KeyType::Wide, P, "messages.class-path-entry-missing",
     "File or directory {0} not found or empty\n"},
    {1007, KeyType::Text, P, "messages.wrong-parameter-usage", "Wrong Parameter Usage"},
    {1008, KeyType::Text, P, "messages.variable-undefined",
     "The environment variable {0} has to be defined"},
    {1009, KeyType::Text, P, "messages.internal-error",
     "An internal error occurred (error code: {0})"},
    {1010, KeyType::Text, P, "messages.main-class-missing", "Couldn't load main class."},
    {1011, KeyType::Text, P, "messages.main-method-missing", "Main method not found."},
    {1012, KeyType::Text, P, "messages.error-caption", "Error"},
    {1013, KeyType::Text, P, "messages.ok-button", "Ok"},
    {1014, KeyType::Text, P, "messages.startup-error", "An error occurred while starting up {0}:"},
    {1015, KeyType::Wide, P, "messages.not-poweruser",
     "You must be at least Poweruser to run this program."},
    {1016, KeyType::Text, P, "messages.no-jvm",
     "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to an "
     "installed {0}-bit JDK or JRE"},
    {1017, KeyType::Wide, P, "messages.variable-no-jvm-32",
     "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
    {1018, KeyType::Wide, P, "messages.variable-no-jvm-64",
     "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
    {1019, KeyType::Wide, P, "messages.damaged-jvm-32",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed 32-bit JDK or JRE."},
    {1020, KeyType::Wide, P, "messages.damaged-jvm-64",
     "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto point "
     "to an installed 64-bit JDK or JRE."},
    {2001, KeyType::Text, 2, "application.flavour", nullptr},
    {2002, KeyType::Int, P, "files.include", nullptr},
    {2003, KeyType::Wide, P, "files.include", nullptr},
    // Also read as narrow text of 2000 bytes for the first-run marker.
    {10003, KeyType::Wide, 2000, "application.installation-directory", nullptr},
    {10004, KeyType::Wide, P, "vm.native-library-directories", nullptr},
    {10005, KeyType::Int, P, "single-instance.enabled", nullptr},
    {10109, KeyType::Int, P, "splash.status.x", nullptr},
    {10110, KeyType::Int, P, "splash.status.y", nullptr},
    {10111, KeyType::Text, P, "splash.status.text", nullptr},
    {10112, KeyType::Text, 32, "splash.status.font", nullptr},
    {10113, KeyType::Int, P, "splash.status.size", nullptr},
    {10114, KeyType::Colour, P, "splash.status.colour", nullptr},
    {10115, KeyType::Int, P, "splash.status.weight", nullptr},
    {10116, KeyType::Int, P, "splash.version.x", nullptr},
    {10117, KeyType::Int, P, "splash.version.y", nullptr},
    {10118, KeyType::Text, P, "splash.version.text", nullptr},
    {10119, KeyType::Text, 32, "splash.version.font", nullptr},
    {10120, KeyType::Int, P, "splash.version.size", nullptr},
    {10121, KeyType::Colour, P, "splash.version.colour", nullptr},
    {10122, KeyType::Int, P, "splash.version.weight", nullptr},
    {10123, KeyType::Int, P, "splash.runtime-library", nullptr},
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

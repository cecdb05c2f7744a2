// Every configuration key once: its number, its name in the code, how the launcher reads it,
// and how the builder's configuration file sets it. The key enums, the key table and the
// builder's settings are all made from this list, so that none of them can drift apart.
//
//   SETTING(name, number, type, capacity, path, kind, minimum, maximum)
//   FILES(name, number, type, capacity, path)      written by the builder from files.include
//   MESSAGE(name, number, type, path, default English text)
//
// `type` is a KeyType, `kind` a SettingKind; minimum and maximum bound Integer settings; a
// capacity of P is kPathCapacity.
// Ranges keep values where the launcher reads them as meant: sizes are not negative, and a
// font weight beyond 1000 is not a Windows weight. Rows stay in ascending key order.
#pragma once

#define TESMO_KEY_LIST(SETTING, FILES, MESSAGE)                                                    \
    SETTING(kKeyApplicationId, 101, Text, P, "application.id", Text, 0, 0)                         \
    SETTING(kKeyErrorLogEnabled, 102, Int, P, "redirect.errors", Flag, 0, 0)                       \
    SETTING(kKeyErrorLogFile, 103, Wide, P, "redirect.error-file", Text, 0, 0)                     \
    SETTING(kKeyOutputLogEnabled, 104, Int, P, "redirect.output", Flag, 0, 0)                      \
    SETTING(kKeyOutputLogFile, 105, Wide, P, "redirect.output-file", Text, 0, 0)                   \
    SETTING(kKeyWrapperFlag, 106, Int, P, "redirect.append", Flag, 0, 0)                           \
    SETTING(kKeyExecutableType, 107, Int, P, "executable.type", ExecutableType, 0, 0)              \
    SETTING(kKeySplashEnabled, 108, Int, P, "splash.enabled", Flag, 0, 0)                          \
    SETTING(kKeyClassPath, 121, Wide, P, "classpath.entries", ClassPath, 0, 0)                     \
    SETTING(kKeyMainClass, 122, Wide, P, "application.main-class", Text, 0, 0)                     \
    SETTING(kKeyVmOptions, 123, Wide, P, "vm.options", CommandLine, 0, 0)                          \
    SETTING(kKeyFixedArguments, 124, Wide, 2000, "application.arguments", CommandLine, 0, 0)       \
    SETTING(kKeyDashJOptions, 125, Int, P, "vm.accept-j-arguments", Flag, 0, 0)                    \
    SETTING(kKeyMinimumVersion, 126, Wide, P, "java.min-version", Version, 0, 0)                   \
    SETTING(kKeyMaximumVersion, 127, Wide, P, "java.max-version", Version, 0, 0)                   \
    SETTING(kKeySearchSequence, 128, Wide, P, "java.search", SearchSequence, 0, 0)                 \
    SETTING(kKeyAllowPrerelease, 130, Int, P, "java.allow-prerelease", Flag, 0, 0)                 \
    SETTING(kKeyRequireDevelopmentKit, 131, Int, P, "java.require-jdk", Flag, 0, 0)                \
    SETTING(kKeySplashWidth, 141, Int, P, "splash.width", Integer, 0, 65535)                       \
    SETTING(kKeySplashHeight, 142, Int, P, "splash.height", Integer, 0, 65535)                     \
    SETTING(kKeySplashAutoClose, 145, Int, P, "splash.auto-close", Flag, 0, 0)                     \
    SETTING(kKeyWorkingDirectory, 146, Wide, P, "application.working-directory", Text, 0, 0)       \
    SETTING(kKeySplashTopmost, 147, Int, P, "splash.topmost", Flag, 0, 0)                          \
    SETTING(kKeyPreferredVmType, 152, Wide, 200, "java.vm-type", Text, 0, 0)                       \
    SETTING(kKeyQuietSwitches, 154, Int, P, "console.accept-quiet-switches", Flag, 0, 0)           \
    SETTING(kKeyConsoleSwitch, 156, Int, P, "console.accept-console-switch", Flag, 0, 0)           \
    SETTING(kKeyGlobalSemaphore, 158, Int, P, "single-instance.global", Flag, 0, 0)                \
    SETTING(kKeyInstallationId, 160, Wide, P, "application.installation-id", Text, 0, 0)           \
    MESSAGE(kMessageTitle, 1000, Text, "messages.title", "Error")                                  \
    MESSAGE(kMessageNoJvmGeneric, 1001, Text, "messages.no-jvm-generic",                           \
            "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to "   \
            "an installed JDK or JRE")                                                             \
    MESSAGE(kMessageDamagedJvmOnPath, 1002, Text, "messages.damaged-jvm-on-path",                  \
            "The JVM found in your path is damaged.\nPlease reinstall or define "                  \
            "TESMO_JAVA_HOME\nto point to an installed JDK or JRE.")                               \
    MESSAGE(kMessageVariableNoJvmGeneric, 1003, Text, "messages.variable-no-jvm-generic",          \
            "The {0} environment variable does not\npoint to a working JDK or JRE.")               \
    MESSAGE(kMessageDamagedJvmGeneric, 1004, Text, "messages.damaged-jvm-generic",                 \
            "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto "    \
            "point to an installed JDK or JRE.")                                                   \
    MESSAGE(kMessageVmNotStarted, 1005, Wide, "messages.vm-not-started",                           \
            "The JVM could not be started. The maximum heap size (-Xmx) might be too large or an " \
            "antivirus or firewall tool could block the execution.")                               \
    MESSAGE(kMessageClassPathEntryMissing, 1006, Wide, "messages.class-path-entry-missing",        \
            "File or directory {0} not found or empty\n")                                          \
    MESSAGE(kMessageWrongParameterUsage, 1007, Text, "messages.wrong-parameter-usage",             \
            "Wrong Parameter Usage")                                                               \
    MESSAGE(kMessageVariableUndefined, 1008, Text, "messages.variable-undefined",                  \
            "The environment variable {0} has to be defined")                                      \
    MESSAGE(kMessageInternalError, 1009, Text, "messages.internal-error",                          \
            "An internal error occurred (error code: {0})")                                        \
    MESSAGE(kMessageMainClassMissing, 1010, Text, "messages.main-class-missing",                   \
            "Couldn't load main class.")                                                           \
    MESSAGE(kMessageMainMethodMissing, 1011, Text, "messages.main-method-missing",                 \
            "Main method not found.")                                                              \
    MESSAGE(kMessageErrorCaption, 1012, Text, "messages.error-caption", "Error")                   \
    MESSAGE(kMessageOkButton, 1013, Text, "messages.ok-button", "Ok")                              \
    MESSAGE(kMessageStartupError, 1014, Text, "messages.startup-error",                            \
            "An error occurred while starting up {0}:")                                            \
    MESSAGE(kMessageNotPoweruser, 1015, Wide, "messages.not-poweruser",                            \
            "You must be at least Poweruser to run this program.")                                 \
    MESSAGE(kMessageNoJvm, 1016, Text, "messages.no-jvm",                                          \
            "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to "   \
            "an installed {0}-bit JDK or JRE")                                                     \
    MESSAGE(kMessageVariableNoJvm32, 1017, Wide, "messages.variable-no-jvm-32",                    \
            "The {0} environment variable does not\npoint to a working 32-bit JDK or JRE.")        \
    MESSAGE(kMessageVariableNoJvm64, 1018, Wide, "messages.variable-no-jvm-64",                    \
            "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.")        \
    MESSAGE(kMessageDamagedJvm32, 1019, Wide, "messages.damaged-jvm-32",                           \
            "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto "    \
            "point to an installed 32-bit JDK or JRE.")                                            \
    MESSAGE(kMessageDamagedJvm64, 1020, Wide, "messages.damaged-jvm-64",                           \
            "The JVM found at {0} is damaged.\nPlease reinstall or define TESMO_JAVA_HOME\nto "    \
            "point to an installed 64-bit JDK or JRE.")                                            \
    SETTING(kKeyFlavour, 2001, Text, 2, "application.flavour", Flavour, 0, 0)                      \
    FILES(kKeyIncludedFileCount, 2002, Int, P, "files.include")                                    \
    FILES(kKeyIncludedFileNames, 2003, Wide, P, "files.include")                                   \
    /* Also read as narrow text of 2000 bytes for the first-run marker. */                         \
    SETTING(kKeyInstallationDirectory, 10003, Wide, 2000, "application.installation-directory",    \
            Text, 0, 0)                                                                            \
    SETTING(kKeyNativeLibraryDirectories, 10004, Wide, P, "vm.native-library-directories",         \
            PathList, 0, 0)                                                                        \
    SETTING(kKeySingleInstance, 10005, Int, P, "single-instance.enabled", Flag, 0, 0)              \
    SETTING(kKeyStatusLineX, 10109, Int, P, "splash.status.x", Integer, kInt32Min, kInt32Max)      \
    SETTING(kKeyStatusLineY, 10110, Int, P, "splash.status.y", Integer, kInt32Min, kInt32Max)      \
    SETTING(kKeyStatusLineText, 10111, Text, P, "splash.status.text", Text, 0, 0)                  \
    SETTING(kKeyStatusLineFont, 10112, Text, 32, "splash.status.font", Text, 0, 0)                 \
    SETTING(kKeyStatusLineSize, 10113, Int, P, "splash.status.size", Integer, 0, 1000)             \
    SETTING(kKeyStatusLineColour, 10114, Colour, P, "splash.status.colour", Colour, 0, 0)          \
    SETTING(kKeyStatusLineWeight, 10115, Int, P, "splash.status.weight", Integer, 0, 1000)         \
    SETTING(kKeyVersionLineX, 10116, Int, P, "splash.version.x", Integer, kInt32Min, kInt32Max)    \
    SETTING(kKeyVersionLineY, 10117, Int, P, "splash.version.y", Integer, kInt32Min, kInt32Max)    \
    SETTING(kKeyVersionLineText, 10118, Text, P, "splash.version.text", Text, 0, 0)                \
    SETTING(kKeyVersionLineFont, 10119, Text, 32, "splash.version.font", Text, 0, 0)               \
    SETTING(kKeyVersionLineSize, 10120, Int, P, "splash.version.size", Integer, 0, 1000)           \
    SETTING(kKeyVersionLineColour, 10121, Colour, P, "splash.version.colour", Colour, 0, 0)        \
    SETTING(kKeyVersionLineWeight, 10122, Int, P, "splash.version.weight", Integer, 0, 1000)       \
    SETTING(kKeySplashThroughRuntime, 10123, Int, P, "splash.runtime-library", Flag, 0, 0)

// What the VM and the wrapper class receive: the launcher's system properties, the
// wrapper's argument list, and option text in the form the invocation interface takes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/command_line.h"
#include "platform/text.h"

namespace tesmo {

struct PropertyValues {
    std::optional<std::string> semaphoreName;  // when the single-instance stage ran
    bool korvane = false;
    std::string modulePath;                      // the executable, narrow
    std::optional<std::string> processCommFile;  // single-instance mode
    WideString tempDirectory;
    long long unextractedPosition = 0;
    WideString libraryPath;                   // PATH as it is now
    std::optional<unsigned> consoleCodepage;  // absent when MANPATH is set
};

// In their fixed order. Values are kept whole: nothing relies on a property being cut.
std::vector<WideString> systemProperties(const PropertyValues& values);

// The 8.3 short form of a path, or "" when the volume has none for it.
using ShortPathLookup = WideString (*)(const WideString& path);

// The VM reads its options as narrow text (narrowOption), where a path holding a character
// beyond U+00FF names nothing: each such entry of a ";"-separated list takes its short form,
// which names the same file in ASCII, when it has one.
WideString narrowablePathList(WideView list, ShortPathLookup shortPath);

// The "-Djava.class.path=" option with its path list made narrowable.
WideString narrowableClassPathOption(WideView option, ShortPathLookup shortPath);

// A log file as the wrapper receives it: "" when off, a name beginning with "$" as it is
// (the wrapper gives it its meaning), any other name as a full path.
WideString wrapperLogName(bool enabled, WideString name, void (*expand)(WideString& text),
                          WideString (*fullPath)(const WideString& path));

struct WrapperSettings {
    bool windowed = false;
    WideString mainClass;
    WideString errorLog;   // "" when off
    WideString outputLog;  // "" when off
    bool flag = false;
    WideString fixedArguments;  // expanded, split like a command line
    bool dashJOptions = false;  // "-J" arguments go to the VM, not the application
};

// The five leading values, the program name, the fixed arguments, then the user's
// arguments without those meant for the VM.
std::vector<WideString> wrapperArguments(const WrapperSettings& settings,
                                         const ArgumentList& arguments);

// One byte per UTF-16 unit up to U+00FF; a unit above that has no byte and becomes "?".
std::string narrowOption(WideView option);

}  // namespace tesmo

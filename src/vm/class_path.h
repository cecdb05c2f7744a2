// Building the "-Djava.class.path=" option: directives, the archives of the temporary
// directory, the runtime archive of the korvane flavour and the configured entries.
#pragma once

#include <optional>
#include <vector>

#include "platform/text.h"
#include "vm/vm_options.h"

namespace tesmo {

// Far above any real class path. Nothing relies on a class path being cut, so it is
// kept whole up to here; beyond, entries are dropped with a log line rather than
// written past the option.
constexpr std::size_t kClassPathCapacity = 1 << 20;

// The kinds of configured class path entry, by the letter that starts each in key 121.
enum class ClassPathKind {
    Archive,    // one file
    Directory,  // one directory
    Variable,   // the path list an environment variable holds
    Scan,       // every .jar and .zip in a directory
};

struct ClassPathLetter {
    char16_t letter;
    const char* name;  // the builder's name for it
    ClassPathKind kind;
};

extern const ClassPathLetter kClassPathLetters[];
extern const std::size_t kClassPathLetterCount;
const ClassPathLetter* findClassPathLetter(char16_t letter);

struct ClassPathSources {
    void (*expand)(WideString& text);
    bool (*exists)(const WideString& path);
    bool (*resolvePath)(WideString& out, const WideString& path);
    bool (*resolvePathList)(WideString& out, const WideString& list);
    std::vector<WideString> (*listFiles)(const WideString& directory, const WideString& extension);
    // The variable's value (possibly empty), or nothing when it does not exist.
    std::optional<WideString> (*variable)(const WideString& name);
};

struct ClassPathInput {
    ClassPathDirectives directives;
    WideString tempDirectory;  // empty when none was created
    bool korvane = false;
    WideString installationDirectory;  // full path
    WideString configured;             // key 121 as stored
};

// A required entry that failed: the message and its argument.
struct ClassPathFailure {
    int messageId = 0;
    WideString argument;
};

struct ClassPathResult {
    WideString option;
    ClassPathFailure failure;
};

ClassPathResult buildClassPathOption(const ClassPathInput& input, const ClassPathSources& sources);

}  // namespace tesmo

#include "vm/class_path.h"

#include "core/keys.h"
#include "core/log.h"
#include "platform/path_text.h"

namespace tesmo {

const ClassPathLetter kClassPathLetters[] = {
    {u'A', "archive", ClassPathKind::Archive},
    {u'D', "directory", ClassPathKind::Directory},
    {u'E', "env", ClassPathKind::Variable},
    {u'S', "scan", ClassPathKind::Scan},
};
const std::size_t kClassPathLetterCount = sizeof kClassPathLetters / sizeof kClassPathLetters[0];

const ClassPathLetter* findClassPathLetter(char16_t letter) {
    for (const ClassPathLetter& entry : kClassPathLetters) {
        if (entry.letter == letter) return &entry;
    }
    return nullptr;
}

namespace {

// The option under construction, bounded by kClassPathCapacity.
struct Builder {
    WideString text = u"-Djava.class.path=";
    bool full = false;

    void append(WideView part) {
        if (full) return;
        if (text.size() + part.size() > kClassPathCapacity - 1) {
            full = true;
            logError("class path longer than %d characters: the rest is left out",
                     static_cast<int>(kClassPathCapacity - 1));
            return;
        }
        text.append(part);
    }
};

bool addArchivesOfDirectory(Builder& builder, const WideString& directory,
                            const WideString& extension, const ClassPathSources& sources) {
    if (!sources.exists(directory)) return false;
    for (const WideString& name : sources.listFiles(directory, extension)) {
        WideString resolved;
        sources.resolvePath(resolved, directory + u"\\" + name);
        builder.append(resolved);
        builder.append(u";");
    }
    return true;
}

void addDirectoryArchives(Builder& builder, const WideString& directory,
                          const ClassPathSources& sources) {
    addArchivesOfDirectory(builder, directory, u"jar", sources);
    addArchivesOfDirectory(builder, directory, u"zip", sources);
}

// What one entry adds; whether it was found.
enum class EntryOutcome { Found, Missing, VariableUndefined };

EntryOutcome found(bool yes) {
    return yes ? EntryOutcome::Found : EntryOutcome::Missing;
}

EntryOutcome addConfiguredEntry(Builder& builder, ClassPathKind kind, const WideString& value,
                                const ClassPathSources& sources) {
    switch (kind) {
        case ClassPathKind::Archive:
        case ClassPathKind::Directory: {
            WideString resolved;
            sources.resolvePathList(resolved, value);
            builder.append(resolved);
            builder.append(u";");
            return found(sources.exists(resolved));
        }
        case ClassPathKind::Variable: {
            std::optional<WideString> variable = sources.variable(value);
            if (!variable) return EntryOutcome::VariableUndefined;
            if (variable->empty()) return EntryOutcome::Missing;
            WideString text = *variable;
            if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') {
                text = text.substr(1, text.size() - 2);
            }
            builder.append(text);
            if (text.empty() || text.back() != u';') builder.append(u";");
            return EntryOutcome::Found;
        }
        case ClassPathKind::Scan: {
            WideString directory;
            sources.resolvePath(directory, value);
            bool jars = addArchivesOfDirectory(builder, directory, u"jar", sources);
            bool zips = addArchivesOfDirectory(builder, directory, u"zip", sources);
            return found(jars || zips);
        }
    }
    return EntryOutcome::Missing;
}

ClassPathFailure addConfiguredClassPath(Builder& builder, const WideString& configured,
                                        const ClassPathSources& sources) {
    logMessage("classpath entry %S", configured);
    for (const WideString& entry : splitList(configured, u';')) {
        if (entry.size() < 2) continue;
        const ClassPathLetter* letter = findClassPathLetter(entry[0]);
        bool required = entry[1] == u'1';
        WideString value = entry.substr(2);
        sources.expand(value);
        // An unknown letter adds nothing, and cannot be found either.
        EntryOutcome outcome = letter ? addConfiguredEntry(builder, letter->kind, value, sources)
                                      : EntryOutcome::Missing;
        if (!required || outcome == EntryOutcome::Found) continue;
        return {outcome == EntryOutcome::VariableUndefined ? kMessageVariableUndefined
                                                           : kMessageClassPathEntryMissing,
                value};
    }
    return {};
}

}  // namespace

ClassPathResult buildClassPathOption(const ClassPathInput& input, const ClassPathSources& sources) {
    Builder builder;
    const ClassPathDirectives& directives = input.directives;
    if (directives.prepended) {
        builder.append(*directives.prepended);
        builder.append(u";");
    }
    if (!input.tempDirectory.empty()) {
        addDirectoryArchives(builder, input.tempDirectory, sources);
        addDirectoryArchives(builder, input.tempDirectory + u"\\user", sources);
    }
    if (input.korvane) {
        builder.append(input.installationDirectory);
        if (input.installationDirectory.empty() || input.installationDirectory.back() != u'\\') {
            builder.append(u"\\");
        }
        builder.append(u".korvane\\kvnruntime.jar;");
    }
    ClassPathResult result;
    if (directives.replacement) {
        builder.append(*directives.replacement);
    } else {
        result.failure = addConfiguredClassPath(builder, input.configured, sources);
        if (result.failure.messageId != 0) return result;
    }
    if (directives.appended) {
        if (builder.text.empty() || builder.text.back() != u';') builder.append(u";");
        builder.append(*directives.appended);
    }
    result.option = std::move(builder.text);
    return result;
}

}  // namespace tesmo

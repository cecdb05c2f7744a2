#include "vm/vm_options.h"

#include "core/log.h"

namespace tesmo {

namespace {

constexpr WideView kInclude = u"-include-options ";
constexpr WideView kReplacement = u"-classpath ";
constexpr WideView kPrepended = u"-classpath/p ";
constexpr WideView kAppended = u"-classpath/a ";
constexpr WideView kFormatAsDefault = u"-Dsun.locale.formatasdefault=";
constexpr std::size_t kLinePieceCapacity = kPathCapacity - 1;

void includeFile(VmOptionContext& context, const WideString& name) {
    WideString expanded = name;
    context.sources.expand(expanded);
    logMessage("after exp from %S %S", expanded, name);
    WideString resolved;
    context.sources.resolve(resolved, expanded, context.filePath);
    if (context.depth >= kMaxIncludeDepth) {
        logError("not including %S: options files nested more than %d deep", resolved,
                 kMaxIncludeDepth);
        return;
    }
    if (context.included >= kMaxIncludedFiles) {
        logError("not including %S: more than %d options files included", resolved,
                 kMaxIncludedFiles);
        return;
    }
    ++context.included;
    std::optional<std::string> contents = context.sources.readFile(resolved);
    const void* handle = contents ? static_cast<const void*>(contents->data()) : nullptr;
    logMessage("adding vmoptions from (%p) <%S> (%S)", handle, resolved, expanded);
    if (contents) {
        // The count goes down into the nested file and its total comes back up, so that
        // includes anywhere in the tree share one limit.
        VmOptionContext nested{context.options, context.directives, context.sources,
                               &resolved,       context.depth + 1,  context.included};
        readVmOptionsText(nested, *contents);
        context.included = nested.included;
    }
    logMessage("adding vmoptions 2");
    logMessage("adding vmoptions 3");
}

}  // namespace

void addVmOption(VmOptionContext& context, const WideString& option) {
    WideView text = option;
    if (startsWith(text, kInclude)) {
        includeFile(context, WideString(text.substr(kInclude.size())));
    } else if (startsWith(text, kReplacement)) {
        context.directives.replacement = WideString(text.substr(kReplacement.size()));
    } else if (startsWith(text, kPrepended)) {
        context.directives.prepended = WideString(text.substr(kPrepended.size()));
    } else if (startsWith(text, kAppended)) {
        context.directives.appended = WideString(text.substr(kAppended.size()));
    } else {
        context.options.push_back(option);
    }
}

std::vector<std::string> optionLines(std::string_view contents) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t newline = contents.find('\n', start);
        std::size_t end = newline == std::string_view::npos ? contents.size() : newline + 1;
        // A line buffer of 6000 bytes hands a longer line over in pieces.
        if (end - start > kLinePieceCapacity) end = start + kLinePieceCapacity;
        std::string_view line = contents.substr(start, end - start);
        start = end;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        lines.emplace_back(line);
    }
    return lines;
}

void readVmOptionsText(VmOptionContext& context, std::string_view contents) {
    for (const std::string& line : optionLines(contents)) {
        // The VM reads each option up to its first NUL, so such a line would reach it as
        // part of itself, and a UTF-16 file as fragments (a byte-order mark, empty
        // options): a line holding a NUL is no option.
        if (line.find('\0') != std::string::npos) {
            logError("VM options line holding a NUL byte left out");
            continue;
        }
        WideString option = widenBytes(line);
        context.sources.expand(option);
        addVmOption(context, option);
    }
}

void addConfiguredOptions(VmOptionContext& context, const WideString& value) {
    ArgumentList tokens;
    splitCommandLine(value, tokens);
    logMessage("adding options\n");
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == u"-include-options" && i + 1 < tokens.size()) {
            addVmOption(context, tokens[i] + u" " + tokens[i + 1]);
            ++i;
        } else {
            addVmOption(context, tokens[i]);
        }
    }
}

void addDashJOptions(VmOptionContext& context, const ArgumentList& arguments) {
    for (const WideString& argument : arguments) {
        if (startsWith(argument, u"-J")) addVmOption(context, argument.substr(2));
    }
}

void addLocaleOptions(VmOptionContext& context, const ArgumentList& arguments,
                      const std::string& language, const std::string& country) {
    const WideString* kept = nullptr;
    for (const WideString& argument : arguments) {
        if (startsWith(argument, kFormatAsDefault)) kept = &argument;
    }
    if (!kept) return;
    WideString option = *kept;
    addVmOption(context, option);
    if (option == u"-Dsun.locale.formatasdefault=true") return;
    if (!language.empty()) addVmOption(context, u"-Duser.language=" + widenBytes(language));
    if (!country.empty()) addVmOption(context, u"-Duser.country=" + widenBytes(country));
}

void keepWholeLinesWithin(std::string& contents, std::size_t limit, const WideString& path) {
    if (contents.size() <= limit) return;
    contents.resize(limit);
    contents.resize(contents.rfind('\n') + 1);
    logError("%S holds more than %d bytes: the rest is left out", path, static_cast<int>(limit));
}

std::vector<WideString> vmOptionsFileNames(const WideString& executable) {
    if (executable.size() < 4) return {};
    return {executable.substr(0, executable.size() - 4) + u".vmoptions",
            executable + u".vmoptions"};
}

std::optional<std::string> readDefaultVmOptionsFile(const std::vector<WideString>& executables,
                                                    const VmOptionSources& sources) {
    for (const WideString& exe : executables) {
        std::vector<WideString> names = vmOptionsFileNames(exe);
        if (names.empty()) continue;
        std::optional<std::string> contents = sources.readFile(names[0]);
        logMessage("vmoptions2: exe %S file: %S, file: %p", exe, names[0],
                   contents ? static_cast<const void*>(contents->data()) : nullptr);
        if (contents) return contents;
        contents = sources.readFile(names[1]);
        logMessage("vmoptions: opts2: %S, file: %p", names[1],
                   contents ? static_cast<const void*>(contents->data()) : nullptr);
        if (contents) return contents;
    }
    return std::nullopt;
}

}  // namespace tesmo

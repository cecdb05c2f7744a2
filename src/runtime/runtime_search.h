// The search for a Java runtime: preferred location, the configured sequence, installer
// location, a tolerant pass over relative locations, earlier installations and the two
// fixed variables. The first candidate that passes ends it.
#pragma once

#include <optional>
#include <string>

#include "platform/text.h"
#include "runtime/installation_check.h"
#include "runtime/registry_catalogue.h"
#include "runtime/search_sequence.h"

namespace tesmo {

struct SearchSources {
    const InstallationSources& installation;
    const RegistrySources& registry;
    void (*expand)(WideString& text);
    // Unpacks the archives of a runtime stored in Pack200 form, once, before it is judged.
    void (*preparePackedRuntime)(const WideString& home);
    // The variable's value (possibly empty), or nothing when it does not exist.
    std::optional<WideString> (*variable)(const WideString& name);
    // The java.exe the system's search order finds, or empty.
    WideString (*javaOnPath)();
    // At most `capacity` bytes from the start of a file, or nothing when it cannot be read.
    std::optional<std::string> (*readFileStart)(const WideString& path, std::size_t capacity);
};

SearchResult findJvm(const SearchSources& sources, WideString& javaExe, WideString& foundText);

// The first line of a location file, without its line break.
WideString locationFileLine(std::string_view content);

}  // namespace tesmo

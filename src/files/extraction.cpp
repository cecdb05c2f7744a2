#include "files/extraction.h"

#include "core/log.h"

namespace tesmo {

int extractInOrder(const WideString& directory, const std::vector<WideString>& names,
                   const ExtractionCalls& calls) {
    for (const WideString& name : names) {
        WideString target = directory + u"\\" + name;
        std::size_t slash = name.find(u'\\');
        if (slash != WideString::npos) {
            WideString subdirectory = directory + u"\\" + name.substr(0, slash);
            logMessage("creating directory %S", subdirectory);
            // The file's own creation then fails and reports it.
            if (!calls.createDirectory(subdirectory)) {
                logError("failed to create directory %S", subdirectory);
            }
        }
        int result = calls.extract(calls.context, target);
        if (result != 0) {
            logError("Failed to extract %S", target);
            return result;
        }
    }
    return 0;
}

}  // namespace tesmo

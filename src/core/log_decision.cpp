#include "core/log.h"

namespace tesmo {

bool logWanted(bool requested, const std::optional<std::string>& tesmoLog,
               const std::optional<std::string>& korvaneLog) {
    // Exact and case-sensitive on purpose: "Yes", "1" or "true" leave the log off.
    return requested || tesmoLog == "yes" || korvaneLog == "yes";
}

}  // namespace tesmo

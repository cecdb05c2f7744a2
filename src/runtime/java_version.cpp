#include "runtime/java_version.h"

#include "core/log.h"

namespace tesmo {

int compareToLimit(WideView version, WideView limit, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (i >= limit.size()) return 0;
        if (i >= version.size()) return -1;
        if (version[i] != limit[i]) return version[i] < limit[i] ? -1 : 1;
    }
    return 0;
}

bool versionAcceptable(WideView version, WideView lower, WideView upper, bool allowPrerelease,
                       bool prereleaseConfigured) {
    if (!allowPrerelease && !prereleaseConfigured) {
        for (const char16_t* mark : {u"beta", u"ea", u"rc"}) {
            if (version.find(mark) != WideView::npos) {
                logMessage("beta vm not allowed");
                return false;
            }
        }
    }
    if (compareToLimit(version, lower, lower.size()) < 0) return false;
    if (compareToLimit(version, upper, upper.size()) > 0) return false;
    return true;
}

bool versionInLooseRange(WideView name, WideView lower, WideView upper) {
    std::size_t lowerLength = name.size() < lower.size() ? name.size() : lower.size();
    std::size_t upperLength = name.size() < upper.size() ? name.size() : upper.size();
    return compareToLimit(name, lower, lowerLength) >= 0 &&
           compareToLimit(name, upper, upperLength) <= 0;
}

namespace {

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

WideView digitRun(WideView text, std::size_t& at) {
    std::size_t start = at;
    while (at < text.size() && isDigit(text[at])) ++at;
    return text.substr(start, at - start);
}

// Runs of any length, so no number can overflow: without leading zeros the longer run is
// the larger number.
int compareNumbers(WideView a, WideView b) {
    while (a.size() > 1 && a[0] == u'0') a.remove_prefix(1);
    while (b.size() > 1 && b[0] == u'0') b.remove_prefix(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

}  // namespace

int compareJavaVersions(WideView a, WideView b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            int order = compareNumbers(digitRun(a, i), digitRun(b, j));
            if (order != 0) return order;
        } else if (a[i] != b[j]) {
            return a[i] < b[j] ? -1 : 1;
        } else {
            ++i, ++j;
        }
    }
    if (i < a.size()) return 1;
    return j < b.size() ? -1 : 0;
}

namespace {

// What a VM prints before its version line when one of these variables is set.
constexpr std::string_view kNotices[] = {
    "Picked up JAVA_TOOL_OPTIONS: ",
    "Picked up _JAVA_OPTIONS: ",
    "NOTE: Picked up JDK_JAVA_OPTIONS: ",
};

constexpr std::string_view kVersionLines[] = {"java version \"", "openjdk version \""};

// Only this much of the version line is read; a version is always shorter.
constexpr std::size_t kVersionLineCapacity = 99;

bool isNotice(std::string_view line) {
    for (std::string_view notice : kNotices) {
        if (startsWith(line, notice)) return true;
    }
    return false;
}

}  // namespace

std::optional<WideString> parseVersionOutput(std::string_view output) {
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        std::string_view line = output.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!isNotice(line)) {
            line = line.substr(0, kVersionLineCapacity);
            for (std::string_view prefix : kVersionLines) {
                if (!startsWith(line, prefix)) continue;
                std::string_view rest = line.substr(prefix.size());
                std::size_t quote = rest.find('"');
                if (quote == std::string_view::npos) return std::nullopt;
                return widenBytes(rest.substr(0, quote));
            }
            return std::nullopt;
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return std::nullopt;
}

WideString versionCacheSubkey(WideView javaExe) {
    WideString subkey(javaExe);
    for (char16_t& c : subkey) {
        if (c == u'\\') c = u'/';
    }
    return subkey;
}

}  // namespace tesmo

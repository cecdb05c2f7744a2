// Judging a runtime's version: the text between the quotation marks of its "-version"
// banner, compared as text against the configured limits.
#pragma once

#include <optional>
#include <string_view>

#include "platform/text.h"

namespace tesmo {

// Compares the first `length` characters of `version` with `limit` code unit by code
// unit; the end of the version counts as lower than any character. Negative, 0 or
// positive like wcsncmp.
int compareToLimit(WideView version, WideView limit, std::size_t length);

// The prerelease rule ("beta", "ea" or "rc" anywhere refuses unless allowed), then the
// lower and upper limit over each limit's own length. Empty limits impose nothing.
bool versionAcceptable(WideView version, WideView lower, WideView upper, bool allowPrerelease,
                       bool prereleaseConfigured);

// The tolerant comparison for registry names such as "1.7": each limit is compared over
// the shorter of the two lengths, without the prerelease rule.
bool versionInLooseRange(WideView name, WideView lower, WideView upper);

// Orders two versions as versions, where the limits compare text: runs of digits by their
// number ("17.0.10" above "17.0.9", "1.8.0_401" above "1.8.0_41"), every other character
// by its code unit, and a version that goes on where the other ends is the higher ("21.0.1"
// above "21"). Negative, 0 or positive.
int compareJavaVersions(WideView a, WideView b);

// The version from what a runtime printed on its error stream for "-version". Notices that
// a VM prints before its version line when option variables are set are skipped; the next
// line must be a version line, and the version is the text between its quotation marks.
std::optional<WideString> parseVersionOutput(std::string_view output);

// The version cache's subkey for an executable: backslashes become forward slashes.
WideString versionCacheSubkey(WideView javaExe);

}  // namespace tesmo

#include "core/log_format.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(LogFormat, PlaceholdersSwapBetweenNarrowAndWideFormats) {
    testing::clearCapturedLog();
    WideString path = u"C:\\x\\y";
    logMessage("Could not open %S", path);
    logMessage("rawDataSize: %d, rawDataOffset: %d", 10752, 278016);
    logMessage("sun.locale.formatasdefault is %s", "true");
    logMessage("extracting %S (size: %I64d)", path, 1LL << 40);
    logMessage("100%% %u", 4000000000u);
    logError("failed to create directory %S", path);
    logMessageWide(u"%s uses %S", path, "narrow");
    const std::vector<std::string> expected = {"Could not open C:\\x\\y",
                                               "rawDataSize: 10752, rawDataOffset: 278016",
                                               "sun.locale.formatasdefault is true",
                                               "extracting C:\\x\\y (size: 1099511627776)",
                                               "100% 4000000000",
                                               "ERROR: failed to create directory C:\\x\\y",
                                               "C:\\x\\y uses narrow"};
    EXPECT_EQ(testing::capturedLog(), expected);
}

TEST(LogFormat, MismatchedArgumentsAtRunTimeAreNotRead) {
    const FormatArg text[] = {FormatArg("abc")};
    EXPECT_EQ(formatNarrow("%d", text, 1), "<bad format>");
    EXPECT_EQ(formatNarrow("%s %s", text, 1), "<bad format>");
    EXPECT_EQ(formatNarrow("%s", text, 0), "<bad format>");
    EXPECT_EQ(formatNarrow("%q", text, 1), "<bad format>");
    EXPECT_EQ(formatNarrow("end %", text, 0), "<bad format>");
    EXPECT_EQ(formatWide(u"%s", text, 1), u"<bad format>");
    const FormatArg big[] = {FormatArg(1LL << 40)};
    EXPECT_EQ(formatNarrow("%d", big, 1), "<bad format>");
}

TEST(LogFormat, WideTextOutsideTheCodePageBecomesQuestionMarks) {
    const FormatArg wide[] = {FormatArg(u"\u4E2D.exe")};
    EXPECT_EQ(formatNarrow("%S", wide, 1), "?.exe");
}

// The compile-time check is what keeps log lines honest; these pin its rules.
static_assert(formatMatches("%d %S", (const ArgKind[]){ArgKind::Int, ArgKind::Wide}, 2, false));
static_assert(!formatMatches("%d %s", (const ArgKind[]){ArgKind::Int, ArgKind::Wide}, 2, false));
static_assert(formatMatches(u"%s %S", (const ArgKind[]){ArgKind::Wide, ArgKind::Narrow}, 2, true));
static_assert(!formatMatches("%d", (const ArgKind[]){ArgKind::Int64}, 1, false));
static_assert(formatMatches("%I64d", (const ArgKind[]){ArgKind::Int}, 1, false));
static_assert(!formatMatches("%d", (const ArgKind[]){ArgKind::Int, ArgKind::Int}, 2, false));

}  // namespace
}  // namespace tesmo

#include "core/log_format.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(LogFormat, PlaceholdersSwapBetweenNarrowAndWideFormats) {
    testing::clearCapturedLog();
    WideString path = u"C:\\x\\y";
    logMessage("extracting %S (size: %I64d)", path, 1LL << 40);
    logMessage("100%% %u %s", 4000000000u, "true");
    logError("failed to create directory %S", path);
    logMessageWide(u"%s uses %S", path, "narrow");
    const std::vector<std::string> expected = {
        "extracting C:\\x\\y (size: 1099511627776)", "100% 4000000000 true",
        "ERROR: failed to create directory C:\\x\\y", "C:\\x\\y uses narrow"};
    EXPECT_EQ(testing::capturedLog(), expected);
    const FormatArg wide[] = {FormatArg(u"\u4E2D.exe")};
    EXPECT_EQ(formatNarrow("%S", wide, 1), "?.exe");
}

TEST(LogFormat, MismatchedArgumentsAtRunTimeAreNotRead) {
    const FormatArg text[] = {FormatArg("abc")};
    EXPECT_EQ(formatNarrow("%d", text, 1), "<bad format>");
    EXPECT_EQ(formatNarrow("%s %s", text, 1), "<bad format>");
    EXPECT_EQ(formatNarrow("end %", text, 0), "<bad format>");
    EXPECT_EQ(formatWide(u"%s", text, 1), u"<bad format>");
}

static_assert(!formatMatches("%d %s", (const ArgKind[]){ArgKind::Int, ArgKind::Wide}, 2, false));
static_assert(formatMatches(u"%s %S", (const ArgKind[]){ArgKind::Wide, ArgKind::Narrow}, 2, true));
static_assert(!formatMatches("%d", (const ArgKind[]){ArgKind::Int64}, 1, false));

}  // namespace
}  // namespace tesmo

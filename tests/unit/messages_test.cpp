#include "core/messages.h"

#include <gtest/gtest.h>

#include "core/settings.h"

namespace tesmo {
namespace {

TEST(Messages, OnlyTheFirstPlaceholderTakesTheArgumentAndTheLogPathFollowsAnEmptyLine) {
    std::string code = "16";
    EXPECT_EQ(substituteArgument(std::string("{0} and {0}"), &code), "16 and {0}");
    EXPECT_EQ(substituteArgument(std::string("kept {0}"), nullptr), "kept {0}");
    WideString name = u"JAVA_HOME";
    EXPECT_EQ(substituteArgument(WideString(u"The {0} variable {0}"), &name),
              u"The JAVA_HOME variable {0}");
    EXPECT_EQ(composeMessage(u"Failed", WideString(u"C:\\Temp\\kvn_nlog_1")),
              u"Failed\n\nLog: C:\\Temp\\kvn_nlog_1");
    EXPECT_EQ(composeMessage(u"Failed", std::nullopt), u"Failed");
}

TEST(Messages, ComposedTextsStayWithinTheirCapacity) {
    EXPECT_EQ(composeMessage(WideString(7000, u'x'), WideString(u"C:\\log")).size(),
              kMessageCapacity - 1);
    std::string argument(7000, 'y');
    EXPECT_EQ(substituteArgument(std::string("a {0} b"), &argument).size(), kMessageCapacity - 1);
}

TEST(LocalizedMessages, OnlyCarriedKeysShowCutWhereNarrowTextsAreBeforeTheArgumentGoesIn) {
    localizedSettings = {{1016, u"Keine Java\u2011Laufzeit ({0} Bit) {0}"},
                         {1009, WideString(kMessageCapacity, u'\u00e4') + u"{0}"}};
    const WideString bits = u"64";
    EXPECT_EQ(localizedMessage(1016, &bits), u"Keine Java\u2011Laufzeit (64 Bit) {0}");
    EXPECT_EQ(localizedMessage(1005, &bits), std::nullopt);
    EXPECT_EQ(localizedMessage(1009, &bits), WideString(kMessageCapacity - 1, u'\u00e4'));
    localizedSettings.clear();
}

}  // namespace
}  // namespace tesmo

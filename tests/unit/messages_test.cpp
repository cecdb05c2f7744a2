#include "core/messages.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tesmo

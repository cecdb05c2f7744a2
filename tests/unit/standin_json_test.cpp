#include <gtest/gtest.h>

#include "jvm/json.h"
#include "jvm/record.h"

namespace standin::jvm {
namespace {

TEST(StandinJson, ScalarsAndNesting) {
    Json document = Json::object();
    document.set("null", nullptr);
    document.set("yes", true);
    document.set("no", false);
    document.set("negative", -2147483647 - 1);
    document.set("large", 18446744073709551ull >> 1);
    Json& list = document.set("list", Json::array());
    list.push(1);
    list.push(Json::object()).set("inner", "x");
    list.push(Json::array());
    EXPECT_EQ(document.dump(),
              "{\"null\": null, \"yes\": true, \"no\": false, \"negative\": -2147483648, "
              "\"large\": 9223372036854775, \"list\": [1, {\"inner\": \"x\"}, []]}");
}

TEST(StandinJson, SetReplacesInPlaceAndFindReachesMembers) {
    Json document = Json::object();
    document.set("a", 1);
    document.set("b", 2);
    document.set("a", "again");
    EXPECT_EQ(document.dump(), "{\"a\": \"again\", \"b\": 2}");
    ASSERT_NE(document.find("b"), nullptr);
    EXPECT_EQ(document.find("b")->dump(), "2");
    EXPECT_EQ(document.find("c"), nullptr);
    EXPECT_EQ(document.size(), 2u);
    EXPECT_THROW(document.push(1), std::logic_error);
    Json list = Json::array();
    EXPECT_THROW(list.set("x", 1), std::logic_error);
    EXPECT_THROW(list.at(0), std::out_of_range);
}

TEST(StandinJson, StringsEscapeWhatJsonRequiresAndKeepTheRestAsUtf8) {
    EXPECT_EQ(jsonString(u"quote \" backslash \\ slash /"),
              "\"quote \\\" backslash \\\\ slash /\"");
    EXPECT_EQ(jsonString(u"\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"");
    EXPECT_EQ(jsonString(std::u16string(u"\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString(u"\u00e9\u65e5\U0001F600"), "\"\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80\"");
    // An unpaired surrogate has no UTF-8 form; the escape keeps it exactly.
    std::u16string lone = u"a";
    lone += char16_t(0xD83D);
    lone += u"b";
    lone += char16_t(0xDE00);
    EXPECT_EQ(jsonString(lone), "\"a\\ud83db\\ude00\"");
    EXPECT_EQ(Json("caf\xC3\xA9").dump(), "\"caf\xC3\xA9\"");
}

TEST(StandinRecord, StartsWithEveryTopLevelFieldAndAppendsEvents) {
    Record record(42, u"C:\\jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(
        record.text(),
        "{\"pid\": 42, \"dll\": \"C:\\\\jre\\\\bin\\\\server\\\\jvm.dll\", \"version\": null, "
        "\"ignoreUnrecognized\": null, \"options\": [], \"classPath\": [], \"created\": false, "
        "\"createResult\": null, \"events\": []}\n");
    record.addEvent("FindClass", 7).set("name", "a/B");
    record.addEvent("DestroyJavaVM", 8);
    EXPECT_EQ(record.eventCount(), 2u);
    record.event(0).set("found", true);
    EXPECT_EQ(record.document().find("events")->dump(),
              "[{\"call\": \"FindClass\", \"thread\": 7, \"name\": \"a/B\", \"found\": true}, "
              "{\"call\": \"DestroyJavaVM\", \"thread\": 8}]");
    EXPECT_THROW(record.event(2), std::out_of_range);
}

}  // namespace
}  // namespace standin::jvm

#include "files/temp_directory.h"

#include <gtest/gtest.h>

#include <set>

namespace tesmo {
namespace {

std::set<std::string> writableDirectories;
std::vector<std::string> made;

bool fakeWritable(const std::string& directory) {
    return writableDirectories.count(directory) != 0;
}

bool fakeCreate(const std::string& path) {
    made.push_back(path);
    if (writableDirectories.count("c:\\")) writableDirectories.insert(path);
    return true;
}

TEST(TempFallback, TheFirstWritableInOrderThenAFreshDirectory) {
    struct Row {
        std::set<std::string> writable;
        std::optional<std::string> chosen;
    };
    const std::vector<Row> rows = {
        {{"C:\\W\\temp", "c:\\temp", "C:\\W"}, "C:\\W\\temp"},
        {{"c:\\tmp", "C:\\W"}, "c:\\tmp"},
        {{"C:\\W"}, "C:\\W"},
        {{"c:\\"}, "c:\\tmp"},
        {{}, std::nullopt},
    };
    for (const Row& row : rows) {
        writableDirectories = row.writable;
        made.clear();
        EXPECT_EQ(writableTempFallback(std::string("C:\\W"), {fakeWritable, fakeCreate}),
                  row.chosen);
        EXPECT_EQ(made.size(), row.writable == std::set<std::string>{"c:\\"} ? 1u : 0u);
    }
    EXPECT_EQ(writableTempFallback(WideString(u"C:\\W"),
                                   {[](const WideString& d) { return d == u"C:\\W\\temp"; },
                                    [](const WideString&) { return true; }}),
              u"C:\\W\\temp");
}

TEST(TempNames, FormedStraightBehindTheDirectory) {
    EXPECT_TRUE(needsTempFallback("C:\\users\\???\\Temp\\"));
    EXPECT_FALSE(needsTempFallback(u"C:\\users\\\u0394\\Temp\\"));
    EXPECT_EQ(freeTempFileName(std::string("C:\\T\\"), 7), "C:\\T\\tsm7");
    EXPECT_EQ(freeTempFileName(WideString(u"C:\\T"), 32767), u"C:\\Ttsm32767");
    EXPECT_EQ(processCommFileNameIn("C:\\T\\", 42), "C:\\T\\tsm_p42.tmp");
    EXPECT_EQ(launcherTempDirectoryName("C:\\T\\tsm1.tmp", -5), "C:\\T\\tsm1.tmp_dir-5");
}

}  // namespace
}  // namespace tesmo

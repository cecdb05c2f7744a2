#include "files/temp_directory.h"

#include <gtest/gtest.h>

#include <set>

namespace tesmo {
namespace {

std::set<std::string> writableDirectories;

bool fakeWritable(const std::string& directory) {
    return writableDirectories.count(directory) != 0;
}

// Only a writable "c:\" lets a fresh directory be made there.
bool fakeCreate(const std::string& path) {
    if (writableDirectories.count("c:\\")) writableDirectories.insert(path);
    return true;
}

TEST(TempFallback, TheFirstWritableInOrderThenAFreshDirectory) {
    const std::vector<std::pair<std::set<std::string>, std::optional<std::string>>> rows = {
        {{"C:\\W\\temp", "c:\\temp", "C:\\W"}, "C:\\W\\temp"},
        {{"c:\\tmp", "C:\\W"}, "c:\\tmp"},
        {{"C:\\W"}, "C:\\W"},
        {{"c:\\"}, "c:\\tmp"},
        {{}, std::nullopt}};
    for (const auto& [writable, chosen] : rows) {
        writableDirectories = writable;
        EXPECT_EQ(writableTempFallback(std::string("C:\\W"), {fakeWritable, fakeCreate}), chosen);
    }
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

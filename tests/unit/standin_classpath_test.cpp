#include <gtest/gtest.h>

#include <algorithm>

#include "jvm/classpath.h"
#include "standin_vm_support.h"

namespace standin::jvm {
namespace {

using fixtures::fixture;
using testing::MemoryFiles;

TEST(StandinClassPath, SplitsAtSemicolonsAndDropsEmptyEntries) {
    EXPECT_EQ(splitClassPath(u""), std::vector<std::u16string>{});
    EXPECT_EQ(splitClassPath(u";;"), std::vector<std::u16string>{});
    EXPECT_EQ(splitClassPath(u"a.jar;;C:\\dir with space\\;b.zip;"),
              (std::vector<std::u16string>{u"a.jar", u"C:\\dir with space\\", u"b.zip"}));
    EXPECT_EQ(splitClassPath(u"only"), std::vector<std::u16string>{u"only"});
}

TEST(StandinClassPath, FindsClassesInDirectoriesAndArchivesInOrder) {
    MemoryFiles files;
    files.addTree("classes/", u"C:\\app\\classes");
    files.files[u"C:\\app\\lib\\app.jar"] = fixture("deflated.jar");
    files.files[u"C:\\app\\lib\\stored.jar"] = fixture("stored.jar");
    files.directories.insert(u"C:\\app\\lib\\");
    ClassPath path({u"C:\\app\\lib\\", u"C:\\app\\lib\\app.jar", u"C:\\app\\classes"}, files);

    ClassSearch fromJar = path.find("com/example/Hello");
    ASSERT_TRUE(fromJar.found.has_value());
    EXPECT_EQ(fromJar.found->entry, u"C:\\app\\lib\\app.jar");
    EXPECT_EQ(fromJar.found->bytes, fixture("classes/com/example/Hello.class"));
    EXPECT_TRUE(fromJar.problems.empty());

    // An entry ending in a backslash is joined without a second one.
    files.directories.insert(u"C:\\app\\classes\\");
    ClassPath directoryFirst({u"C:\\app\\classes\\", u"C:\\app\\lib\\stored.jar"}, files);
    ClassSearch fromDirectory = directoryFirst.find("com/tesmo/runtime/WinLauncher");
    ASSERT_TRUE(fromDirectory.found.has_value());
    EXPECT_EQ(fromDirectory.found->entry, u"C:\\app\\classes\\");
    EXPECT_EQ(files.reads[u"C:\\app\\classes\\com\\tesmo\\runtime\\WinLauncher.class"], 1);

    EXPECT_FALSE(path.find("com/example/Missing").found.has_value());
    // An archive is read once, however many classes are looked up in it.
    path.find("com/example/NoMain");
    EXPECT_EQ(files.reads[u"C:\\app\\lib\\app.jar"], 1);
}

TEST(StandinClassPath, SkipsEntriesThatAreNoArchiveAndSaysWhy) {
    MemoryFiles files;
    files.files[u"broken.jar"] = {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p'};
    files.files[u"good.jar"] = fixture("stored.jar");
    ClassPath path({u"missing.jar", u"broken.jar", u"good.jar"}, files);
    ClassSearch search = path.find("com/example/Hello");
    ASSERT_TRUE(search.found.has_value());
    EXPECT_EQ(search.found->entry, u"good.jar");
    ASSERT_EQ(search.problems.size(), 2u);
    EXPECT_EQ(search.problems[0],
              (std::pair<std::u16string, std::string>{u"missing.jar", "not found"}));
    EXPECT_EQ(search.problems[1].first, u"broken.jar");
    EXPECT_EQ(search.problems[1].second,
              "not a readable archive: no end of central directory record");
}

TEST(StandinClassPath, AnEntryThatDoesNotExtractIsPassedOver) {
    MemoryFiles files;
    std::vector<std::uint8_t> damaged = fixture("stored.jar");
    // The stored bytes of Hello.class begin with the class file's magic; breaking it breaks
    // the entry's CRC.
    std::vector<std::uint8_t> magic = {0xCA, 0xFE, 0xBA, 0xBE};
    auto at = std::search(damaged.begin(), damaged.end(), magic.begin(), magic.end());
    ASSERT_NE(at, damaged.end());
    at[0] = 0;
    files.files[u"damaged.jar"] = damaged;
    files.directories.insert(u"dir");
    files.addTree("classes/", u"dir");
    ClassPath path({u"damaged.jar", u"dir"}, files);
    ClassSearch search = path.find("com/example/Hello");
    ASSERT_TRUE(search.found.has_value());
    EXPECT_EQ(search.found->entry, u"dir");
    ASSERT_EQ(search.problems.size(), 1u);
    EXPECT_EQ(search.problems[0].second, "com/example/Hello.class: the entry's CRC does not match");
}

}  // namespace
}  // namespace standin::jvm

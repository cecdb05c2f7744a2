#include <gtest/gtest.h>

#include <algorithm>

#include "expansion/variables.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {
namespace {

// A scratch directory beside the test executable, removed again by the test.
WideString scratchDirectory(const char16_t* name) {
    WideString directory = executableDirectoryWide() + name;
    CreateDirectoryW(asWindows(directory), nullptr);
    return directory;
}

void writeFile(const WideString& path) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(Paths, DriveRootsNeedNoFileSystem) {
    // Drive Q: does not exist in the test prefix; the spelling alone makes it a root.
    EXPECT_TRUE(pathExists(WideString(u"Q:\\")));
    EXPECT_TRUE(pathExists(WideString(u"Q:\\.\\.")));
    EXPECT_FALSE(pathExists(WideString(u"Q:\\x")));
    EXPECT_TRUE(pathExists(executablePathWide()));
    EXPECT_FALSE(pathExists(executablePathWide() + u".missing"));
}

TEST(Paths, ExecutablePathsAgree) {
    const WideString& wide = executablePathWide();
    ASSERT_GE(wide.size(), 4u);
    WideString lower = wide;
    lowerAscii(lower);
    EXPECT_EQ(lower.substr(lower.size() - 4), u".exe");
    EXPECT_EQ(executableDirectoryWide(), directoryOf(wide));
    EXPECT_EQ(toWide(executablePath()), wide);
}

TEST(Paths, ResolveAgainstTheExecutableDirectory) {
    const WideString& base = executableDirectoryWide();
    WideString out;
    ASSERT_TRUE(resolvePath(out, u".\\lib\\a.jar"));
    EXPECT_EQ(out, base + u".\\lib\\a.jar");
    ASSERT_TRUE(fullPath(out, u".\\lib\\..\\lib\\A.jar", true));
    EXPECT_EQ(out, base + u"lib\\A.jar");
    ASSERT_TRUE(fullPath(out, u".\\LIB\\A.jar", false));
    WideString lowered = base + u"lib\\a.jar";
    lowerAscii(lowered);
    EXPECT_EQ(out, lowered);
    ASSERT_TRUE(resolvePathList(out, u";a;;C:\\b;"));
    EXPECT_EQ(out, base + u"a;C:\\b");

    WideString baseFile = u"C:\\other\\dir\\file.cfg";
    ASSERT_TRUE(resolvePath(out, u"x\\y", &baseFile));
    EXPECT_EQ(out, u"C:\\other\\dir\\x\\y");
}

TEST(Paths, ListingByExtension) {
    WideString directory = scratchDirectory(u"listing");
    writeFile(directory + u"\\a.jar");
    writeFile(directory + u"\\b.JAR");
    writeFile(directory + u"\\c.zip");
    std::vector<WideString> names = listFilesByExtension(directory, u"jar");
    std::vector<WideString> dotted = listFilesByExtension(directory, u".jar");
    std::sort(names.begin(), names.end());
    std::sort(dotted.begin(), dotted.end());
    EXPECT_EQ(names, (std::vector<WideString>{u"a.jar", u"b.JAR"}));
    EXPECT_EQ(dotted, names);
    EXPECT_TRUE(listFilesByExtension(directory + u"\\missing", u"jar").empty());
    for (const char16_t* name : {u"\\a.jar", u"\\b.JAR", u"\\c.zip"}) {
        DeleteFileW(asWindows(directory + name));
    }
    RemoveDirectoryW(asWindows(directory));
}

TEST(Paths, FindEntryReportsTheWriteTime) {
    WideString directory = scratchDirectory(u"stamp");
    WideString file = directory + u"\\f.txt";
    writeFile(file);
    std::uint64_t first = 0, second = 0;
    ASSERT_TRUE(findEntry(file, &first));
    HANDLE handle =
        CreateFileW(asWindows(file), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME later;
    later.dwLowDateTime = static_cast<DWORD>((first + 10000000ULL) & 0xFFFFFFFF);
    later.dwHighDateTime = static_cast<DWORD>((first + 10000000ULL) >> 32);
    SetFileTime(handle, nullptr, nullptr, &later);
    CloseHandle(handle);
    ASSERT_TRUE(findEntry(file, &second));
    EXPECT_EQ(second, first + 10000000ULL);
    DeleteFileW(asWindows(file));
    RemoveDirectoryW(asWindows(directory));
}

TEST(CodePage, UnrepresentableCharactersAreReported) {
    bool defaultUsed = false;
    EXPECT_EQ(toNarrow(u"abc", &defaultUsed), "abc");
    EXPECT_FALSE(defaultUsed);
    toNarrow(u"\u4E2D\u6587", &defaultUsed);
    EXPECT_TRUE(defaultUsed);
    EXPECT_EQ(toWide(toNarrow(u"caf\u00E9")), u"caf\u00E9");
}

TEST(Environment, AValueBeyondTheSystemLimitIsRefusedAndTheOldOneKept) {
    // Wine takes longer values than Windows but hands back only 32767 characters, which
    // would cut a PATH inside an entry.
    for (const auto& [length, written] :
         {std::pair<std::size_t, bool>{32767, true}, std::pair<std::size_t, bool>{32768, false}}) {
        ASSERT_TRUE(writeEnvironment(L"TESMO_TEST_LIMIT", u"old"));
        const WideString value(length, u'p');
        SetLastError(0);
        EXPECT_EQ(writeEnvironment(L"TESMO_TEST_LIMIT", value), written) << length;
        if (!written) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        }
        WideString read;
        ASSERT_TRUE(readEnvironment(L"TESMO_TEST_LIMIT", read));
        // Whether the value changed: Wine hands a value at the limit back not quite whole.
        EXPECT_EQ(read == u"old", !written) << length;
    }
    SetEnvironmentVariableW(L"TESMO_TEST_LIMIT", nullptr);
}

TEST(Variables, EnvironmentAndExecutableDirectory) {
    SetEnvironmentVariableW(L"TESMO_TEST_VALUE", L"v1");
    WideString text = u"${TESMO_EXEDIR}|${TESMO_TEST_VALUE}|${tesmo_test_value}";
    expandVariables(text);
    EXPECT_EQ(text, executableDirectoryWide() + u"|v1|${tesmo_test_value}");
    SetEnvironmentVariableW(L"TESMO_TEST_VALUE", nullptr);
}

}  // namespace
}  // namespace tesmo
